#include "platform/multimedia/riff_chunks.h"

#include <array>
#include <cstring>

namespace porthold::platform {

std::uint32_t ReadLittleEndian32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void WriteLittleEndian32(std::uint32_t value, unsigned char* bytes) {
    for (int index = 0; index < 4; ++index) {
        bytes[index] = static_cast<unsigned char>(value >> (8 * index));
    }
}

std::optional<RiffChunk> FindChunk(const ReadBytesAt& read, std::uint64_t start,
                                   std::uint64_t limit, ChunkQuery query) {
    // Offsets are at most a 32-bit size past a 32-bit offset, far from
    // overflowing 64 bits, and each step adds at least a header's length.
    std::uint64_t position = start;
    for (;;) {
        std::array<unsigned char, kChunkHeaderLength> header{};
        if (position + header.size() > limit || !read(position, header)) {
            return std::nullopt;
        }
        RiffChunk chunk;
        chunk.id = ReadLittleEndian32(header.data());
        chunk.size = ReadLittleEndian32(header.data() + 4);
        chunk.dataOffset = position + header.size();
        const bool idMatches = query.id == 0 || query.id == chunk.id;
        if (idMatches && IsListKind(chunk.id)) {
            std::array<unsigned char, kFormTypeLength> type{};
            if (chunk.dataOffset + type.size() > limit || !read(chunk.dataOffset, type)) {
                return std::nullopt;
            }
            chunk.formType = ReadLittleEndian32(type.data());
            if (query.formType == 0 || query.formType == chunk.formType) {
                return chunk;
            }
        } else if (idMatches && query.formType == 0) {
            return chunk;
        }
        if (query.id == 0) {
            return std::nullopt;
        }
        position = chunk.NextOffset();
    }
}

std::optional<RiffChunk> FindChunk(std::string_view bytes, std::uint64_t start, std::uint64_t limit,
                                   ChunkQuery query) {
    const ReadBytesAt read = [bytes](std::uint64_t offset, std::span<unsigned char> buffer) {
        if (offset > bytes.size() || buffer.size() > bytes.size() - offset) {
            return false;
        }
        std::memcpy(buffer.data(), bytes.data() + offset, buffer.size());
        return true;
    };
    return FindChunk(read, start, limit, query);
}

}  // namespace porthold::platform
