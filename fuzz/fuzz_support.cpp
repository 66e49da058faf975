#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace porthold::fuzz {
namespace {

// Owns the folder; its destructor runs at the normal end of a run, while a
// crash leaves the folder behind next to the crash file for inspection.
class PrivateFolder {
public:
    PrivateFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/porthold-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("porthold fuzz: mkdtemp");
            std::abort();
        }
        path_ = pattern + "/";
    }
    ~PrivateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

const std::string& ScratchFolder() {
    static const PrivateFolder folder;
    return folder.Path();
}

std::string WriteScratchFile(std::string_view name, std::string_view contents) {
    std::string path = ScratchFolder() + std::string(name);
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Require(descriptor >= 0, "the scratch file opens");
    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t step =
            write(descriptor, contents.data() + written, contents.size() - written);
        Require(step > 0, "the scratch file takes the input");
        written += static_cast<std::size_t>(step);
    }
    Require(close(descriptor) == 0, "the scratch file closes");
    return path;
}

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "porthold fuzz: property broken: %s\n", what);
        std::abort();
    }
}

}  // namespace porthold::fuzz
