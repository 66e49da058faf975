#pragma once

// The sending side of a call's audio. The program hands over what it plays in
// buffers of any size, often well ahead of time, while the far end expects one
// 20 ms packet every 20 ms. The pacer cuts the audio into frames and releases
// each at its due time by the caller's clock, so that playing takes as long
// on the line as it would on a sound card, and numbers the frames as RTP
// wants them.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "service/sip/media_frame.h"

namespace porthold::service::sip {

struct OutgoingFrame {
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0;
    RtpMarker marker = RtpMarker::Clear;
    AudioFrame samples{};
};

class SendPacer {
public:
    // At most this much audio waits to be sent; the caller keeps the rest.
    static constexpr std::size_t kMaxQueuedSamples = 8000;

    SendPacer(std::uint16_t firstSequence, std::uint32_t firstTimestamp);

    // Takes as much of `samples` as there is room for and returns the count.
    std::size_t Queue(std::span<const std::int16_t> samples);

    // The next frame due at the clock reading `now` (milliseconds, wrapping),
    // or nothing before its time; call again until nothing comes. A short
    // last frame is completed with silence.
    std::optional<OutgoingFrame> NextDue(std::uint32_t now);

    // Audio handed over and not yet sent: played, for the program, once 0.
    std::size_t QueuedSamples() const { return queue_.size(); }

private:
    void StartSpurt(std::uint32_t now);

    std::deque<std::int16_t> queue_;
    bool sending_ = false;  // within a talk spurt
    bool markNext_ = false;
    bool sentBefore_ = false;
    std::uint32_t dueTick_ = 0;
    std::uint16_t sequence_;
    std::uint32_t timestamp_;  // of the next frame
};

}  // namespace porthold::service::sip
