#include "platform/multimedia/multimedia_file.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <limits>

namespace porthold::platform {
namespace {

constexpr std::uint64_t kLargestOffset = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kBufferSize = 8192;

std::uint32_t ReadLittleEndian(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void WriteLittleEndian(std::uint32_t value, unsigned char* bytes) {
    for (int index = 0; index < 4; ++index) {
        bytes[index] = static_cast<unsigned char>(value >> (8 * index));
    }
}

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

bool IsListKind(FOURCC id) {
    return id == FOURCC_RIFF || id == FOURCC_LIST;
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
    const char* mode = "rb";
    if ((flags & MMIO_CREATE) != 0) {
        mode = "w+b";
    } else if (accessMode != MMIO_READ) {
        mode = "r+b";
    }
    errno = 0;
    file_ = std::fopen(path.c_str(), mode);
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

    FOURCC wantedId = 0;
    FOURCC wantedType = 0;
    if ((flags & MMIO_FINDCHUNK) != 0) {
        wantedId = chunk.ckid;
    } else if ((flags & MMIO_FINDRIFF) != 0) {
        wantedId = FOURCC_RIFF;
        wantedType = chunk.fccType;
    } else if ((flags & MMIO_FINDLIST) != 0) {
        wantedId = FOURCC_LIST;
        wantedType = chunk.fccType;
    }

    std::uint64_t position = start;
    for (;;) {
        std::array<unsigned char, 8> header{};
        if (position + header.size() > limit || !SeekTo(position) ||
            !ReadExactly(header.data(), header.size())) {
            break;
        }
        const FOURCC id = ReadLittleEndian(header.data());
        const std::uint32_t size = ReadLittleEndian(header.data() + 4);
        const std::uint64_t dataOffset = position + header.size();
        const bool idMatches = wantedId == 0 || wantedId == id;
        if (idMatches && IsListKind(id)) {
            std::array<unsigned char, 4> type{};
            if (dataOffset + type.size() > limit || !ReadExactly(type.data(), type.size())) {
                break;
            }
            const FOURCC formType = ReadLittleEndian(type.data());
            if (wantedType == 0 || wantedType == formType) {
                chunk = MMCKINFO{id, size, formType, static_cast<std::uint32_t>(dataOffset), 0};
                return MMSYSERR_NOERROR;
            }
        } else if (idMatches && wantedType == 0) {
            chunk = MMCKINFO{id, size, 0, static_cast<std::uint32_t>(dataOffset), 0};
            return MMSYSERR_NOERROR;
        }
        if (wantedId == 0) {
            break;
        }
        // Chunks are padded to an even length.
        position = dataOffset + size + (size & 1u);
    }
    SeekTo(start);
    return MMIOERR_CHUNKNOTFOUND;
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
            WriteLittleEndian(static_cast<std::uint32_t>(size), bytes.data());
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
    WriteLittleEndian(chunk.ckid, header.data());
    WriteLittleEndian(chunk.cksize, header.data() + 4);
    WriteLittleEndian(chunk.fccType, header.data() + 8);
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
