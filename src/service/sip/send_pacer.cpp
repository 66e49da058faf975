#include "service/sip/send_pacer.h"

#include <algorithm>

namespace porthold::service::sip {
namespace {

constexpr std::uint32_t kSamplesPerMillisecond = 8;
// A caller that fell further behind than this (the program stalled) goes on
// from now, as after a pause, rather than sending the backlog in one burst
// that the far end would have to drop.
constexpr std::int32_t kMaxLagMilliseconds = 200;

}  // namespace

SendPacer::SendPacer(std::uint16_t firstSequence, std::uint32_t firstTimestamp)
    : sequence_(firstSequence), timestamp_(firstTimestamp) {}

std::size_t SendPacer::Queue(std::span<const std::int16_t> samples) {
    const std::size_t taken = std::min(samples.size(), kMaxQueuedSamples - queue_.size());
    queue_.insert(queue_.end(), samples.begin(),
                  samples.begin() + static_cast<std::ptrdiff_t>(taken));
    return taken;
}

// RTP timestamps follow the sampling clock through silence too, so after a
// pause the timestamp moves on by the time that passed; the sequence number
// does not, which tells the far end that nothing was lost.
void SendPacer::StartSpurt(std::uint32_t now) {
    if (sentBefore_) {
        const std::int32_t sinceDue = static_cast<std::int32_t>(now - dueTick_);
        if (sinceDue > 0) {
            timestamp_ += static_cast<std::uint32_t>(sinceDue) * kSamplesPerMillisecond;
        }
    }
    sending_ = true;
    markNext_ = true;
    dueTick_ = now;
}

std::optional<OutgoingFrame> SendPacer::NextDue(std::uint32_t now) {
    if (!sending_) {
        if (queue_.empty()) {
            return std::nullopt;
        }
        StartSpurt(now);
    }
    const std::int32_t lateness = static_cast<std::int32_t>(now - dueTick_);
    if (lateness < 0) {
        return std::nullopt;
    }
    if (queue_.empty()) {
        // The program stopped playing: the talk spurt ends.
        sending_ = false;
        return std::nullopt;
    }
    if (lateness > kMaxLagMilliseconds) {
        StartSpurt(now);
    }
    OutgoingFrame frame;
    frame.sequence = sequence_++;
    frame.timestamp = timestamp_;
    frame.marker = markNext_ ? RtpMarker::Set : RtpMarker::Clear;
    markNext_ = false;
    const std::size_t count = std::min(queue_.size(), kFrameSamples);
    std::copy_n(queue_.begin(), count, frame.samples.begin());
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
    timestamp_ += kFrameSamples;
    dueTick_ += kFrameMilliseconds;
    sentBefore_ = true;
    return frame;
}

}  // namespace porthold::service::sip
