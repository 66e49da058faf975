#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/multimedia/multimedia_file.h"

namespace porthold::audio {

// The chunk identifiers of a WAVE file.
inline constexpr platform::FOURCC kWaveFormType = platform::mmioFOURCC('W', 'A', 'V', 'E');
inline constexpr platform::FOURCC kFormatChunkId = platform::mmioFOURCC('f', 'm', 't', ' ');
inline constexpr platform::FOURCC kDataChunkId = platform::mmioFOURCC('d', 'a', 't', 'a');

enum class ChunkReadOutcome { Complete, Short, OutOfMemory };

struct ChunkBody {
    std::vector<char> bytes;
    ChunkReadOutcome outcome = ChunkReadOutcome::Complete;
};

// Reads `size` bytes from the current position. The size comes from the file
// and may be anything, so memory grows with the bytes that actually arrive
// rather than with the size claimed: a damaged header cannot make the program
// allocate gigabytes. The result is zero-padded to at least `minimumLength`
// bytes, so a short format block can be handed on as a whole WAVEFORMATEX.
ChunkBody ReadChunkBody(platform::MultimediaFile& file, std::uint32_t size,
                        std::size_t minimumLength = 0);

}  // namespace porthold::audio
