#pragma once

// Sounds for a caller to say and measures of what a caller heard, in the
// telephone format (8000 samples a second), for the tests that call the real
// program.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

#include "audio/wave_layout.h"

namespace porthold::app::testing {

inline constexpr std::size_t kSamplesPerSecond = audio::kTelephonySamplesPerSecond;

// `seconds` of a tone (440 Hz unless told) loud enough to pass any silence
// level, then `silentSeconds` of silence.
inline std::vector<std::int16_t> Tone(std::size_t seconds, std::size_t silentSeconds = 0,
                                      double frequency = 440.0) {
    std::vector<std::int16_t> samples((seconds + silentSeconds) * kSamplesPerSecond, 0);
    for (std::size_t index = 0; index < seconds * kSamplesPerSecond; ++index) {
        samples[index] = static_cast<std::int16_t>(
            8000.0 * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(index) /
                              static_cast<double>(kSamplesPerSecond)));
    }
    return samples;
}

// The root-mean-square level of the samples from `first` to `last` seconds.
inline double Level(const std::vector<std::int16_t>& samples, double first, double last) {
    const auto begin =
        std::min(samples.size(), static_cast<std::size_t>(first * kSamplesPerSecond));
    const auto end = std::min(samples.size(), static_cast<std::size_t>(last * kSamplesPerSecond));
    if (end <= begin) {
        return 0.0;
    }
    double sum = 0.0;
    for (std::size_t index = begin; index < end; ++index) {
        sum += static_cast<double>(samples[index]) * samples[index];
    }
    return std::sqrt(sum / static_cast<double>(end - begin));
}

// How much of the samples' power from `first` to `last` seconds lies at
// `frequency` (0 to 1), by the Goertzel filter.
inline double ToneShare(const std::vector<std::int16_t>& samples, double first, double last,
                        double frequency) {
    const auto begin =
        std::min(samples.size(), static_cast<std::size_t>(first * kSamplesPerSecond));
    const auto end = std::min(samples.size(), static_cast<std::size_t>(last * kSamplesPerSecond));
    const double coefficient =
        2.0 * std::cos(2.0 * std::numbers::pi * frequency / static_cast<double>(kSamplesPerSecond));
    double previous = 0.0;
    double beforePrevious = 0.0;
    double total = 0.0;
    for (std::size_t index = begin; index < end; ++index) {
        const double sample = samples[index];
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
        total += sample * sample;
    }
    const double power = previous * previous + beforePrevious * beforePrevious -
                         coefficient * previous * beforePrevious;
    const double count = static_cast<double>(end - begin);
    return total > 0.0 ? 2.0 * power / (count * total) : 0.0;
}

}  // namespace porthold::app::testing
