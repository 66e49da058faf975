#pragma once

// One 16-bit PCM sample in a wave buffer, which holds it little-endian
// whatever the machine's own byte order, and may hold it at any alignment.

#include <cstdint>

namespace porthold::platform {

inline std::int16_t ReadPcmSample(const char* bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    return static_cast<std::int16_t>(data[0] | (data[1] << 8));
}

inline void WritePcmSample(std::int16_t sample, char* bytes) {
    const auto value = static_cast<std::uint16_t>(sample);
    auto* data = reinterpret_cast<unsigned char*>(bytes);
    data[0] = static_cast<unsigned char>(value & 0xFFu);
    data[1] = static_cast<unsigned char>(value >> 8);
}

}  // namespace porthold::platform
