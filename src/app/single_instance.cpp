#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/private_folder.h"

namespace porthold::app {

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

std::string InstanceLockFile(const platform::ProcessEnvironment& environment) {
    return platform::RuntimeFolder(environment) + "/" + std::string(kInstanceName) + ".lock";
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
    // A folder someone else could write to is not used: they could put a
    // lock file there that keeps the program from ever starting, or swap it
    // for a link.
    if (!platform::PreparePrivateFolder(FolderOf(lockFile_), problem_)) {
        return false;
    }
    descriptor_ = ::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor_ < 0) {
        problem_ = "cannot open " + lockFile_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
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
            problem_ = "cannot lock " + lockFile_ + ": " + std::strerror(errno);
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
