#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "audio/telephony_format.h"
#include "audio/wave_layout.h"
#include "platform/files.h"
#include "support/scripted_message_boxes.h"

namespace porthold::audio {
namespace {

constexpr double kRate = 8000.0;

std::string SoundPath(const std::string& name) {
    return PORTHOLD_SOUNDS_FOLDER + name;
}

std::vector<std::int16_t> Samples(const std::string& name) {
    const std::optional<WaveSamples> read = ReadWaveSamples(SoundPath(name));
    EXPECT_TRUE(read.has_value()) << name;
    return read ? read->samples : std::vector<std::int16_t>{};
}

std::uint32_t Little(const std::string& bytes, std::size_t offset, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t index = width; index-- > 0;) {
        value = value << 8 | static_cast<unsigned char>(bytes[offset + index]);
    }
    return value;
}

double Milliseconds(std::size_t samples) {
    return samples * 1000.0 / kRate;
}

double Decibels(double amplitude) {
    return 20.0 * std::log10(amplitude / 32768.0);
}

double PeakDecibels(std::span<const std::int16_t> samples) {
    int peak = 0;
    for (const std::int16_t sample : samples) {
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    return Decibels(peak);
}

struct Burst {
    std::size_t begin = 0;
    std::size_t end = 0;
};

std::vector<Burst> Bursts(std::span<const std::int16_t> samples) {
    constexpr std::size_t kSilentRun = 8;
    std::vector<Burst> bursts;
    std::size_t zeros = kSilentRun;
    for (std::size_t index = 0; index < samples.size(); ++index) {
        if (samples[index] == 0) {
            ++zeros;
            continue;
        }
        if (zeros >= kSilentRun) {
            bursts.push_back({index, index + 1});
        }
        bursts.back().end = index + 1;
        zeros = 0;
    }
    return bursts;
}

std::span<const std::int16_t> Inner(std::span<const std::int16_t> samples, const Burst& burst) {
    constexpr std::size_t kEdge = 80;
    if (burst.end - burst.begin <= 2 * kEdge) {
        return {};
    }
    return samples.subspan(burst.begin + kEdge, burst.end - burst.begin - 2 * kEdge);
}

double RisingCrossingFrequency(std::span<const std::int16_t> samples) {
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (std::size_t index = 1; index < samples.size(); ++index) {
        if (samples[index - 1] < 0 && samples[index] >= 0) {
            const double before = samples[index - 1];
            const double at = (index - 1) + before / (before - samples[index]);
            first = crossings == 0 ? at : first;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * kRate / (last - first);
}

double GoertzelAmplitude(std::span<const std::int16_t> samples, double frequency) {
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / kRate);
    double previous = 0.0;
    double beforePrevious = 0.0;
    for (const std::int16_t sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power = previous * previous + beforePrevious * beforePrevious -
                         coefficient * previous * beforePrevious;
    return 2.0 * std::sqrt(power) / samples.size();
}

double MeanSquare(std::span<const std::int16_t> samples) {
    double sum = 0.0;
    for (const std::int16_t sample : samples) {
        sum += static_cast<double>(sample) * sample;
    }
    return sum / samples.size();
}

const std::set<std::string> kSpokenPrompts = {
    "default_greeting.wav",    "default_message_prompt.wav", "default_valid_pin.wav",
    "default_invalid_pin.wav", "default_no_answer.wav",
};

TEST(DefaultSounds, FolderHoldsEveryDefaultSound) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(PORTHOLD_SOUNDS_FOLDER)) {
        names.insert(entry.path().filename().string());
    }
    std::set<std::string> expected = kSpokenPrompts;
    expected.insert({"default_beep.wav", "default_ring.wav", "sit_tone.wav"});
    EXPECT_EQ(names, expected);
}

TEST(DefaultSounds, EveryFileHasTheTelephonyLayout) {
    for (const auto& entry : std::filesystem::directory_iterator(PORTHOLD_SOUNDS_FOLDER)) {
        const std::string name = entry.path().filename().string();
        const std::string bytes = platform::ReadFileContents(entry.path().string()).value_or("");
        ASSERT_GE(bytes.size(), 46u) << name;
        EXPECT_EQ(bytes.substr(0, 4), "RIFF") << name;
        EXPECT_EQ(Little(bytes, 4, 4), bytes.size() - 8) << name;
        EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ") << name;
        EXPECT_EQ(Little(bytes, 16, 4), 18u) << name;
        EXPECT_EQ(Little(bytes, 20, 2), 1u) << name;
        EXPECT_EQ(Little(bytes, 22, 2), 1u) << name;
        EXPECT_EQ(Little(bytes, 24, 4), 8000u) << name;
        EXPECT_EQ(Little(bytes, 28, 4), 16000u) << name;
        EXPECT_EQ(Little(bytes, 32, 2), 2u) << name;
        EXPECT_EQ(Little(bytes, 34, 2), 16u) << name;
        EXPECT_EQ(Little(bytes, 36, 2), 18u) << name;
        EXPECT_EQ(bytes.substr(38, 4), "data") << name;
        EXPECT_EQ(Little(bytes, 42, 4), bytes.size() - 46) << name;
        EXPECT_EQ(bytes.size() % 2, 0u) << name;
    }
}

TEST(DefaultSounds, EveryFilePassesTheTelephonyFormatTest) {
    testing::ScriptedMessageBoxes boxes;
    for (const auto& entry : std::filesystem::directory_iterator(PORTHOLD_SOUNDS_FOLDER)) {
        EXPECT_TRUE(IsTelephonyFormat(entry.path().string(), boxes)) << entry.path();
    }
    EXPECT_TRUE(boxes.shown().empty());
}

TEST(DefaultSounds, SitToneIsThreeNotesOfTheInterceptPitchesAndLengths) {
    const std::vector<std::int16_t> samples = Samples("sit_tone.wav");
    const std::vector<Burst> notes = Bursts(samples);
    ASSERT_EQ(notes.size(), 3u);
    const double frequencies[] = {913.8, 1370.6, 1776.7};
    const double lengths[] = {274.0, 274.0, 380.0};
    for (std::size_t note = 0; note < notes.size(); ++note) {
        SCOPED_TRACE(note);
        EXPECT_NEAR(Milliseconds(notes[note].end - notes[note].begin), lengths[note], 1.0);
        EXPECT_NEAR(RisingCrossingFrequency(Inner(samples, notes[note])), frequencies[note],
                    frequencies[note] * 0.001);
        EXPECT_NEAR(PeakDecibels(Inner(samples, notes[note])), -12.0, 1.0);
        if (note > 0) {
            EXPECT_LE(Milliseconds(notes[note].begin - notes[note - 1].end), 4.0);
        }
    }
}

TEST(DefaultSounds, RingIsTwoSecondsOfRingbackThenFourSecondsOfSilence) {
    const std::vector<std::int16_t> samples = Samples("default_ring.wav");
    EXPECT_EQ(Milliseconds(samples.size()), 6000.0);
    const std::vector<Burst> bursts = Bursts(samples);
    ASSERT_EQ(bursts.size(), 1u);
    EXPECT_LE(bursts[0].begin, 1u);
    EXPECT_NEAR(Milliseconds(bursts[0].end - bursts[0].begin), 2000.0, 1.0);

    const std::span<const std::int16_t> steady = std::span(samples).subspan(200, 15600);
    const double low = GoertzelAmplitude(steady, 440.0);
    const double high = GoertzelAmplitude(steady, 480.0);
    EXPECT_NEAR(Decibels(low), -15.0, 0.5);
    EXPECT_NEAR(Decibels(high), -15.0, 0.5);
    EXPECT_NEAR(MeanSquare(steady), (low * low + high * high) / 2.0, MeanSquare(steady) * 0.01);
}

TEST(DefaultSounds, BeepIsAHalfSecondToneNearOneKilohertz) {
    const std::vector<std::int16_t> samples = Samples("default_beep.wav");
    const std::vector<Burst> bursts = Bursts(samples);
    ASSERT_EQ(bursts.size(), 1u);
    EXPECT_NEAR(Milliseconds(samples.size()), 500.0, 1.0);
    EXPECT_NEAR(RisingCrossingFrequency(Inner(samples, bursts[0])), 1000.0, 20.0);
    EXPECT_NEAR(PeakDecibels(Inner(samples, bursts[0])), -12.0, 1.0);
}

TEST(DefaultSounds, SpokenPromptsAreShortAudibleUnclippedAndFramedBySilence) {
    for (const std::string& name : kSpokenPrompts) {
        SCOPED_TRACE(name);
        const std::vector<std::int16_t> samples = Samples(name);
        EXPECT_GT(Milliseconds(samples.size()), 1000.0);
        EXPECT_LT(Milliseconds(samples.size()), 15000.0);
        const double peak = PeakDecibels(samples);
        EXPECT_GT(peak, -6.0);
        EXPECT_LT(peak, -1.0);
        EXPECT_GT(Decibels(std::sqrt(MeanSquare(samples))), -30.0);
        const std::vector<Burst> speech = Bursts(samples);
        ASSERT_FALSE(speech.empty());
        EXPECT_GE(Milliseconds(speech.front().begin), 100.0);
        EXPECT_GE(Milliseconds(samples.size() - speech.back().end), 150.0);
    }
}

}  // namespace
}  // namespace porthold::audio
