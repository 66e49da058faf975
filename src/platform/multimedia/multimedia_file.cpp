#include "platform/multimedia/multimedia_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <limits>
#include <optional>
#include <span>

#include "platform/files.h"

namespace porthold::platform {
namespace {

constexpr std::uint64_t kLargestOffset = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kBufferSize = 8192;

MMRESULT OpenFailure(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return MMIOERR_FILENOTFOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return MMIOERR_ACCESSDENIED;
        case EMFILE:
        case ENFILE:
            return MMIOERR_TOOMANYOPENFILES;
        case ENOMEM:
            return MMIOERR_OUTOFMEMORY;
        default:
            return MMIOERR_CANNOTOPEN;
    }
}

ChunkQuery QueryFor(const MMCKINFO& chunk, std::uint32_t flags) {
    if ((flags & MMIO_FINDCHUNK) != 0) {
        return ChunkQuery{chunk.ckid, 0};
    }
    if ((flags & MMIO_FINDRIFF) != 0) {
        return ChunkQuery{FOURCC_RIFF, chunk.fccType};
    }
    if ((flags & MMIO_FINDLIST) != 0) {
        return ChunkQuery{FOURCC_LIST, chunk.fccType};
    }
    return ChunkQuery{};
}

}  // namespace

MultimediaFile::~MultimediaFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

MMRESULT MultimediaFile::Open(const std::string& path, std::uint32_t flags) {
    if (file_ != nullptr) {
        Close();
    }
    const std::uint32_t accessMode = flags & 0x3u;
    if (accessMode == 0x3u) {
        return MMSYSERR_INVALFLAG;
    }
    if ((flags & MMIO_EXIST) != 0) {
        struct stat existing {};
        return ::stat(path.c_str(), &existing) == 0 ? MMSYSERR_NOERROR : MMIOERR_FILENOTFOUND;
    }
    const char* mode = accessMode != MMIO_READ ? "r+b" : "rb";
    errno = 0;
    // A created file is private, as a recording holds a caller's voice; an
    // existing file created over keeps its mode.
    file_ = (flags & MMIO_CREATE) != 0 ? OpenEmptiedStream(path) : std::fopen(path.c_str(), mode);
    if (file_ == nullptr) {
        return OpenFailure(errno);
    }
    // A folder opens for reading here but is no file to read chunks from.
    struct stat status {};
    if (::fstat(::fileno(file_), &status) != 0 || S_ISDIR(status.st_mode)) {
        std::fclose(file_);
        file_ = nullptr;
        return MMIOERR_CANNOTOPEN;
    }
    // Chunk headers are small reads and writes; a buffer keeps them from
    // becoming a system call each.
    if ((flags & MMIO_ALLOCBUF) != 0) {
        std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
    }
    lastOperation_ = Operation::None;
    return MMSYSERR_NOERROR;
}

