#pragma once

#include <cstdint>
#include <deque>
#include <optional>

#include "telephony/tapi.h"

namespace porthold::service {

// One application's messages, in the order they were queued. A message may
// carry the clock reading from which it is visible (a delayed reply); it and
// everything queued after it wait until then, so the order never changes.
class MessageQueue {
public:
    void Push(const telephony::LINEMESSAGE& message, std::uint32_t visibleFrom, bool delayed);
    // The first message when it is visible at `now`.
    std::optional<telephony::LINEMESSAGE> Pop(std::uint32_t now);
    bool IsEmpty() const { return entries_.empty(); }

private:
    struct Entry {
        telephony::LINEMESSAGE message;
        std::uint32_t visibleFrom;
        bool delayed;
    };
    std::deque<Entry> entries_;
};

}  // namespace porthold::service
