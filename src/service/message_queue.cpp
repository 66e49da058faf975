#include "service/message_queue.h"

namespace porthold::service {

void MessageQueue::Push(const telephony::LINEMESSAGE& message, std::uint32_t visibleFrom,
                        bool delayed) {
    entries_.push_back(Entry{message, visibleFrom, delayed});
}

std::optional<telephony::LINEMESSAGE> MessageQueue::Pop(std::uint32_t now) {
    if (entries_.empty()) {
        return std::nullopt;
    }
    const Entry& first = entries_.front();
    // Clock readings wrap, so they are compared by their signed distance.
    if (first.delayed && static_cast<std::int32_t>(now - first.visibleFrom) < 0) {
        return std::nullopt;
    }
    const telephony::LINEMESSAGE message = first.message;
    entries_.pop_front();
    return message;
}

}  // namespace porthold::service
