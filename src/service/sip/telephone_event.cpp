#include "service/sip/telephone_event.h"

#include <algorithm>

namespace porthold::service::sip {
namespace {

constexpr std::array<char, 16> kEventKeys{'0', '1', '2', '3', '4', '5', '6', '7',
                                          '8', '9', '*', '#', 'A', 'B', 'C', 'D'};

}  // namespace

std::optional<char> KeyOfEvent(unsigned event) {
    if (event >= kEventKeys.size()) {
        return std::nullopt;
    }
    return kEventKeys[event];
}

std::optional<TelephoneEvent> ParseTelephoneEvent(std::span<const std::uint8_t> payload) {
    if (payload.size() < 4) {
        return std::nullopt;
    }
    const auto key = KeyOfEvent(payload[0]);
    if (!key) {
        return std::nullopt;
    }
    TelephoneEvent event;
    event.event = payload[0];
    event.key = *key;
    event.end = (payload[1] & 0x80) != 0;
    event.volume = payload[1] & 0x3F;
    event.duration = static_cast<std::uint16_t>((payload[2] << 8) | payload[3]);
    return event;
}

std::optional<char> DtmfEventFilter::Receive(std::uint32_t timestamp, RtpMarker marker,
                                             std::span<const std::uint8_t> payload) {
    const auto event = ParseTelephoneEvent(payload);
    if (!event) {
        return std::nullopt;
    }
    if (Seen* seen = Find(timestamp)) {
        // Some senders reuse the timestamp for the next key; a different
        // event after the end of the previous one is such a new key. The same
        // event is a repeat, and a different one before any end is taken as
        // a stray packet rather than a key nobody pressed.
        if (seen->event == event->event || !seen->ended) {
            seen->ended = seen->ended || event->end;
            seen->duration = std::max(seen->duration, event->duration);
            return std::nullopt;
        }
        *seen = Seen{timestamp, event->event, event->end, event->duration};
        latest_ = static_cast<std::size_t>(seen - seen_.data());
        return event->key;
    }
    const bool continuation = ContinuesLatest(timestamp, marker, *event);
    Remember(timestamp, *event);
    if (continuation) {
        return std::nullopt;
    }
    return event->key;
}

DtmfEventFilter::Seen* DtmfEventFilter::Find(std::uint32_t timestamp) {
    const auto end = seen_.begin() + static_cast<std::ptrdiff_t>(count_);
    const auto found = std::find_if(
        seen_.begin(), end, [timestamp](const Seen& seen) { return seen.timestamp == timestamp; });
    return found == end ? nullptr : &*found;
}

// A key held longer than the 16-bit duration can count is sent in segments,
// each with a new timestamp just where the previous one's duration ended and
// without the marker. A new key, by contrast, starts after the previous key's
// whole duration.
bool DtmfEventFilter::ContinuesLatest(std::uint32_t timestamp, RtpMarker marker,
                                      const TelephoneEvent& event) const {
    if (count_ == 0 || marker == RtpMarker::Set) {
        return false;
    }
    const Seen& latest = seen_[latest_];
    const std::uint32_t distance = timestamp - latest.timestamp;
    return latest.event == event.event && !latest.ended && distance != 0 &&
           distance <= latest.duration;
}

void DtmfEventFilter::Remember(std::uint32_t timestamp, const TelephoneEvent& event) {
    latest_ = next_;
    next_ = (next_ + 1) % kRemembered;
    count_ = std::min(count_ + 1, kRemembered);
    seen_[latest_] = Seen{timestamp, event.event, event.end, event.duration};
}

}  // namespace porthold::service::sip
