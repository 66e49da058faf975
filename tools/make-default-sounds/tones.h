#pragma once

#include <cstdint>
#include <vector>

namespace porthold::tools {

// One stretch of steady tone: the sines are summed, each with its peak at
// `levelDecibels` relative to full scale. Every burst fades in and out over
// 5 ms inside its own length, so that it starts and stops without a click.
struct ToneBurst {
    std::vector<double> frequencies;
    double levelDecibels = 0.0;
    int milliseconds = 0;
};

void AppendToneBurst(std::vector<std::int16_t>& samples, const ToneBurst& burst);
void AppendSilence(std::vector<std::int16_t>& samples, int milliseconds);

// The three-note intercept tone that automatic dialers take for "number not
// in service": 913.8 Hz for 274 ms, 1370.6 Hz for 274 ms, 1776.7 Hz for
// 380 ms, at a moderate level.
std::vector<std::int16_t> SpecialInformationTone();

// One cycle of North American ringback as the waiting caller hears it:
// 440 Hz and 480 Hz together for 2 s, then 4 s of silence.
std::vector<std::int16_t> RingbackTone();

// The short tone before a recording starts and between played messages.
std::vector<std::int16_t> BeepTone();

}  // namespace porthold::tools