MMRESULT MultimediaFile::Descend(MMCKINFO& chunk, const MMCKINFO* parent, std::uint32_t flags) {
    if (file_ == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    std::uint64_t start = 0;
    if (!Tell(start)) {
        return MMIOERR_CANNOTSEEK;
    }
    const std::uint64_t limit =
        parent != nullptr ? std::uint64_t{parent->dwDataOffset} + parent->cksize : kLargestOffset;
    const ReadBytesAt read = [this](std::uint64_t offset, std::span<unsigned char> buffer) {
        return SeekTo(offset) && ReadExactly(buffer.data(), buffer.size());
    };
    const std::optional<RiffChunk> found = FindChunk(read, start, limit, QueryFor(chunk, flags));
    // The data of a RIFF or LIST chunk begins after its form type. Once that
    // position is known to be within the 32-bit offsets, so is dataOffset.
    if (!found || !SeekTo(found->dataOffset + (IsListKind(found->id) ? kFormTypeLength : 0))) {
        SeekTo(start);
        return MMIOERR_CHUNKNOTFOUND;
    }
    chunk = MMCKINFO{found->id, found->size, found->formType,
                     static_cast<std::uint32_t>(found->dataOffset), 0};
    return MMSYSERR_NOERROR;
}

MMRESULT MultimediaFile::Ascend(MMCKINFO& chunk, std::uint32_t /*flags*/) {
    if (file_ == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if ((chunk.dwFlags & MMIO_DIRTY) != 0) {
        std::uint64_t end = 0;
        if (!Tell(end) || chunk.dwDataOffset < 4 || end < chunk.dwDataOffset) {
            return MMIOERR_CANNOTSEEK;
        }
        const std::uint64_t size = end - chunk.dwDataOffset;
        if (size + (size & 1u) > kLargestOffset - chunk.dwDataOffset) {
            return MMIOERR_CANNOTWRITE;
        }
        if ((size & 1u) != 0) {
            const unsigned char pad = 0;
            if (!WriteExactly(&pad, 1)) {
                return MMIOERR_CANNOTWRITE;
            }
        }
        if (size != chunk.cksize) {
            std::array<unsigned char, 4> bytes{};
            WriteLittleEndian32(static_cast<std::uint32_t>(size), bytes.data());
            if (!SeekTo(chunk.dwDataOffset - 4u)) {
                return MMIOERR_CANNOTSEEK;
            }
            if (!WriteExactly(bytes.data(), bytes.size())) {
                return MMIOERR_CANNOTWRITE;
            }
            chunk.cksize = static_cast<std::uint32_t>(size);
        }
        chunk.dwFlags &= ~MMIO_DIRTY;
    }
    const std::uint64_t end =
        std::uint64_t{chunk.dwDataOffset} + chunk.cksize + (chunk.cksize & 1u);
    return SeekTo(end) ? MMSYSERR_NOERROR : MMIOERR_CANNOTSEEK;
}

MMRESULT MultimediaFile::CreateChunk(MMCKINFO& chunk, std::uint32_t flags) {
    if (file_ == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    std::uint64_t start = 0;
    if (!Tell(start)) {
        return MMIOERR_CANNOTSEEK;
    }
    if ((flags & MMIO_CREATERIFF) != 0) {
        chunk.ckid = FOURCC_RIFF;
    } else if ((flags & MMIO_CREATELIST) != 0) {
        chunk.ckid = FOURCC_LIST;
    }
    std::array<unsigned char, 12> header{};
    WriteLittleEndian32(chunk.ckid, header.data());
    WriteLittleEndian32(chunk.cksize, header.data() + 4);
    WriteLittleEndian32(chunk.fccType, header.data() + 8);
    const std::size_t length = IsListKind(chunk.ckid) ? 12 : 8;
    if (start + length > kLargestOffset) {
        return MMIOERR_CANNOTWRITE;
    }
    if (!WriteExactly(header.data(), length)) {
        SeekTo(start);
        return MMIOERR_CANNOTWRITE;
    }
    chunk.dwDataOffset = static_cast<std::uint32_t>(start + 8);
    chunk.dwFlags = MMIO_DIRTY;
    return MMSYSERR_NOERROR;
}

std::int32_t MultimediaFile::Read(void* buffer, std::int32_t count) {
    if (file_ == nullptr || count < 0 || (buffer == nullptr && count > 0)) {
        return -1;
    }
    PrepareFor(Operation::Reading);
    const std::size_t read = std::fread(buffer, 1, static_cast<std::size_t>(count), file_);
    if (read < static_cast<std::size_t>(count) && std::ferror(file_) != 0) {
        std::clearerr(file_);
        return -1;
    }
    return static_cast<std::int32_t>(read);
}

std::int32_t MultimediaFile::Write(const void* buffer, std::int32_t count) {
    if (file_ == nullptr || count < 0 || (buffer == nullptr && count > 0)) {
        return -1;
    }
    return WriteExactly(buffer, static_cast<std::size_t>(count)) ? count : -1;
}

MMRESULT MultimediaFile::Flush() {
    if (file_ == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (std::fflush(file_) != 0) {
        std::clearerr(file_);
        return MMIOERR_CANNOTWRITE;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT MultimediaFile::TruncateAt(std::uint64_t position) {
    if (file_ == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    // Buffered bytes are written (or dropped) before the cut, so that none
    // lands past the new end afterwards.
    std::fflush(file_);
    std::clearerr(file_);
    if (!SeekTo(position)) {
        return MMIOERR_CANNOTSEEK;
    }
    return ::ftruncate(::fileno(file_), static_cast<off_t>(position)) == 0 ? MMSYSERR_NOERROR
                                                                           : MMIOERR_CANNOTWRITE;
}

MMRESULT MultimediaFile::Close() {
    if (file_ == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    const int result = std::fclose(file_);
    file_ = nullptr;
    return result == 0 ? MMSYSERR_NOERROR : MMIOERR_CANNOTWRITE;
}

bool MultimediaFile::Tell(std::uint64_t& position) {
    const off_t offset = ::ftello(file_);
    if (offset < 0) {
        return false;
    }
    position = static_cast<std::uint64_t>(offset);
    return true;
}

bool MultimediaFile::SeekTo(std::uint64_t position) {
    if (position > kLargestOffset) {
        return false;
    }
    lastOperation_ = Operation::None;
    return ::fseeko(file_, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool MultimediaFile::ReadExactly(void* buffer, std::size_t count) {
    PrepareFor(Operation::Reading);
    if (std::fread(buffer, 1, count, file_) == count) {
        return true;
    }
    std::clearerr(file_);
    return false;
}

bool MultimediaFile::WriteExactly(const void* buffer, std::size_t count) {
    PrepareFor(Operation::Writing);
    if (std::fwrite(buffer, 1, count, file_) == count) {
        return true;
    }
    std::clearerr(file_);
    return false;
}

void MultimediaFile::PrepareFor(Operation operation) {
    // A stream must be repositioned between reading and writing; a seek to
    // the current position does that without moving.
    if (lastOperation_ != Operation::None && lastOperation_ != operation) {
        ::fseeko(file_, 0, SEEK_CUR);
    }
    lastOperation_ = operation;
}

}  // namespace porthold::platform
