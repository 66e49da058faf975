#include "config/file_error_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "platform/virtual_clock.h"
#include "support/temporary_folder.h"

namespace porthold::config {
namespace {

using platform::LocalTime;

// "line 1\r\n" ... "line <count>\r\n", numbered from `first`.
std::string NumberedLines(int first, int last) {
    std::string text;
    for (int number = first; number <= last; ++number) {
        text += "line " + std::to_string(number) + "\r\n";
    }
    return text;
}

class FileErrorLogTest : public ::testing::Test {
protected:
    FileErrorLogTest() { settings.Path = folder.Path(); }

    bool Exists(const std::string& name) const {
        return std::filesystem::exists(folder.File(name));
    }

    testing::TemporaryFolder folder;
    Settings settings;
    platform::VirtualClock clock{LocalTime{2003, 7, 15, 0, 30, 0, 0}};
    FileErrorLog log{settings, clock};
};

TEST_F(FileErrorLogTest, EntriesCarryTheTwelveHourTimeAndEndInCarriageReturnLineFeed) {
    log.LogError("SetDefaults: Error setting registry value(s).");
    clock.Sleep((12 * 60 + 35) * 60 * 1000);  // 13:05
    log.LogError("");
    log.LogError("first\nsecond");

    EXPECT_EQ(folder.Read("error.log"),
              "07/15/2003 12:30 AM SetDefaults: Error setting registry value(s).\r\n"
              "07/15/2003 01:05 PM \r\n"
              "07/15/2003 01:05 PM first\r\nsecond\r\n");
}

TEST_F(FileErrorLogTest, TheFolderIsTakenFromPathAtEachEntry) {
    testing::TemporaryFolder other;
    std::FILE* fallback = std::fopen(folder.File("fallback").c_str(), "w");
    ASSERT_NE(fallback, nullptr);
    FileErrorLog fallingBackLog(settings, clock, fallback);
    fallingBackLog.LogError("before");
    settings.Path = other.Path();
    fallingBackLog.LogError("after");
    settings.Path = other.File("missing/");
    fallingBackLog.LogError("LoadCallers: missing/PIN.lst could not be created");
    std::fclose(fallback);

    EXPECT_EQ(folder.Read("error.log"), "07/15/2003 12:30 AM before\r\n");
    EXPECT_EQ(other.Read("error.log"), "07/15/2003 12:30 AM after\r\n");
    EXPECT_FALSE(std::filesystem::exists(other.File("missing")));
    EXPECT_EQ(folder.Read("fallback"),
              "07/15/2003 12:30 AM LoadCallers: missing/PIN.lst could not be created\r\n")
        << "an entry the file cannot take still reaches someone";
}

TEST_F(FileErrorLogTest, TrimmingWithoutALogCreatesNothing) {
    log.TrimErrorLog();
    EXPECT_FALSE(Exists("error.log"));
    EXPECT_FALSE(Exists("temp.log"));
}

TEST_F(FileErrorLogTest, LogsShorterThan199LinesAreLeftAlone) {
    for (const std::string& contents :
         {std::string(), NumberedLines(1, 198), NumberedLines(1, 197) + "cut short"}) {
        folder.Write("error.log", contents);
        log.TrimErrorLog();
        EXPECT_EQ(folder.Read("error.log"), contents);
        EXPECT_FALSE(Exists("temp.log"));
    }
}

TEST_F(FileErrorLogTest, TrimmingKeepsTheLast199LinesInOrder) {
    folder.Write("error.log", NumberedLines(1, 199));
    log.TrimErrorLog();
    EXPECT_EQ(folder.Read("error.log"), NumberedLines(1, 199));

    folder.Write("error.log", NumberedLines(1, 500));
    log.TrimErrorLog();
    EXPECT_EQ(folder.Read("error.log"), NumberedLines(302, 500));
    EXPECT_FALSE(Exists("temp.log"));

    // Entries written afterwards follow the kept ones.
    log.LogError("next");
    EXPECT_EQ(folder.Read("error.log"), NumberedLines(302, 500) + "07/15/2003 12:30 AM next\r\n");
}

TEST_F(FileErrorLogTest, ALastLineWithoutLineEndIsKeptAndEnded) {
    folder.Write("error.log", NumberedLines(1, 299) + "line 300");
    log.TrimErrorLog();
    EXPECT_EQ(folder.Read("error.log"), NumberedLines(102, 300));

    folder.Write("error.log", NumberedLines(1, 198) + "line 199");
    log.TrimErrorLog();
    EXPECT_EQ(folder.Read("error.log"), NumberedLines(1, 199));
}

TEST_F(FileErrorLogTest, LineBytesAreKeptAsTheyAre) {
    const std::string odd = "bare line feed\n\tindented \xE9\r\n";
    folder.Write("error.log", NumberedLines(1, 300) + odd);
    log.TrimErrorLog();
    EXPECT_EQ(folder.Read("error.log"), NumberedLines(104, 300) + odd);
}

TEST_F(FileErrorLogTest, AnEarlierTempLogIsReplacedAndRemoved) {
    folder.Write("temp.log", "left over from a crash\r\n");
    folder.Write("error.log", NumberedLines(1, 250));
    log.TrimErrorLog();
    EXPECT_EQ(folder.Read("error.log"), NumberedLines(52, 250));
    EXPECT_FALSE(Exists("temp.log"));
}

TEST_F(FileErrorLogTest, TheLogIsUntouchedWhenTempLogCannotBeWritten) {
    // A folder in its place cannot be replaced by a file.
    ASSERT_TRUE(platform::CreateDirectory(folder.File("temp.log")));
    folder.Write("error.log", NumberedLines(1, 250));
    log.TrimErrorLog();
    EXPECT_EQ(folder.Read("error.log"), NumberedLines(1, 250));
}

}  // namespace
}  // namespace porthold::config
