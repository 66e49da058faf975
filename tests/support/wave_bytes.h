#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace porthold::testing {

// Builders for RIFF files byte by byte, in any shape a test needs, sound or
// broken.
inline std::string Little16(std::uint16_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

inline std::string Little32(std::uint32_t value) {
    return Little16(static_cast<std::uint16_t>(value & 0xFFFF)) +
           Little16(static_cast<std::uint16_t>(value >> 16));
}

// A chunk with its size, padded to an even length.
inline std::string Chunk(const std::string& identifier, const std::string& content) {
    std::string chunk = identifier + Little32(static_cast<std::uint32_t>(content.size())) + content;
    if (content.size() % 2 == 1) {
        chunk.push_back('\0');
    }
    return chunk;
}

inline std::string Riff(const std::string& chunks, const std::string& formType = "WAVE") {
    return "RIFF" + Little32(static_cast<std::uint32_t>(4 + chunks.size())) + formType + chunks;
}

inline std::string SampleBytes(const std::vector<std::int16_t>& samples) {
    std::string bytes;
    for (const std::int16_t sample : samples) {
        bytes += Little16(static_cast<std::uint16_t>(sample));
    }
    return bytes;
}

}  // namespace porthold::testing
