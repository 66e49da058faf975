#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/multimedia/riff_chunks.h"
#include "platform/multimedia/wave_types.h"

namespace porthold::platform {

// RIFF file access in the customary multimedia-file vocabulary: four-character
// codes, chunk descriptions, and the flag and error values of that interface.
// The codes and the walk over chunk headers come from riff_chunks.h, which the
// reader of whole WAVE files in memory shares.

// A chunk's description. dwDataOffset is the file offset of the chunk's data
// (for RIFF and LIST chunks: of the form type); cksize counts the bytes from
// there, without the pad byte of an odd-sized chunk.
struct MMCKINFO {
    FOURCC ckid = 0;
    std::uint32_t cksize = 0;
    FOURCC fccType = 0;
    std::uint32_t dwDataOffset = 0;
    std::uint32_t dwFlags = 0;
};

// Open flags.
inline constexpr std::uint32_t MMIO_READ = 0x00000000u;
inline constexpr std::uint32_t MMIO_WRITE = 0x00000001u;
inline constexpr std::uint32_t MMIO_READWRITE = 0x00000002u;
inline constexpr std::uint32_t MMIO_EXCLUSIVE = 0x00000010u;
inline constexpr std::uint32_t MMIO_CREATE = 0x00001000u;
inline constexpr std::uint32_t MMIO_EXIST = 0x00004000u;
inline constexpr std::uint32_t MMIO_ALLOCBUF = 0x00010000u;
// Descend flags.
inline constexpr std::uint32_t MMIO_FINDCHUNK = 0x0010u;
inline constexpr std::uint32_t MMIO_FINDRIFF = 0x0020u;
inline constexpr std::uint32_t MMIO_FINDLIST = 0x0040u;
// Create-chunk flags.
inline constexpr std::uint32_t MMIO_CREATERIFF = 0x0020u;
inline constexpr std::uint32_t MMIO_CREATELIST = 0x0040u;
// In MMCKINFO::dwFlags: the chunk was created here and its size is fixed up
// on ascend.
inline constexpr std::uint32_t MMIO_DIRTY = 0x10000000u;

inline constexpr MMRESULT MMIOERR_FILENOTFOUND = 257;
inline constexpr MMRESULT MMIOERR_OUTOFMEMORY = 258;
inline constexpr MMRESULT MMIOERR_CANNOTOPEN = 259;
inline constexpr MMRESULT MMIOERR_CANNOTCLOSE = 260;
inline constexpr MMRESULT MMIOERR_CANNOTREAD = 261;
inline constexpr MMRESULT MMIOERR_CANNOTWRITE = 262;
inline constexpr MMRESULT MMIOERR_CANNOTSEEK = 263;
inline constexpr MMRESULT MMIOERR_CANNOTEXPAND = 264;
inline constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = 265;
inline constexpr MMRESULT MMIOERR_ACCESSDENIED = 268;
inline constexpr MMRESULT MMIOERR_TOOMANYOPENFILES = 271;

// One file opened for chunk-wise reading or writing. Malformed files (sizes
// beyond the end, truncated headers) make the operations fail; nothing is
// read beyond what the file holds. Offsets are 32-bit, as in the chunk
// descriptions, so files are limited to 4 GB.
class MultimediaFile {
public:
    MultimediaFile() = default;
    // Closes the file when still open; what a close would report is lost.
    ~MultimediaFile();
    MultimediaFile(const MultimediaFile&) = delete;
    MultimediaFile& operator=(const MultimediaFile&) = delete;

    // MMIO_READ, MMIO_WRITE or MMIO_READWRITE, with MMIO_CREATE to create or
    // empty the file and MMIO_ALLOCBUF for buffered access. MMIO_EXCLUSIVE is
    // accepted; other programs are not locked out. MMIO_EXIST only tells
    // whether the file exists and leaves this object closed. An object that is
    // open is closed first. MMSYSERR_NOERROR or an MMIOERR code.
    MMRESULT Open(const std::string& path, std::uint32_t flags);
    bool IsOpen() const { return file_ != nullptr; }

    // Enters a chunk: without a find flag the one at the current position;
    // with MMIO_FINDCHUNK the first whose identifier is chunk.ckid, with
    // MMIO_FINDRIFF (MMIO_FINDLIST) the first RIFF (LIST) chunk whose form type
    // is chunk.fccType, searched from the current position to the end of
    // `parent` (or of the file). Fills `chunk` and leaves the position at the
    // chunk's data (after the form type). MMIOERR_CHUNKNOTFOUND when there is
    // none; the position is then unchanged.
    MMRESULT Descend(MMCKINFO& chunk, const MMCKINFO* parent, std::uint32_t flags);

    // Leaves a chunk. For a chunk made by CreateChunk the current position
    // marks its end: a size that differs from chunk.cksize is written into the
    // chunk's header, and an odd size gets its pad byte. The position moves to
    // the end of the chunk, past the pad byte.
    MMRESULT Ascend(MMCKINFO& chunk, std::uint32_t flags = 0);

    // Writes a chunk header at the current position: chunk.ckid (or "RIFF"
    // with MMIO_CREATERIFF, "LIST" with MMIO_CREATELIST, each followed by
    // chunk.fccType) and the provisional size chunk.cksize.
    MMRESULT CreateChunk(MMCKINFO& chunk, std::uint32_t flags);

    // Bytes read (0 at the end of the file) or written, or -1 on failure.
    std::int32_t Read(void* buffer, std::int32_t count);
    std::int32_t Write(const void* buffer, std::int32_t count);

    // Writes buffered data to the file: MMIOERR_CANNOTWRITE when it could not
    // be (the disk is full), and what was buffered is then lost.
    MMRESULT Flush();

    // Ends the file at `position`, which becomes the current position; for a
    // writer that knows which of its bytes reached the disk.
    MMRESULT TruncateAt(std::uint64_t position);

    // MMIOERR_CANNOTWRITE when buffered data could not be written; the object
    // is closed all the same. MMSYSERR_INVALHANDLE when it was not open.
    MMRESULT Close();

private:
    enum class Operation { None, Reading, Writing };

    bool Tell(std::uint64_t& position);
    bool SeekTo(std::uint64_t position);
    bool ReadExactly(void* buffer, std::size_t count);
    bool WriteExactly(const void* buffer, std::size_t count);
    void PrepareFor(Operation operation);

    std::FILE* file_ = nullptr;
    Operation lastOperation_ = Operation::None;
};

using HMMIO = MultimediaFile*;

}  // namespace porthold::platform
