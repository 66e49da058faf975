#pragma once

#include <cstdint>

#include "platform/multimedia/wave_types.h"

namespace porthold::platform {

// The part of a format block that devices look at, read safely from the first
// 16 bytes of a WAVEFORMATEX (the extra-size field is never read, since a PCM
// format chunk of 16 bytes does not have it).
struct WaveFormat {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t averageBytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;

    friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

// `block` must not be null; it needs to hold 16 bytes.
WaveFormat ReadWaveFormat(const WAVEFORMATEX* block);

// The format of the telephone line's voice channel: PCM, mono, 8000 samples a
// second, 16 bits.
WaveFormat LineVoiceFormat();

// PCM of 8 or 16 bits, one or two channels, a sample rate between 1000 and
// 192000, and block alignment and byte rate that agree with those: what a
// sound card is asked to play or record. Inconsistent blocks are refused
// because every timing is derived from them.
bool IsPlainPcm(const WaveFormat& format);

bool IsLineVoiceFormat(const WaveFormat& format);

// How long `bytes` of this format play, in whole milliseconds rounded up, so
// that a buffer is never reported finished before its last sample.
std::uint32_t PlayingMilliseconds(const WaveFormat& format, std::uint32_t bytes);

}  // namespace porthold::platform
