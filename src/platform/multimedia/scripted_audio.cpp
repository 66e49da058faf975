#include "platform/multimedia/scripted_audio.h"

#include <algorithm>
#include <utility>

namespace porthold::platform {
namespace {

// A speech is forgotten this long after it is over even at the slowest rate:
// it covers the rounding of samples to milliseconds, and a device on another
// thread that read the clock just before the latest reading.
constexpr std::int64_t kForgetMarginMilliseconds = 1000;

// A well-mixed 64-bit hash, so the noise of a sample depends on its position
// only and recordings repeat exactly.
std::uint64_t Mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

std::int16_t Clamp(std::int64_t value) {
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, -32768, 32767));
}

}  // namespace

ScriptedAudio::ScriptedAudio(std::uint32_t tickCount) : tickCount_(tickCount) {}

void ScriptedAudio::MoveTo(std::uint32_t tickCount) {
    // Unsigned distance: the readings come in order, so even a move of more
    // than half the tick range is a move forward.
    now_ += static_cast<std::uint32_t>(tickCount - tickCount_);
    tickCount_ = tickCount;
    // At the slowest rate a sample lasts a millisecond.
    std::erase_if(speeches_, [this](const Speech& speech) {
        const bool over = speech.start + static_cast<std::int64_t>(speech.samples.size()) +
                              kForgetMarginMilliseconds <=
                          now_;
        if (over) {
            storedSamples_ -= speech.samples.size();
        }
        return over;
    });
}

void ScriptedAudio::Speak(std::uint32_t startTick, std::vector<std::int16_t> samples) {
    if (samples.empty()) {
        return;
    }
    if (samples.size() > kMaximumStoredSamples) {
        samples.resize(kMaximumStoredSamples);
    }
    MakeRoom(samples.size());
    const std::int64_t start = now_ + static_cast<std::int32_t>(startTick - tickCount_);
    storedSamples_ += samples.size();
    speeches_.push_back(Speech{start, std::move(samples)});
}

void ScriptedAudio::MakeRoom(std::size_t samples) {
    auto kept = speeches_.begin();
    while (kept != speeches_.end() && storedSamples_ + samples > kMaximumStoredSamples) {
        storedSamples_ -= kept->samples.size();
        ++kept;
    }
    speeches_.erase(speeches_.begin(), kept);
}

void ScriptedAudio::SetNoiseAmplitude(std::int16_t amplitude) {
    noiseAmplitude_ = static_cast<std::int16_t>(
        std::clamp<int>(amplitude < 0 ? -amplitude : amplitude, 0, 32767));
}

void ScriptedAudio::Clear() {
    speeches_.clear();
    storedSamples_ = 0;
}

std::vector<std::int16_t> ScriptedAudio::Render(std::uint32_t originTick, std::uint64_t firstSample,
                                                std::uint32_t count,
                                                std::uint32_t samplesPerSecond) const {
    std::vector<std::int64_t> mixed(count, 0);
    if (noiseAmplitude_ > 0) {
        const std::uint64_t span = 2u * static_cast<std::uint64_t>(noiseAmplitude_) + 1u;
        const std::uint64_t originSample = std::uint64_t{originTick} * samplesPerSecond / 1000u;
        for (std::uint32_t index = 0; index < count; ++index) {
            const std::uint64_t random = Mix(originSample + firstSample + index);
            mixed[index] = static_cast<std::int64_t>(random % span) - noiseAmplitude_;
        }
    }
    // The origin is never in the future, so it lies the unsigned distance
    // back from the latest reading.
    const std::int64_t origin = now_ - static_cast<std::uint32_t>(tickCount_ - originTick);
    for (const Speech& speech : speeches_) {
        // Where the speech begins, in samples after the origin; negative when
        // it began earlier.
        const std::int64_t speechStart = (speech.start - origin) * samplesPerSecond / 1000;
        // The stretch of this rendering the speech covers.
        const std::int64_t first = static_cast<std::int64_t>(firstSample);
        const std::int64_t begin = std::max<std::int64_t>(speechStart - first, 0);
        const std::int64_t end = std::min<std::int64_t>(
            speechStart + static_cast<std::int64_t>(speech.samples.size()) - first, count);
        for (std::int64_t index = begin; index < end; ++index) {
            mixed[static_cast<std::size_t>(index)] +=
                speech.samples[static_cast<std::size_t>(first + index - speechStart)];
        }
    }
    std::vector<std::int16_t> result(count);
    std::transform(mixed.begin(), mixed.end(), result.begin(), Clamp);
    return result;
}

}  // namespace porthold::platform
