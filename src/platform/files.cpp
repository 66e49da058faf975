#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace porthold::platform {

namespace {

bool WriteAll(int descriptor, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(descriptor, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A descriptor closed when it goes out of scope, leaving errno as the failing
// step set it.
class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() {
        if (descriptor_ >= 0) {
            const int error = errno;
            ::close(descriptor_);
            errno = error;
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return descriptor_; }
    bool IsOpen() const { return descriptor_ >= 0; }
    // Closes it now, for a caller that must know whether the close succeeded.
    bool Close() {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        return ::close(descriptor) == 0;
    }

private:
    int descriptor_;
};

// Removes the temporary file of a failed replacement, keeping errno.
bool AbandonTemporaryFile(const std::string& temporary) {
    const int error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}

bool IsRegularFile(int descriptor, struct stat& status) {
    if (::fstat(descriptor, &status) != 0) {
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    return true;
}

bool IsDirectory(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool CopyContents(int source, int target) {
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        const ssize_t count = ::read(source, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return count == 0;
        }
        if (!WriteAll(target, std::string_view(buffer.data(), static_cast<std::size_t>(count)))) {
            return false;
        }
    }
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

std::optional<std::string> ReadFileContents(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    std::string contents;
    char buffer[8192];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(descriptor);
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(descriptor);
    return contents;
}

bool ReplaceFileContents(const std::string& path, std::string_view contents) {
    const std::filesystem::path target(path);
    std::string temporary =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    // The temporary file is created 0600, which suits a new file; a file being
    // replaced passes its own mode on, so that a mode its owner chose stays.
    Descriptor descriptor(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!descriptor.IsOpen()) {
        return false;
    }
    struct stat existing {};
    const bool replacing = ::stat(path.c_str(), &existing) == 0;
    if ((replacing && ::fchmod(descriptor.Get(), existing.st_mode & 07777) != 0) ||
        !WriteAll(descriptor.Get(), contents) || ::fsync(descriptor.Get()) != 0 ||
        !descriptor.Close() || ::rename(temporary.c_str(), path.c_str()) != 0) {
        return AbandonTemporaryFile(temporary);
    }
    return true;
}

bool AppendToFile(const std::string& path, std::string_view contents) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return false;
    }
    const bool written = WriteAll(descriptor, contents);
    return ::close(descriptor) == 0 && written;
}

bool CopyFile(const std::string& source, const std::string& target, ExistingTarget existing) {
    // Neither end may be a pipe or a device: opening one could block, and
    // reading one might never end.
    Descriptor input(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat sourceStatus {};
    if (!input.IsOpen() || !IsRegularFile(input.Get(), sourceStatus)) {
        return false;
    }
    // Not truncated on opening: a target that is the source itself must be
    // recognised before its content is gone.
    const int exclusive = existing == ExistingTarget::Keep ? O_EXCL : 0;
    Descriptor output(
        ::open(target.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | exclusive, 0600));
    struct stat targetStatus {};
    if (!output.IsOpen() || !IsRegularFile(output.Get(), targetStatus)) {
        return false;
    }
    if (targetStatus.st_dev == sourceStatus.st_dev && targetStatus.st_ino == sourceStatus.st_ino) {
        errno = EINVAL;
        return false;
    }
    return ::ftruncate(output.Get(), 0) == 0 && CopyContents(input.Get(), output.Get()) &&
           output.Close();
}

bool DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& source, const std::string& target) {
    return ::rename(source.c_str(), target.c_str()) == 0;
}

bool CreateDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0;
}

bool CreateDirectories(const std::string& path) {
    std::filesystem::path partial;
    for (const std::filesystem::path& part : std::filesystem::path(path)) {
        partial /= part;
        if (part.empty() || CreateDirectory(partial.string())) {
            continue;
        }
        // A folder that exists may refuse mkdir with another reason than
        // EEXIST, on a read-only file system for one.
        const int error = errno;
        if (!IsDirectory(partial.string())) {
            errno = error;
            return false;
        }
    }
    return IsDirectory(path);
}

std::FILE* OpenEmptiedStream(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return nullptr;
    }
    std::FILE* stream = ::fdopen(descriptor, "w+b");
    if (stream == nullptr) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
    }
    return stream;
}

}  // namespace porthold::platform
