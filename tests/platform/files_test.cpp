#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/file_size_limit.h"
#include "support/temporary_folder.h"

namespace porthold::platform {
namespace {

using testing::FileSizeLimit;
using testing::TemporaryFolder;

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

int CountEntries(const std::string& folder) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

TEST(ReplaceFileContents, WritesNewFilesAndReplacesOldOnesWhole) {
    TemporaryFolder folder;
    const std::string path = folder.File("list.txt");
    ASSERT_TRUE(ReplaceFileContents(path, "first\r\n"));
    EXPECT_EQ(ReadFileContents(path), "first\r\n");
    ASSERT_TRUE(ReplaceFileContents(path, ""));
    EXPECT_EQ(ReadFileContents(path), "");
    EXPECT_EQ(CountEntries(folder.Path()), 1) << "no temporary file may stay behind";
}

TEST(ReplaceFileContents, AFailedWriteLeavesTheOldContentAndNoTemporaryFile) {
    TemporaryFolder folder;
    const std::string path = folder.File("list.txt");
    ASSERT_TRUE(ReplaceFileContents(path, "old content\r\n"));
    {
        FileSizeLimit limit(16);
        EXPECT_FALSE(ReplaceFileContents(path, std::string(4096, 'x')));
    }
    EXPECT_EQ(ReadFileContents(path), "old content\r\n");
    EXPECT_EQ(CountEntries(folder.Path()), 1);
}

TEST(ReplaceFileContents, FailsWhereTheFolderCannotHoldFiles) {
    TemporaryFolder folder;
    folder.Write("plain", "not a folder");
    EXPECT_FALSE(ReplaceFileContents(folder.File("plain/list.txt"), "x"));
    EXPECT_FALSE(ReplaceFileContents(folder.File("missing/list.txt"), "x"));
}

TEST(FileServices, CopyDeleteRenameAndCreateFolderReportFailures) {
    TemporaryFolder folder;
    folder.Write("a.wav", "RIFF");
    EXPECT_TRUE(FileExists(folder.File("a.wav")));
    EXPECT_FALSE(FileExists(folder.Path())) << "a folder is not a file";

    EXPECT_TRUE(CopyFile(folder.File("a.wav"), folder.File("b.wav"), ExistingTarget::Keep));
    EXPECT_FALSE(CopyFile(folder.File("a.wav"), folder.File("b.wav"), ExistingTarget::Keep));
    EXPECT_TRUE(CopyFile(folder.File("a.wav"), folder.File("b.wav"), ExistingTarget::Overwrite));
    EXPECT_FALSE(
        CopyFile(folder.File("none.wav"), folder.File("c.wav"), ExistingTarget::Overwrite));
    EXPECT_FALSE(CopyFile(folder.File("a.wav"), folder.File("a.wav"), ExistingTarget::Overwrite));
    EXPECT_EQ(folder.Read("a.wav"), "RIFF") << "a copy onto itself must not empty the file";

    EXPECT_TRUE(RenameFile(folder.File("b.wav"), folder.File("a.wav")));
    EXPECT_FALSE(FileExists(folder.File("b.wav")));
    EXPECT_TRUE(DeleteFile(folder.File("a.wav")));
    EXPECT_FALSE(DeleteFile(folder.File("a.wav")));

    EXPECT_TRUE(CreateDirectory(folder.File("messages")));
    EXPECT_FALSE(CreateDirectory(folder.File("messages")));
}

TEST(PrivateFiles, NewOnesAreForTheirOwnerOnlyWhateverTheUmaskAndOldOnesKeepTheirMode) {
    TemporaryFolder folder;
    folder.Write("source.wav", "RIFF");
    ASSERT_EQ(::chmod(folder.File("source.wav").c_str(), 0644), 0);
    const auto writeEach = [&] {
        EXPECT_TRUE(ReplaceFileContents(folder.File("PIN.lst"), "list"));
        EXPECT_TRUE(AppendToFile(folder.File("error.log"), "entry"));
        EXPECT_TRUE(
            CopyFile(folder.File("source.wav"), folder.File("PIN.bak"), ExistingTarget::Overwrite));
        std::FILE* stream = OpenEmptiedStream(folder.File("m0000000.wav"));
        ASSERT_NE(stream, nullptr);
        std::fclose(stream);
    };
    const std::vector<std::string> files{"PIN.lst", "error.log", "PIN.bak", "m0000000.wav"};

    // The test runs on a single thread, so the umask changes for it alone.
    const mode_t previousMask = ::umask(0);
    writeEach();
    EXPECT_TRUE(CreateDirectory(folder.File("messages")));
    EXPECT_TRUE(CreateDirectories(folder.File("config/porthold")));
    ::umask(previousMask);
    for (const std::string& file : files) {
        EXPECT_EQ(ModeOf(folder.File(file)), 0600u) << file;
        ASSERT_EQ(::chmod(folder.File(file).c_str(), 0640), 0);
    }
    for (const char* subfolder : {"messages", "config", "config/porthold"}) {
        EXPECT_EQ(ModeOf(folder.File(subfolder)), 0700u) << subfolder;
    }

    writeEach();
    for (const std::string& file : files) {
        EXPECT_EQ(ModeOf(folder.File(file)), 0640u) << file;
    }
    EXPECT_EQ(folder.Read("PIN.bak"), "RIFF");
}

TEST(FileServices, AppendCreatesThenAppends) {
    TemporaryFolder folder;
    EXPECT_TRUE(AppendToFile(folder.File("error.log"), "one\r\n"));
    EXPECT_TRUE(AppendToFile(folder.File("error.log"), "two\r\n"));
    EXPECT_EQ(folder.Read("error.log"), "one\r\ntwo\r\n");
    EXPECT_FALSE(AppendToFile(folder.File("missing/error.log"), "x"));
}

}  // namespace
}  // namespace porthold::platform
