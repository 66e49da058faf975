#include "support/temporary_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/files.h"

namespace porthold::testing {

TemporaryFolder::TemporaryFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "porthold-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder";
    }
    path_ = pattern + "/";
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void TemporaryFolder::Write(const std::string& name, const std::string& contents) const {
    ASSERT_TRUE(platform::ReplaceFileContents(File(name), contents)) << File(name);
}

std::string TemporaryFolder::Read(const std::string& name) const {
    auto contents = platform::ReadFileContents(File(name));
    EXPECT_TRUE(contents.has_value()) << "cannot read " << File(name);
    return contents.value_or("");
}

}  // namespace porthold::testing
