#pragma once

// The receiving side of a call's audio. RTP packets arrive out of order,
// twice or too late, with gaps when a sender stops for silence; the program
// wants a steady 20 ms frame every 20 ms. Audio is placed by its RTP
// timestamp rather than by sequence number, so silence suppressed by the
// sender comes out as silence of the right length and any packet size works.
// All storage is allocated once: a flood of packets cannot grow it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "service/sip/media_frame.h"

namespace porthold::service::sip {

struct JitterBufferSettings {
    // How much audio is gathered, or how long the first packet waits,
    // before playing starts.
    std::uint32_t targetDepthMilliseconds = 60;
    // Beyond this the oldest audio is dropped to make room.
    std::uint32_t maximumDepthMilliseconds = 500;
};

// For the call's log: what the network did to the stream.
struct JitterBufferCounters {
    std::uint64_t accepted = 0;
    std::uint64_t duplicates = 0;
    std::uint64_t late = 0;             // arrived after their time was played
    std::uint64_t overflows = 0;        // times the oldest audio was dropped for room
    std::uint64_t outOfWindow = 0;      // too far from the stream, and unconfirmed
    std::uint64_t malformed = 0;        // empty or oversized
    std::uint64_t concealedFrames = 0;  // frames played as silence for lost audio
    std::uint64_t resyncs = 0;          // the sender restarted its timestamps
};

class JitterBuffer {
public:
    static constexpr std::size_t kMaxPacketSamples = 960;  // 120 ms

    explicit JitterBuffer(JitterBufferSettings settings = {});

    void Insert(std::uint16_t sequence, std::uint32_t timestamp,
                std::span<const std::int16_t> samples);

    // The next 20 ms to play; silence while filling and for lost audio.
    AudioFrame NextFrame();

    bool IsPlaying() const { return state_ == State::Playing; }
    const JitterBufferCounters& Counters() const { return counters_; }

private:
    enum class State { Filling, Playing };

    // A packet far from the stream: a sender restart if the next one follows it.
    struct Candidate {
        std::uint16_t sequence = 0;
        std::uint32_t timestamp = 0;
    };

    std::int64_t OffsetOf(std::uint32_t timestamp) const;
    bool StartsAfresh(std::uint32_t timestamp) const;
    bool CanMoveBackTo(std::uint32_t timestamp, std::int64_t offset) const;
    void HandleFar(std::uint16_t sequence, std::uint32_t timestamp,
                   std::span<const std::int16_t> samples);
    void Place(std::int64_t offset, std::span<const std::int16_t> samples);
    void Anchor(std::uint32_t timestamp);
    void Clear();
    void Advance(std::size_t count);
    void MoveBack(std::size_t count);
    std::size_t Slot(std::size_t offset) const { return (start_ + offset) % capacity_; }

    std::size_t target_;
    std::size_t capacity_;
    std::vector<std::int16_t> samples_;
    std::vector<std::uint8_t> present_;
    std::size_t start_ = 0;        // the slot of position_
    std::uint32_t position_ = 0;   // the timestamp of the next sample to play
    std::size_t stored_ = 0;       // samples held
    std::size_t bufferedEnd_ = 0;  // offset just past the newest sample held
    std::size_t waitedFrames_ = 0;
    State state_ = State::Filling;
    bool hasPlayed_ = false;
    std::uint32_t playedEnd_ = 0;  // the timestamp just past what was played
    std::optional<Candidate> candidate_;
    JitterBufferCounters counters_;
};

}  // namespace porthold::service::sip
