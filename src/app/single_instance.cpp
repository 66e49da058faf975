#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace porthold::app {

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The folder is made when missing (readable by the user only). A folder that
// someone else could write to is not used: they could put a lock file there
// that keeps the program from ever starting, or swap it for a link.
bool PrepareFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return false;
    }
    return status.st_uid == ::getuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::string InstanceLockFile(const platform::ProcessEnvironment& environment) {
    std::string folder;
    if (auto runtime = environment.Variable("XDG_RUNTIME_DIR");
        runtime && !runtime->empty() && runtime->front() == '/') {
        folder = *runtime + "/porthold";
    } else {
        folder = "/tmp/porthold-" + std::to_string(::getuid());
    }
    return folder + "/" + std::string(kInstanceName) + ".lock";
}

SingleInstance::SingleInstance(std::string lockFile, platform::Clock& clock)
    : lockFile_(std::move(lockFile)), clock_(clock) {}

SingleInstance::~SingleInstance() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

bool SingleInstance::OpenLockFile() {
    if (descriptor_ >= 0) {
        return true;
    }
    if (!PrepareFolder(FolderOf(lockFile_))) {
        return false;
    }
    descriptor_ = ::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    return descriptor_ >= 0;
}

SingleInstance::Outcome SingleInstance::Acquire(std::uint32_t waitMilliseconds) {
    if (held_) {
        return Outcome::Acquired;
    }
    if (!OpenLockFile()) {
        return Outcome::Unchecked;
    }
    const std::uint32_t start = clock_.TickCount();
    for (;;) {
        if (::flock(descriptor_, LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return Outcome::Acquired;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            return Outcome::Unchecked;
        }
        const std::uint32_t waited = clock_.TickCount() - start;
        if (waited >= waitMilliseconds) {
            return Outcome::HeldByAnother;
        }
        clock_.Sleep(std::min(kRetryMilliseconds, waitMilliseconds - waited));
    }
}

void SingleInstance::Release() {
    if (held_) {
        ::flock(descriptor_, LOCK_UN);
        held_ = false;
    }
}

}  // namespace porthold::app
