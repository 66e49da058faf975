#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace porthold::platform {

// The walk over RIFF chunk headers, shared by the chunk-wise file access and
// the reader of whole WAVE files in memory, so that both agree on what a chunk
// is, where the next one starts and where a search ends.

using FOURCC = std::uint32_t;

constexpr FOURCC mmioFOURCC(char first, char second, char third, char fourth) {
    return static_cast<FOURCC>(static_cast<unsigned char>(first)) |
           (static_cast<FOURCC>(static_cast<unsigned char>(second)) << 8) |
           (static_cast<FOURCC>(static_cast<unsigned char>(third)) << 16) |
           (static_cast<FOURCC>(static_cast<unsigned char>(fourth)) << 24);
}

inline constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
inline constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');

// An identifier and a size, each four bytes, little-endian.
inline constexpr std::size_t kChunkHeaderLength = 8;
// RIFF and LIST chunks begin their data with a form type.
inline constexpr std::size_t kFormTypeLength = 4;

constexpr bool IsListKind(FOURCC id) {
    return id == FOURCC_RIFF || id == FOURCC_LIST;
}

// A chunk as found. dataOffset is where the data begins (for RIFF and LIST
// chunks: the form type); size counts the bytes from there, without the pad
// byte of an odd-sized chunk. Nothing says that the size fits in what holds
// the chunk: a reader that needs the data whole checks End().
struct RiffChunk {
    FOURCC id = 0;
    std::uint32_t size = 0;
    FOURCC formType = 0;
    std::uint64_t dataOffset = 0;

    std::uint64_t End() const { return dataOffset + size; }
    // Chunks start on even offsets, so an odd-sized one is followed by a pad byte.
    std::uint64_t NextOffset() const { return End() + (size & 1u); }
};

// What a search looks for. An id of 0 takes the chunk at the start, whatever
// it is, without searching; a form type of 0 takes any form type.
struct ChunkQuery {
    FOURCC id = 0;
    FOURCC formType = 0;
};

// Fills the whole buffer from `offset`; false when the bytes are not all there.
using ReadBytesAt = std::function<bool(std::uint64_t offset, std::span<unsigned char> buffer)>;

// The first chunk from `start` on that answers `query`, skipping the others
// by their sizes. A header or form type must lie before `limit` (the end of
// the parent chunk) and be readable; the search ends at the first that is
// not. Every step moves on by at least a header, so the search ends.
std::optional<RiffChunk> FindChunk(const ReadBytesAt& read, std::uint64_t start,
                                   std::uint64_t limit, ChunkQuery query);

// The same over bytes in memory; nothing beyond `bytes` is read.
std::optional<RiffChunk> FindChunk(std::string_view bytes, std::uint64_t start, std::uint64_t limit,
                                   ChunkQuery query);

std::uint32_t ReadLittleEndian32(const unsigned char* bytes);
void WriteLittleEndian32(std::uint32_t value, unsigned char* bytes);

}  // namespace porthold::platform
