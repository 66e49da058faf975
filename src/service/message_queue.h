#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>

#include "telephony/tapi.h"

namespace porthold::service {

// One application's messages, in the order they were queued. A message may
// carry the clock reading from which it is visible (a delayed reply); it and
// everything queued after it wait until then, so the order never changes.
//
// The far end may ring or key faster than an application reads, so the queue
// is bounded. A ring for a line open that already has a ring waiting is not
// queued again: the waiting one takes the newer ring count. Past the capacity
// the oldest rings and digits make room, or a new one is dropped when no
// older one can go. Replies, call states and new calls are never dropped; the
// service keeps their number bounded by refusing calls while the queue is
// full.
class MessageQueue {
public:
    static constexpr std::size_t kCapacity = 256;

    enum class Overflow {
        None,
        // A message was dropped, the first since the queue was last at most
        // half full.
        Began,
        Continued,
    };

    Overflow Push(const telephony::LINEMESSAGE& message, std::uint32_t visibleFrom, bool delayed);
    // The first message when it is visible at `now`.
    std::optional<telephony::LINEMESSAGE> Pop(std::uint32_t now);
    // Takes back the ring waiting for the line open `line`, if any: once the
    // call stops ringing, a ring not read yet only misleads.
    void DropRing(telephony::DWORD line);

    bool IsEmpty() const { return entries_.empty(); }
    std::size_t Size() const { return entries_.size(); }
    bool IsFull() const { return entries_.size() >= kCapacity; }

private:
    struct Entry {
        telephony::LINEMESSAGE message;
        std::uint32_t visibleFrom;
        bool delayed;
    };

    void Remove(std::uint64_t sequence);
    Overflow NoteDrop();

    // By sequence number, which gives the order of queuing.
    std::map<std::uint64_t, Entry> entries_;
    // The entries that may be dropped, oldest first.
    std::set<std::uint64_t> droppable_;
    // The ring waiting for each line open.
    std::map<telephony::DWORD, std::uint64_t> waitingRings_;
    std::uint64_t nextSequence_ = 0;
    bool overflowing_ = false;
};

}  // namespace porthold::service
