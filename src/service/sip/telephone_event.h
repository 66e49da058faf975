#pragma once

// Key presses carried in RTP as telephone-events (RFC 4733), the usual way a
// SIP provider passes on the caller's keys. Each key is sent as a run of
// packets with the same RTP timestamp, growing durations and a few repeated
// end packets, so the filter below turns that run back into one key press.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "service/sip/media_frame.h"

namespace porthold::service::sip {

struct TelephoneEvent {
    std::uint8_t event = 0;  // 0-15, the keys 0-9, *, #, A-D
    char key = '0';
    bool end = false;
    std::uint8_t volume = 0;     // dBm0 below zero, 0-63
    std::uint16_t duration = 0;  // in RTP timestamp units
};

// The key of an event code, or nothing for codes that are not keys.
std::optional<char> KeyOfEvent(unsigned event);

// Reads the four-byte payload; refuses short payloads and events other than
// the sixteen keys (flash and tones are of no use to the program).
std::optional<TelephoneEvent> ParseTelephoneEvent(std::span<const std::uint8_t> payload);

// Reports each key press of a telephone-event stream once. The RTP timestamp
// names an event, so packets whose timestamp was seen recently belong to an
// event already reported: that makes the filter indifferent to reordering,
// duplicates, lost start packets and timestamp wrap.
class DtmfEventFilter {
public:
    std::optional<char> Receive(std::uint32_t timestamp, RtpMarker marker,
                                std::span<const std::uint8_t> payload);

private:
    struct Seen {
        std::uint32_t timestamp = 0;
        std::uint8_t event = 0;
        bool ended = false;
        std::uint16_t duration = 0;
    };

    Seen* Find(std::uint32_t timestamp);
    bool ContinuesLatest(std::uint32_t timestamp, RtpMarker marker,
                         const TelephoneEvent& event) const;
    void Remember(std::uint32_t timestamp, const TelephoneEvent& event);

    // Enough events that a late duplicate cannot outlive its entry.
    static constexpr std::size_t kRemembered = 16;
    std::array<Seen, kRemembered> seen_{};
    std::size_t count_ = 0;
    std::size_t next_ = 0;  // the oldest entry once all are in use
    std::size_t latest_ = 0;
};

}  // namespace porthold::service::sip
