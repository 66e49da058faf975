#include "audio/chunk_reading.h"

#include <algorithm>
#include <new>

namespace porthold::audio {

namespace {

// Large enough that a two-minute recording (about 1.9 MB) arrives in two
// reads, small enough that a false size costs little.
constexpr std::uint32_t kReadPiece = 1u << 20;

}  // namespace

ChunkBody ReadChunkBody(platform::MultimediaFile& file, std::uint32_t size,
                        std::size_t minimumLength) {
    ChunkBody body;
    try {
        body.bytes.reserve(std::min(size, kReadPiece));
        std::uint32_t remaining = size;
        while (remaining > 0) {
            const std::uint32_t piece = std::min(remaining, kReadPiece);
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
