#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace porthold::platform {

// What a simulated input device hears: pieces of speech that begin at given
// clock readings, over digital silence or low noise. Samples are 16-bit mono
// at the rate of the device that records them (8000 a second on a telephone
// line). Overlapping pieces are mixed. Not synchronised: its owner locks.
//
// Clock readings wrap after about 49.7 days, so a reading alone cannot tell a
// speech long past from one still to come. The script therefore keeps its
// own time on a scale that never wraps, moved on by MoveTo, and places every
// reading it is given relative to it. Speech is forgotten as soon as no
// recording can hear it any more, so a long simulation keeps only what is
// still to be heard.
class ScriptedAudio {
public:
    // The slowest rate a device records at: a speech lasts longest there, so
    // it is kept until it is over even at this rate.
    static constexpr std::uint32_t kSlowestSamplesPerSecond = 1000;
    // The most speech kept at once, twenty minutes at the line's rate: beyond
    // it the speech spoken earliest makes room.
    static constexpr std::size_t kMaximumStoredSamples = 8000u * 60u * 20u;

    explicit ScriptedAudio(std::uint32_t tickCount = 0);

    // The clock reads `tickCount` now. Readings must come in the order they
    // were taken, at least once every 49.7 days; time moves forward by the
    // distance from the reading before. Forgets the speech that is over.
    void MoveTo(std::uint32_t tickCount);

    // Speech from the clock reading `startTick` on, which lies less than 24.8
    // days before or after the latest reading given to MoveTo.
    void Speak(std::uint32_t startTick, std::vector<std::int16_t> samples);

    // Noise of at most this magnitude is heard wherever nobody speaks and is
    // mixed under speech; 0 (the default) is digital silence. The noise is
    // pseudo-random but the same on every run.
    void SetNoiseAmplitude(std::int16_t amplitude);

    // Forgets all speech.
    void Clear();

    // Pieces of speech kept.
    std::size_t SpeechCount() const { return speeches_.size(); }

    // `count` samples as heard from `originTick` on, starting with the
    // `firstSample`-th sample after it. `originTick` lies at or before the
    // latest reading given to MoveTo, as the start of a recording does.
    std::vector<std::int16_t> Render(std::uint32_t originTick, std::uint64_t firstSample,
                                     std::uint32_t count, std::uint32_t samplesPerSecond) const;

private:
    struct Speech {
        // Milliseconds on the script's own time scale.
        std::int64_t start;
        std::vector<std::int16_t> samples;
    };

    void MakeRoom(std::size_t samples);

    std::vector<Speech> speeches_;
    std::size_t storedSamples_ = 0;
    // The latest reading and where it lies on the script's own scale.
    std::uint32_t tickCount_;
    std::int64_t now_ = 0;
    std::int16_t noiseAmplitude_ = 0;
};

}  // namespace porthold::platform
