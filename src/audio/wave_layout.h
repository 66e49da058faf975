#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/multimedia/wave_format.h"
#include "platform/multimedia/wave_types.h"

namespace porthold::audio {

// The one WAVE layout the program writes, for recordings and prompts alike:
// PCM, mono, 8000 samples a second, 16 bits, a 46-byte header whose "fmt "
// chunk holds the full 18-byte WAVEFORMATEX, then the "data" chunk. Files of
// other programs read fine with a 16-byte format chunk, but ours keep the 18
// bytes so that a recording and a prompt made here are identical in layout.
inline constexpr std::uint16_t kTelephonyFormatTag = platform::WAVE_FORMAT_PCM;
inline constexpr std::uint16_t kTelephonyChannels = 1;
inline constexpr std::uint32_t kTelephonySamplesPerSecond = 8000;
inline constexpr std::uint32_t kTelephonyAverageBytesPerSecond = 16000;
inline constexpr std::uint16_t kTelephonyBlockAlign = 2;
inline constexpr std::uint16_t kTelephonyBitsPerSample = 16;
// The extra-size field holds 18 rather than 0, as recordings carry it; readers
// ignore the field for PCM.
inline constexpr std::uint16_t kTelephonyExtraSize = 18;
inline constexpr std::uint32_t kTelephonyFormatChunkSize = 18;
inline constexpr std::size_t kTelephonyHeaderLength = 46;

// Where the two size fields sit, for a writer that fixes them once the number
// of sample bytes is known.
inline constexpr std::size_t kRiffSizeOffset = 4;
inline constexpr std::size_t kDataSizeOffset = 42;

// The most sample bytes a file can hold: the RIFF size, 38 plus the sample
// bytes, must fit in 32 bits, and samples come in whole 2-byte blocks.
inline constexpr std::uint32_t kMaximumTelephonySampleBytes = 0xFFFFFFFFu - 39u;

using TelephonyWaveHeader = std::array<char, kTelephonyHeaderLength>;

// The format block as it goes into the "fmt " chunk (and to a wave device).
platform::WAVEFORMATEX TelephonyWaveFormat();

// The header of a file with `sampleBytes` bytes of samples after it: RIFF size
// 38 + sampleBytes, data size sampleBytes, little-endian on every host.
// Larger counts than kMaximumTelephonySampleBytes cannot be described; they
// are held at that maximum rather than wrapped around.
TelephonyWaveHeader BuildTelephonyWaveHeader(std::uint32_t sampleBytes);

// Writes a whole file in the telephony layout, replacing any file of that name
// without ever leaving it half-written. False when the file cannot be written
// or the samples are too many for one file.
bool WriteTelephonyWaveFile(const std::string& path, std::span<const std::int16_t> samples);

// A 16-bit PCM WAVE file as read back: its format and its samples, channels
// interleaved as stored.
struct WaveSamples {
    platform::WaveFormat format;
    std::uint32_t formatChunkSize = 0;
    // The extra-size field, when the format chunk is long enough to hold it.
    std::optional<std::uint16_t> extraSize;
    std::vector<std::int16_t> samples;
};

// Reads 16-bit PCM WAVE files from any writer: a format chunk of 16 bytes or
// more, other chunks skipped, "fmt " before "data" as the player requires.
// None for anything else, including damaged files; it never reads past the
// bytes it was given.
std::optional<WaveSamples> ParseWaveSamples(std::string_view bytes);
std::optional<WaveSamples> ReadWaveSamples(const std::string& path);

}  // namespace porthold::audio
