#include "service/message_queue.h"

#include <utility>

namespace porthold::service {

using namespace telephony;

namespace {

bool IsRing(const LINEMESSAGE& message) {
    return message.dwMessageID == LINE_LINEDEVSTATE && message.dwParam1 == LINEDEVSTATE_RINGING;
}

// Rings and keyed digits are what a far end can send without limit; losing
// some of a flood of them harms no call's state.
bool MayBeDropped(const LINEMESSAGE& message) {
    return IsRing(message) || message.dwMessageID == LINE_MONITORDIGITS;
}

}  // namespace

MessageQueue::Overflow MessageQueue::Push(const LINEMESSAGE& message, std::uint32_t visibleFrom,
                                          bool delayed) {
    if (IsRing(message)) {
        if (const auto waiting = waitingRings_.find(message.hDevice);
            waiting != waitingRings_.end()) {
            entries_.at(waiting->second).message = message;
            return Overflow::None;
        }
    }
    const bool mayBeDropped = MayBeDropped(message);
    Overflow overflow = Overflow::None;
    if (IsFull()) {
        // The oldest ring or digit makes room. With none waiting, a new one is
        // dropped, and anything else is kept beyond the capacity.
        if (!droppable_.empty()) {
            Remove(*droppable_.begin());
            overflow = NoteDrop();
        } else if (mayBeDropped) {
            return NoteDrop();
        }
    }
    const std::uint64_t sequence = nextSequence_++;
    entries_.emplace_hint(entries_.end(), sequence, Entry{message, visibleFrom, delayed});
    if (mayBeDropped) {
        droppable_.insert(droppable_.end(), sequence);
    }
    if (IsRing(message)) {
        waitingRings_[message.hDevice] = sequence;
    }
    return overflow;
}

MessageQueue::Overflow MessageQueue::NoteDrop() {
    return std::exchange(overflowing_, true) ? Overflow::Continued : Overflow::Began;
}

std::optional<LINEMESSAGE> MessageQueue::Pop(std::uint32_t now) {
    if (entries_.empty()) {
        return std::nullopt;
    }
    const auto first = entries_.begin();
    // Clock readings wrap, so they are compared by their signed distance.
    if (first->second.delayed && static_cast<std::int32_t>(now - first->second.visibleFrom) < 0) {
        return std::nullopt;
    }
    const LINEMESSAGE message = first->second.message;
    Remove(first->first);
    if (entries_.size() <= kCapacity / 2) {
        overflowing_ = false;
    }
    return message;
}

void MessageQueue::DropRing(DWORD line) {
    if (const auto waiting = waitingRings_.find(line); waiting != waitingRings_.end()) {
        Remove(waiting->second);
    }
}

void MessageQueue::Remove(std::uint64_t sequence) {
    const auto found = entries_.find(sequence);
    if (found == entries_.end()) {
        return;
    }
    if (IsRing(found->second.message)) {
        waitingRings_.erase(found->second.message.hDevice);
    }
    droppable_.erase(sequence);
    entries_.erase(found);
}

}  // namespace porthold::service
