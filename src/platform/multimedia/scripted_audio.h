#pragma once

#include <cstdint>
#include <vector>

namespace porthold::platform {

// What a simulated input device hears: pieces of speech that begin at given
// clock readings, over digital silence or low noise. Samples are 16-bit mono
// at the rate of the device that records them (8000 a second on a telephone
// line). Overlapping pieces are mixed. Not synchronised: its owner locks.
class ScriptedAudio {
public:
    void Speak(std::uint32_t startTick, std::vector<std::int16_t> samples);

    // Noise of at most this magnitude is heard wherever nobody speaks and is
    // mixed under speech; 0 (the default) is digital silence. The noise is
    // pseudo-random but the same on every run.
    void SetNoiseAmplitude(std::int16_t amplitude);

    // Forgets all speech.
    void Clear();

    // `count` samples as heard from `originTick` on, starting with the
    // `firstSample`-th sample after it.
    std::vector<std::int16_t> Render(std::uint32_t originTick, std::uint64_t firstSample,
                                     std::uint32_t count, std::uint32_t samplesPerSecond) const;

private:
    struct Speech {
        std::uint32_t startTick;
        std::vector<std::int16_t> samples;
    };

    std::vector<Speech> speeches_;
    std::int16_t noiseAmplitude_ = 0;
};

}  // namespace porthold::platform
