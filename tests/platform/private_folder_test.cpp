// The folder that holds the user's sockets and lock: made private when
// missing, refused when someone else could reach into it or swap it.

#include "platform/private_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temporary_folder.h"

namespace porthold::platform {
namespace {

using ::testing::HasSubstr;
using testing::TemporaryFolder;

TEST(PreparePrivateFolder, MakesAMissingFolderTheUsersAloneAndTakesItAgain) {
    TemporaryFolder folder;
    std::string problem;
    ASSERT_TRUE(PreparePrivateFolder(folder.File("run"), problem)) << problem;
    struct stat status {};
    ASSERT_EQ(::lstat(folder.File("run").c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    EXPECT_TRUE(PreparePrivateFolder(folder.File("run"), problem)) << problem;

    EXPECT_FALSE(PreparePrivateFolder(folder.File("missing/run"), problem));
    EXPECT_THAT(problem, HasSubstr("cannot create " + folder.File("missing/run")));
}

TEST(PreparePrivateFolder, RefusesAFolderOthersCanReachALinkAndAFile) {
    TemporaryFolder folder;
    std::string problem;
    // Readable by the group only: nothing can be planted, but sockets and
    // locks could still be found and read.
    ASSERT_EQ(::mkdir(folder.File("shared").c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.File("shared").c_str(), 0740), 0);
    EXPECT_FALSE(PreparePrivateFolder(folder.File("shared"), problem));
    EXPECT_THAT(problem, HasSubstr("open to other users (mode 0740)"));

    // A link to a perfectly private folder is still not taken: whoever
    // placed it decides where the files go.
    ASSERT_EQ(::mkdir(folder.File("private").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(folder.File("private").c_str(), folder.File("link").c_str()), 0);
    EXPECT_FALSE(PreparePrivateFolder(folder.File("link"), problem));
    EXPECT_THAT(problem, HasSubstr("symbolic link"));

    folder.Write("file", "");
    EXPECT_FALSE(PreparePrivateFolder(folder.File("file"), problem));
    EXPECT_THAT(problem, HasSubstr("is not a folder"));
}

}  // namespace
}  // namespace porthold::platform
