#include "platform/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace porthold::platform {
namespace {

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

}  // namespace

std::string RuntimeFolder(const ProcessEnvironment& environment) {
    if (auto runtime = environment.Variable("XDG_RUNTIME_DIR");
        runtime && !runtime->empty() && runtime->front() == '/') {
        return *runtime + "/porthold";
    }
    return "/tmp/porthold-" + std::to_string(::getuid());
}

bool PreparePrivateFolder(const std::string& folder, std::string& problem) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = "cannot create " + folder + ": " + std::strerror(errno);
        return false;
    }
    // lstat, so that a link planted in the folder's place is seen as a link.
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) {
        problem = "cannot examine " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISLNK(status.st_mode)) {
        problem = folder + " is a symbolic link, not a folder";
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        problem = folder + " is not a folder";
        return false;
    }
    if (status.st_uid != ::getuid()) {
        problem = folder + " belongs to user " + std::to_string(status.st_uid) + ", not to you";
        return false;
    }
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        problem = folder + " is open to other users (mode " + ModeText(status.st_mode) +
                  "); it must be yours alone (0700)";
        return false;
    }
    return true;
}

}  // namespace porthold::platform
