#pragma once

#include <sys/resource.h>

#include <csignal>

namespace porthold::testing {

// Makes every write past `bytes` into a regular file fail (EFBIG rather than a
// signal), as a full disk would, which no file permission can do for root;
// restores the limit and the signal's handling when it goes.
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
