#include "audio/chunk_reading.h"

#include <algorithm>
#include <new>

namespace porthold::audio {

namespace {

// Reads start small and double up to the largest piece: a short file that
// claims a huge chunk costs a small buffer, and a two-minute recording (about
// 1.9 MB) still arrives in a handful of reads.
constexpr std::uint32_t kFirstReadPiece = 1u << 16;
constexpr std::uint32_t kLargestReadPiece = 1u << 20;

}  // namespace

ChunkBody ReadChunkBody(platform::MultimediaFile& file, std::uint32_t size,
                        std::size_t minimumLength) {
    ChunkBody body;
    try {
        std::uint32_t nextPiece = kFirstReadPiece;
        body.bytes.reserve(std::min(size, nextPiece));
        std::uint32_t remaining = size;
        while (remaining > 0) {
            const std::uint32_t piece = std::min(remaining, nextPiece);
            nextPiece = std::min(nextPiece * 2, kLargestReadPiece);
            const std::size_t filled = body.bytes.size();
            body.bytes.resize(filled + piece);
            const std::int32_t read =
                file.Read(body.bytes.data() + filled, static_cast<std::int32_t>(piece));
            if (read < static_cast<std::int32_t>(piece)) {
                body.bytes.resize(filled + static_cast<std::size_t>(std::max(read, 0)));
                body.outcome = ChunkReadOutcome::Short;
                break;
            }
            remaining -= piece;
        }
        if (body.bytes.size() < minimumLength) {
            body.bytes.resize(minimumLength);
        }
    } catch (const std::bad_alloc&) {
        body.bytes = {};
        body.outcome = ChunkReadOutcome::OutOfMemory;
    }
    return body;
}

}  // namespace porthold::audio
