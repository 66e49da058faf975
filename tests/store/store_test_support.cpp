#include "store_test_support.h"

#include <gtest/gtest.h>

#include "platform/files.h"

namespace porthold::testing {

std::string Golden(const std::string& name) {
    const auto contents = platform::ReadFileContents(PORTHOLD_STORE_GOLDEN + name);
    EXPECT_TRUE(contents.has_value()) << "missing golden file " << name;
    return contents.value_or("");
}

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
