#include "support/file_size_limit.h"

#include <gtest/gtest.h>

namespace porthold::testing {

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &previousLimit_), 0);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = previousLimit_;
    limit.rlim_cur = bytes;
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
}

FileSizeLimit::~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previousLimit_);
    std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace porthold::testing
