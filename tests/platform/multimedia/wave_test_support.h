#pragma once

#include <cstdint>
#include <vector>

#include "platform/multimedia/wave_types.h"

namespace porthold::platform::testing {

inline WAVEFORMATEX LineFormatBlock() {
    return WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 18};
}

// A buffer with its header, as the program allocates them.
struct TestBuffer {
    explicit TestBuffer(std::size_t size, char fill = 0) : data(size, fill) {
        header.lpData = data.data();
        header.dwBufferLength = static_cast<std::uint32_t>(size);
    }
    explicit TestBuffer(const std::vector<std::int16_t>& samples) : TestBuffer(samples.size() * 2) {
        for (std::size_t index = 0; index < samples.size(); ++index) {
            const auto value = static_cast<std::uint16_t>(samples[index]);
            data[2 * index] = static_cast<char>(value & 0xFF);
            data[2 * index + 1] = static_cast<char>(value >> 8);
        }
    }
    TestBuffer(const TestBuffer&) = delete;
    TestBuffer& operator=(const TestBuffer&) = delete;

    bool IsDone() const { return (header.dwFlags & WHDR_DONE) != 0; }

    // The recorded bytes as 16-bit samples.
    std::vector<std::int16_t> RecordedSamples() const {
        std::vector<std::int16_t> samples;
        for (std::size_t index = 0; index + 1 < header.dwBytesRecorded; index += 2) {
            samples.push_back(
                static_cast<std::int16_t>(static_cast<unsigned char>(data[index]) |
                                          (static_cast<unsigned char>(data[index + 1]) << 8)));
        }
        return samples;
    }

    std::vector<char> data;
    WAVEHDR header;
};

}  // namespace porthold::platform::testing
