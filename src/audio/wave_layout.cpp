#include "audio/wave_layout.h"

#include <algorithm>

#include "audio/chunk_reading.h"
#include "platform/files.h"
#include "platform/multimedia/riff_chunks.h"

namespace porthold::audio {

namespace {

// Bytes are assembled one by one so that files read the same on hosts of
// either byte order.
void AppendUnsigned16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFFu));
    out.push_back(static_cast<char>(value >> 8));
}

void AppendUnsigned32(std::string& out, std::uint32_t value) {
    AppendUnsigned16(out, static_cast<std::uint16_t>(value & 0xFFFFu));
    AppendUnsigned16(out, static_cast<std::uint16_t>(value >> 16));
}

// The caller has made sure that the bytes exist.
std::uint16_t ReadUnsigned16(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                      static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

std::uint32_t ReadUnsigned32(std::string_view bytes, std::size_t offset) {
    return ReadUnsigned16(bytes, offset) |
           static_cast<std::uint32_t>(ReadUnsigned16(bytes, offset + 2)) << 16;
}

void AppendTelephonyHeader(std::string& out, std::uint32_t sampleBytes) {
    const platform::WAVEFORMATEX format = TelephonyWaveFormat();
    out.append("RIFF");
    AppendUnsigned32(out, static_cast<std::uint32_t>(kTelephonyHeaderLength - 8) + sampleBytes);
    out.append("WAVE");
    out.append("fmt ");
    AppendUnsigned32(out, kTelephonyFormatChunkSize);
    AppendUnsigned16(out, format.wFormatTag);
    AppendUnsigned16(out, format.nChannels);
    AppendUnsigned32(out, format.nSamplesPerSec);
    AppendUnsigned32(out, format.nAvgBytesPerSec);
    AppendUnsigned16(out, format.nBlockAlign);
    AppendUnsigned16(out, format.wBitsPerSample);
    AppendUnsigned16(out, format.cbSize);
    out.append("data");
    AppendUnsigned32(out, sampleBytes);
}

std::optional<WaveSamples> DecodeSamples(std::string_view formatChunk, std::string_view data) {
    if (formatChunk.size() < 16) {
        return std::nullopt;
    }
    WaveSamples result;
    result.formatChunkSize = static_cast<std::uint32_t>(formatChunk.size());
    result.format.formatTag = ReadUnsigned16(formatChunk, 0);
    result.format.channels = ReadUnsigned16(formatChunk, 2);
    result.format.samplesPerSecond = ReadUnsigned32(formatChunk, 4);
    result.format.averageBytesPerSecond = ReadUnsigned32(formatChunk, 8);
    result.format.blockAlign = ReadUnsigned16(formatChunk, 12);
    result.format.bitsPerSample = ReadUnsigned16(formatChunk, 14);
    if (formatChunk.size() >= 18) {
        result.extraSize = ReadUnsigned16(formatChunk, 16);
    }
    // Samples are only meaningful when every block is one 16-bit value per
    // channel; anything else would be misread rather than read.
    const platform::WaveFormat& format = result.format;
    if (format.formatTag != platform::WAVE_FORMAT_PCM || format.bitsPerSample != 16 ||
        format.channels == 0 || format.blockAlign != 2u * format.channels ||
        data.size() % format.blockAlign != 0) {
        return std::nullopt;
    }
    result.samples.reserve(data.size() / 2);
    for (std::size_t offset = 0; offset < data.size(); offset += 2) {
        result.samples.push_back(static_cast<std::int16_t>(ReadUnsigned16(data, offset)));
    }
    return result;
}

}  // namespace

platform::WAVEFORMATEX TelephonyWaveFormat() {
    return platform::WAVEFORMATEX{
        .wFormatTag = kTelephonyFormatTag,
        .nChannels = kTelephonyChannels,
        .nSamplesPerSec = kTelephonySamplesPerSecond,
        .nAvgBytesPerSec = kTelephonyAverageBytesPerSecond,
        .nBlockAlign = kTelephonyBlockAlign,
        .wBitsPerSample = kTelephonyBitsPerSample,
        .cbSize = kTelephonyExtraSize,
    };
}

TelephonyWaveHeader BuildTelephonyWaveHeader(std::uint32_t sampleBytes) {
    std::string bytes;
    AppendTelephonyHeader(bytes, std::min(sampleBytes, kMaximumTelephonySampleBytes));
    TelephonyWaveHeader header{};
    std::copy(bytes.begin(), bytes.end(), header.begin());
    return header;
}

bool WriteTelephonyWaveFile(const std::string& path, std::span<const std::int16_t> samples) {
    if (samples.size() > kMaximumTelephonySampleBytes / 2) {
        return false;
    }
    const auto sampleBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::string contents;
    contents.reserve(kTelephonyHeaderLength + sampleBytes);
    AppendTelephonyHeader(contents, sampleBytes);
    for (const std::int16_t sample : samples) {
        AppendUnsigned16(contents, static_cast<std::uint16_t>(sample));
    }
    return platform::ReplaceFileContents(path, contents);
}

std::optional<WaveSamples> ParseWaveSamples(std::string_view bytes) {
    // The RIFF chunk must open the bytes: no search, the first chunk is it.
    const std::optional<platform::RiffChunk> riff =
        platform::FindChunk(bytes, 0, bytes.size(), platform::ChunkQuery{});
    if (!riff || riff->id != platform::FOURCC_RIFF || riff->formType != kWaveFormType) {
        return std::nullopt;
    }
    // A RIFF size beyond the end of the file (a writer that streamed and never
    // came back to fix it) is taken to mean "up to the end"; the chunks inside
    // must still be whole.
    const std::uint64_t end = std::min<std::uint64_t>(riff->End(), bytes.size());
    const std::optional<platform::RiffChunk> format = platform::FindChunk(
        bytes, riff->dataOffset + platform::kFormTypeLength, end, {kFormatChunkId, 0});
    if (!format || format->End() > end) {
        return std::nullopt;
    }
    // Like the player, only a "data" chunk after the format counts.
    const std::optional<platform::RiffChunk> data =
        platform::FindChunk(bytes, format->NextOffset(), end, {kDataChunkId, 0});
    if (!data || data->End() > end) {
        return std::nullopt;
    }
    return DecodeSamples(bytes.substr(format->dataOffset, format->size),
                         bytes.substr(data->dataOffset, data->size));
}

std::optional<WaveSamples> ReadWaveSamples(const std::string& path) {
    const std::optional<std::string> bytes = platform::ReadFileContents(path);
    if (!bytes) {
        return std::nullopt;
    }
    return ParseWaveSamples(*bytes);
}

}  // namespace porthold::audio
