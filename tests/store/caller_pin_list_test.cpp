#include "store/caller_pin_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "store_test_support.h"
#include "support/temporary_folder.h"

namespace porthold::store {
namespace {

using porthold::testing::FileSizeLimit;
using porthold::testing::Golden;
using porthold::testing::TemporaryFolder;
using Rows = std::vector<std::vector<std::string>>;

Rows Records(const CallerPinList& list) {
    Rows rows;
    for (int index = 0; index < list.NodeCount(); ++index) {
        std::string pin, message, sound;
        list.GetNode(index, pin, message, sound);
        rows.push_back({pin, message, sound});
    }
    return rows;
}

class CallerPinListTest : public ::testing::Test {
protected:
    // Loads a golden file as the program folder's "PIN.lst".
    void LoadGolden(const std::string& name) {
        folder_.Write("PIN.lst", Golden(name));
        ASSERT_TRUE(list_.LoadList());
    }

    TemporaryFolder folder_;
    CallerPinList list_{folder_.Path()};
};

TEST_F(CallerPinListTest, ReadsHandMadeFilesLineByLine) {
    const struct {
        const char* file;
        Rows records;
    } cases[] = {
        {"header_only.lst", {}},
        {"pin_one_line.lst", {}},
        {"pin_quirky.lst",
         {{"111", "Bare LF message", "a.wav"},
          {"222", "", "b.wav"},
          {"333", "lone \r inside", ""},
          {"", "", ""}}},
        {"pin_ends_after_pin.lst", {{"111", "msg", "a.wav"}, {"222", "", ""}}},
        {"pin_unterminated_pin.lst", {{"111", "msg", "a.wav"}}},
        {"pin_unterminated_message.lst", {{"111", "partial msg", ""}}},
        {"pin_unterminated_sound.lst", {{"111", "msg", "last.wav"}}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.file);
        LoadGolden(test.file);
        EXPECT_EQ(Records(list_), test.records);
    }
}

TEST_F(CallerPinListTest, SaveWritesBothFilesInTheCanonicalForm) {
    ASSERT_TRUE(list_.SaveList());
    EXPECT_EQ(folder_.Read("PIN.lst"), Golden("header_only.lst"));
    EXPECT_EQ(folder_.Read("PIN.bak"), Golden("header_only.lst"));

    // Spaces, empty fields and 8-bit text come back byte for byte.
    LoadGolden("pin_canonical.lst");
    ASSERT_TRUE(list_.SaveList());
    EXPECT_EQ(folder_.Read("PIN.lst"), Golden("pin_canonical.lst"));
    EXPECT_EQ(folder_.Read("PIN.bak"), Golden("pin_canonical.lst"));

    LoadGolden("pin_quirky.lst");
    ASSERT_TRUE(list_.SaveList());
    EXPECT_EQ(folder_.Read("PIN.lst"), Golden("pin_quirky.saved.lst"));
}

TEST_F(CallerPinListTest, LookupsTakeTheFirstExactMatch) {
    LoadGolden("pin_canonical.lst");
    std::string message = "untouched", sound = "untouched";
    EXPECT_FALSE(list_.FindPin("123", message, sound));
    EXPECT_FALSE(list_.FindPin("42", message, sound));
    EXPECT_EQ(message + sound, "untoucheduntouched");
    EXPECT_TRUE(list_.FindPin("1234", message, sound));
    EXPECT_EQ(message, "Mom is calling ");
    EXPECT_FALSE(list_.IsPinFree("  42"));
    EXPECT_TRUE(list_.IsPinFree("42"));

    ASSERT_TRUE(list_.UpdateNode("1234", "5678", "updated", ""));
    EXPECT_EQ(Records(list_)[0], (std::vector<std::string>{"5678", "updated", ""}));
    EXPECT_EQ(Records(list_)[2][0], "1234");

    ASSERT_TRUE(list_.RemoveNode("1234"));
    EXPECT_TRUE(list_.IsPinFree("1234"));
    EXPECT_EQ(list_.NodeCount(), 2);
}

TEST_F(CallerPinListTest, EditsKeepPositionsAndFailWithoutAMatch) {
    list_.AddNode("1", "a", "");
    list_.AddNode("2", "b", "");
    list_.AddNode("3", "c", "");
    ASSERT_TRUE(list_.UpdateNode("2", "9", "changed", "x.wav"));
    EXPECT_FALSE(list_.UpdateNode("2", "8", "", ""));
    EXPECT_FALSE(list_.RemoveNode("4"));
    const Rows expected{{"1", "a", ""}, {"9", "changed", "x.wav"}, {"3", "c", ""}};
    EXPECT_EQ(Records(list_), expected);

    ASSERT_TRUE(list_.SaveList());
    CallerPinList reloaded(folder_.Path());
    ASSERT_TRUE(reloaded.LoadList());
    EXPECT_EQ(Records(reloaded), expected);

    std::string pin = "kept", message, sound;
    EXPECT_FALSE(list_.GetNode(3, pin, message, sound));
    EXPECT_FALSE(list_.GetNode(-1, pin, message, sound));
    EXPECT_EQ(pin, "kept");

    list_.ClearList();
    EXPECT_EQ(list_.NodeCount(), 0);
    EXPECT_FALSE(list_.RemoveNode("1"));
}

TEST_F(CallerPinListTest, LoadFallsBackToTheBackup) {
    EXPECT_FALSE(list_.LoadList());

    folder_.Write("PIN.bak", Golden("pin_unterminated_sound.lst"));
    ASSERT_TRUE(list_.LoadList());
    EXPECT_EQ(Records(list_), (Rows{{"111", "msg", "last.wav"}}));

    folder_.Write("PIN.lst", Golden("pin_ends_after_pin.lst"));
    ASSERT_TRUE(list_.LoadList());
    EXPECT_EQ(list_.NodeCount(), 2);
}

TEST_F(CallerPinListTest, FailedSavesLeaveTheOldFiles) {
    LoadGolden("pin_canonical.lst");
    folder_.Write("PIN.bak", Golden("pin_canonical.lst"));
    list_.AddNode("7", std::string(4000, 'x'), "");
    {
        FileSizeLimit limit(64);
        EXPECT_FALSE(list_.SaveList());
    }
    EXPECT_EQ(folder_.Read("PIN.lst"), Golden("pin_canonical.lst"));
    EXPECT_EQ(folder_.Read("PIN.bak"), Golden("pin_canonical.lst"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()), {}), 2)
        << "temporary file left behind";

    // "PIN.lst" cannot be replaced: the backup must not run ahead of it.
    std::filesystem::remove(folder_.File("PIN.lst"));
    std::filesystem::create_directory(folder_.File("PIN.lst"));
    EXPECT_FALSE(list_.SaveList());
    EXPECT_EQ(folder_.Read("PIN.bak"), Golden("pin_canonical.lst"));

    // A backup that cannot be written does not fail the save.
    std::filesystem::remove(folder_.File("PIN.lst"));
    std::filesystem::remove(folder_.File("PIN.bak"));
    std::filesystem::create_directory(folder_.File("PIN.bak"));
    list_.ClearList();
    EXPECT_TRUE(list_.SaveList());
    EXPECT_EQ(folder_.Read("PIN.lst"), Golden("header_only.lst"));
}

TEST_F(CallerPinListTest, FolderBelowARegularFileCannotBeUsed) {
    folder_.Write("plain", "");
    CallerPinList list(folder_.File("plain") + "/");
    EXPECT_FALSE(list.SaveList());
    EXPECT_FALSE(list.LoadList());
}

}  // namespace
}  // namespace porthold::store
