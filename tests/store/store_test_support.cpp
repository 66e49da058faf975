#include "store_test_support.h"

#include <gtest/gtest.h>

#include "platform/files.h"

namespace porthold::testing {

std::string Golden(const std::string& name) {
    const auto contents = platform::ReadFileContents(PORTHOLD_STORE_GOLDEN + name);
    EXPECT_TRUE(contents.has_value()) << "missing golden file " << name;
    return contents.value_or("");
}

}  // namespace porthold::testing
