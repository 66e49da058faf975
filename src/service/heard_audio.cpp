#include "service/heard_audio.h"

#include <algorithm>

#include "platform/clock.h"

namespace porthold::service {
namespace {

constexpr std::int64_t kSamplesPerMillisecond = 8;

// Signed distance between clock readings, which wrap.
std::int64_t Distance(std::uint32_t from, std::uint32_t to) {
    return static_cast<std::int32_t>(to - from);
}

}  // namespace

HeardAudio::HeardAudio(platform::SimulatedLineVoiceChannel& channel, std::uint32_t originTick)
    : channel_(channel), originTick_(originTick) {}

bool HeardAudio::Follow(Followed& followed, std::uint32_t now,
                        std::vector<HeardChunk>& chunks) const {
    const platform::PlayedSound& sound = followed.sound;
    const bool playing = sound.state == platform::PlaybackState::Playing;
    // What has sounded by now: a sound still playing up to now, a finished or
    // cut one up to its end, nothing after `now` in either case.
    std::uint32_t playedUntil =
        playing && !platform::HasReached(now, sound.endTick) ? now : sound.endTick;
    if (platform::HasReached(playedUntil, now)) {
        playedUntil = now;
    }
    const std::int64_t sampleCount = static_cast<std::int64_t>(sound.bytes.size() / 2);
    const std::int64_t played = std::clamp<std::int64_t>(
        Distance(sound.startTick, playedUntil) * kSamplesPerMillisecond, 0, sampleCount);
    // Samples before the origin were heard before the answer.
    const std::int64_t startSample =
        Distance(originTick_, sound.startTick) * kSamplesPerMillisecond;
    const std::int64_t first = std::max<std::int64_t>(
        static_cast<std::int64_t>(followed.samplesHandedOver), startSample < 0 ? -startSample : 0);
    if (played > first) {
        HeardChunk chunk;
        chunk.firstSample = static_cast<std::uint64_t>(startSample + first);
        chunk.samples.reserve(static_cast<std::size_t>(played - first));
        for (std::int64_t index = first; index < played; ++index) {
            const auto position = static_cast<std::size_t>(index) * 2;
            chunk.samples.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(
                sound.bytes[position] | (sound.bytes[position + 1] << 8))));
        }
        chunks.push_back(std::move(chunk));
    }
    followed.samplesHandedOver = static_cast<std::uint64_t>(std::max<std::int64_t>(played, first));
    const bool stopped = !playing || platform::HasReached(now, sound.endTick);
    return stopped;
}

std::vector<HeardChunk> HeardAudio::Collect(std::uint32_t now) {
    std::vector<HeardChunk> chunks;
    std::erase_if(detached_, [&](Followed& followed) { return Follow(followed, now, chunks); });

    std::vector<platform::PlayedSound> timeline = channel_.Timeline();
    handedOver_.resize(timeline.size(), 0);
    bool allStopped = true;
    for (std::size_t index = 0; index < timeline.size(); ++index) {
        Followed followed{std::move(timeline[index]), handedOver_[index]};
        const bool stopped = Follow(followed, now, chunks);
        handedOver_[index] = followed.samplesHandedOver;
        allStopped =
            allStopped && stopped && followed.sound.state != platform::PlaybackState::Playing;
    }
    // Once every sound has stopped, the timeline is emptied; a sound written
    // in the meantime is followed on its own from then on.
    if (allStopped && !timeline.empty()) {
        std::vector<platform::PlayedSound> taken = channel_.TakeTimeline();
        for (std::size_t index = timeline.size(); index < taken.size(); ++index) {
            Followed followed{std::move(taken[index]), 0};
            if (!Follow(followed, now, chunks)) {
                detached_.push_back(std::move(followed));
            }
        }
        handedOver_.clear();
    }
    return chunks;
}

}  // namespace porthold::service
