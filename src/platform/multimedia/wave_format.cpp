#include "platform/multimedia/wave_format.h"

#include <cstddef>
#include <cstring>

namespace porthold::platform {

WaveFormat ReadWaveFormat(const WAVEFORMATEX* block) {
    // Only the fields up to wBitsPerSample are copied: the block may be a
    // 16-byte PCM format chunk.
    WAVEFORMATEX format{};
    std::memcpy(&format, block, offsetof(WAVEFORMATEX, cbSize));
    WaveFormat result;
    result.formatTag = format.wFormatTag;
    result.channels = format.nChannels;
    result.samplesPerSecond = format.nSamplesPerSec;
    result.averageBytesPerSecond = format.nAvgBytesPerSec;
    result.blockAlign = format.nBlockAlign;
    result.bitsPerSample = format.wBitsPerSample;
    return result;
}

WaveFormat LineVoiceFormat() {
    return WaveFormat{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16};
}

bool IsPlainPcm(const WaveFormat& format) {
    if (format.formatTag != WAVE_FORMAT_PCM) {
        return false;
    }
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) {
        return false;
    }
    if (format.channels != 1 && format.channels != 2) {
        return false;
    }
    if (format.samplesPerSecond < 1000 || format.samplesPerSecond > 192000) {
        return false;
    }
    const std::uint32_t blockAlign = format.channels * format.bitsPerSample / 8u;
    return format.blockAlign == blockAlign &&
           format.averageBytesPerSecond == format.samplesPerSecond * blockAlign;
}

bool IsLineVoiceFormat(const WaveFormat& format) {
    return format == LineVoiceFormat();
}

std::uint32_t PlayingMilliseconds(const WaveFormat& format, std::uint32_t bytes) {
    if (format.averageBytesPerSecond == 0) {
        return 0;
    }
    const std::uint64_t scaled = std::uint64_t{bytes} * 1000u;
    return static_cast<std::uint32_t>((scaled + format.averageBytesPerSecond - 1) /
                                      format.averageBytesPerSecond);
}

}  // namespace porthold::platform
