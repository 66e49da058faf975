#include "tones.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "audio/wave_layout.h"

namespace porthold::tools {

namespace {

constexpr double kSamplesPerSecond = audio::kTelephonySamplesPerSecond;
constexpr double kFullScale = 32767.0;
constexpr int kRampMilliseconds = 5;

// A tone of -12 dBFS is clearly audible on a line without being harsh; the
// two ringback tones sit 3 dB lower each so that their sum stays moderate.
constexpr double kToneLevelDecibels = -12.0;
constexpr double kRingbackLevelDecibels = -15.0;

// Adjacent intercept tone notes are separated by at most 4 ms; 2 ms keeps the
// notes distinct while their fades stay inside the notes themselves.
constexpr int kSitGapMilliseconds = 2;

int SampleCount(int milliseconds) {
    return static_cast<int>(kSamplesPerSecond) * milliseconds / 1000;
}

// Raised-cosine gain of sample `index` of a burst `length` samples long. The
// half-sample offset keeps the fade symmetrical at both ends.
double FadeGain(int index, int length) {
    const int rampLength = SampleCount(kRampMilliseconds);
    const int distanceFromEdge = std::min(index, length - 1 - index);
    if (distanceFromEdge >= rampLength) {
        return 1.0;
    }
    return 0.5 * (1.0 - std::cos(std::numbers::pi * (distanceFromEdge + 0.5) / rampLength));
}

}  // namespace

void AppendToneBurst(std::vector<std::int16_t>& samples, const ToneBurst& burst) {
    const double amplitude = kFullScale * std::pow(10.0, burst.levelDecibels / 20.0);
    const int length = SampleCount(burst.milliseconds);
    for (int index = 0; index < length; ++index) {
        double value = 0.0;
        for (const double frequency : burst.frequencies) {
            value += std::sin(2.0 * std::numbers::pi * frequency * index / kSamplesPerSecond);
        }
        const double scaled =
            std::clamp(amplitude * FadeGain(index, length) * value, -kFullScale, kFullScale);
        samples.push_back(static_cast<std::int16_t>(std::lround(scaled)));
    }
}

void AppendSilence(std::vector<std::int16_t>& samples, int milliseconds) {
    samples.insert(samples.end(), static_cast<std::size_t>(SampleCount(milliseconds)), 0);
}

std::vector<std::int16_t> SpecialInformationTone() {
    std::vector<std::int16_t> samples;
    AppendToneBurst(samples, {{913.8}, kToneLevelDecibels, 274});
    AppendSilence(samples, kSitGapMilliseconds);
    AppendToneBurst(samples, {{1370.6}, kToneLevelDecibels, 274});
    AppendSilence(samples, kSitGapMilliseconds);
    AppendToneBurst(samples, {{1776.7}, kToneLevelDecibels, 380});
    return samples;
}

std::vector<std::int16_t> RingbackTone() {
    std::vector<std::int16_t> samples;
    AppendToneBurst(samples, {{440.0, 480.0}, kRingbackLevelDecibels, 2000});
    AppendSilence(samples, 4000);
    return samples;
}

std::vector<std::int16_t> BeepTone() {
    std::vector<std::int16_t> samples;
    AppendToneBurst(samples, {{1000.0}, kToneLevelDecibels, 500});
    return samples;
}

}  // namespace porthold::tools
