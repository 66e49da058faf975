#pragma once

#include <sys/resource.h>

#include <csignal>
#include <string>

namespace porthold::testing {

// The bytes of a hand-made or expected list file from the golden folder.
std::string Golden(const std::string& name);

// Makes every write past `bytes` into a regular file fail (EFBIG rather than a
// signal), which no file permission can do for root; restores both on exit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previousLimit_{};
    void (*previousHandler_)(int) = SIG_DFL;
};

}  // namespace porthold::testing
