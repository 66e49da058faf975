#include "service/sip/jitter_buffer.h"

#include <algorithm>

namespace porthold::service::sip {
namespace {

constexpr std::size_t kSamplesPerMillisecond = 8;
// Audio this far behind what was played is not late but from a sender that
// restarted its timestamps.
constexpr std::int64_t kRestartDistance = 3 * 8000;

}  // namespace

JitterBuffer::JitterBuffer(JitterBufferSettings settings)
    : target_(std::max<std::size_t>(kFrameSamples,
                                    settings.targetDepthMilliseconds * kSamplesPerMillisecond)),
      capacity_(std::max({settings.maximumDepthMilliseconds * kSamplesPerMillisecond,
                          target_ + kFrameSamples, kMaxPacketSamples})),
      samples_(capacity_),
      present_(capacity_) {}

std::int64_t JitterBuffer::OffsetOf(std::uint32_t timestamp) const {
    return static_cast<std::int32_t>(timestamp - position_);
}

// With nothing held and not playing, a packet may start the stream where it
// is (the start of a call, a talk spurt after silence, a restarted sender),
// unless it is audio that was already played.
bool JitterBuffer::StartsAfresh(std::uint32_t timestamp) const {
    if (stored_ != 0 || state_ != State::Filling) {
        return false;
    }
    const std::int64_t sincePlayed = static_cast<std::int32_t>(timestamp - playedEnd_);
    return !hasPlayed_ || sincePlayed >= 0 || sincePlayed < -kRestartDistance;
}

// Before playing, a packet that arrived after its successor moves the start
// back to itself, as long as it is not audio already played and everything
// held still fits.
bool JitterBuffer::CanMoveBackTo(std::uint32_t timestamp, std::int64_t offset) const {
    if (state_ != State::Filling || offset >= 0) {
        return false;
    }
    const bool afterPlayed = !hasPlayed_ || static_cast<std::int32_t>(timestamp - playedEnd_) >= 0;
    return afterPlayed && bufferedEnd_ + static_cast<std::size_t>(-offset) <= capacity_;
}

void JitterBuffer::Insert(std::uint16_t sequence, std::uint32_t timestamp,
                          std::span<const std::int16_t> samples) {
    if (samples.empty() || samples.size() > kMaxPacketSamples) {
        ++counters_.malformed;
        return;
    }
    if (StartsAfresh(timestamp)) {
        Anchor(timestamp);
    }
    std::int64_t offset = OffsetOf(timestamp);
    if (offset > static_cast<std::int64_t>(capacity_) || offset < -kRestartDistance) {
        HandleFar(sequence, timestamp, samples);
        return;
    }
    if (CanMoveBackTo(timestamp, offset)) {
        MoveBack(static_cast<std::size_t>(-offset));
        offset = 0;
    }
    Place(offset, samples);
}

// A single stray packet must not throw away the stream, so a jump is only
// followed once the next packet in sequence confirms it.
void JitterBuffer::HandleFar(std::uint16_t sequence, std::uint32_t timestamp,
                             std::span<const std::int16_t> samples) {
    const bool confirmed =
        candidate_ && static_cast<std::uint16_t>(sequence - candidate_->sequence) == 1 &&
        static_cast<std::uint32_t>(timestamp - candidate_->timestamp) <= capacity_;
    if (!confirmed) {
        candidate_ = Candidate{sequence, timestamp};
        ++counters_.outOfWindow;
        return;
    }
    ++counters_.resyncs;
    candidate_.reset();
    Clear();
    Anchor(timestamp);
    Place(0, samples);
}

void JitterBuffer::Place(std::int64_t offset, std::span<const std::int16_t> samples) {
    const std::int64_t length = static_cast<std::int64_t>(samples.size());
    if (offset + length <= 0) {
        ++counters_.late;
        return;
    }
    const std::int64_t overflow = offset + length - static_cast<std::int64_t>(capacity_);
    if (overflow > 0) {
        Advance(static_cast<std::size_t>(overflow));
        offset -= overflow;
        ++counters_.overflows;
    }
    bool added = false;
    for (std::int64_t index = std::max<std::int64_t>(0, -offset); index < length; ++index) {
        const std::size_t slot = Slot(static_cast<std::size_t>(offset + index));
        if (present_[slot] == 0) {
            samples_[slot] = samples[static_cast<std::size_t>(index)];
            present_[slot] = 1;
            ++stored_;
            added = true;
        }
    }
    if (!added) {
        ++counters_.duplicates;
        return;
    }
    ++counters_.accepted;
    bufferedEnd_ = std::max(bufferedEnd_, static_cast<std::size_t>(offset + length));
    if (state_ == State::Filling && bufferedEnd_ >= target_) {
        state_ = State::Playing;
    }
}

AudioFrame JitterBuffer::NextFrame() {
    AudioFrame frame{};
    if (state_ == State::Filling) {
        // The tail of a talk spurt may never reach the target depth; once it
        // has waited that long, it plays anyway.
        if (stored_ == 0 || ++waitedFrames_ * kFrameSamples < target_) {
            return frame;
        }
        state_ = State::Playing;
    }
    bool heard = false;
    for (std::size_t index = 0; index < kFrameSamples; ++index) {
        const std::size_t slot = Slot(index);
        if (present_[slot] != 0) {
            frame[index] = samples_[slot];
            heard = true;
        }
    }
    if (!heard) {
        ++counters_.concealedFrames;
    }
    Advance(kFrameSamples);
    hasPlayed_ = true;
    playedEnd_ = position_;
    if (stored_ == 0) {
        state_ = State::Filling;
        waitedFrames_ = 0;
    }
    return frame;
}

void JitterBuffer::Anchor(std::uint32_t timestamp) {
    position_ = timestamp;
    bufferedEnd_ = 0;
    waitedFrames_ = 0;
}

void JitterBuffer::Clear() {
    std::fill(present_.begin(), present_.end(), std::uint8_t{0});
    stored_ = 0;
    state_ = State::Filling;
    hasPlayed_ = false;
}

void JitterBuffer::Advance(std::size_t count) {
    for (std::size_t index = 0; index < std::min(count, capacity_); ++index) {
        const std::size_t slot = Slot(index);
        stored_ -= present_[slot];
        present_[slot] = 0;
    }
    start_ = Slot(count % capacity_);
    position_ += static_cast<std::uint32_t>(count);
    bufferedEnd_ = bufferedEnd_ > count ? bufferedEnd_ - count : 0;
}

void JitterBuffer::MoveBack(std::size_t count) {
    start_ = (start_ + capacity_ - count) % capacity_;
    position_ -= static_cast<std::uint32_t>(count);
    bufferedEnd_ += count;
}

}  // namespace porthold::service::sip
