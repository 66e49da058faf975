#include "store/message_list.h"

#include <gtest/gtest.h>

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

// Each record as path, pin, date-time and "1" or "0" for new.
Rows Records(const MessageList& list) {
    Rows rows;
    for (int index = 0; index < list.NodeCount(); ++index) {
        std::string path, pin, dateTime;
        bool isNew = false;
        list.GetNode(index, path, pin, dateTime, isNew);
        rows.push_back({path, pin, dateTime, isNew ? "1" : "0"});
    }
    return rows;
}

class MessageListTest : public ::testing::Test {
protected:
    void LoadGolden(const std::string& name) {
        folder_.Write("messages.lst", Golden(name));
        ASSERT_TRUE(list_.LoadList());
    }

    void Add(const std::string& path, const std::string& pin) {
        ASSERT_TRUE(list_.AddNode(path, pin, "01/01/2020 09:00 AM", MessageStatus::New));
    }

    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (const auto& row : Records(list_)) {
            paths.push_back(row[0] + " " + row[1] + " " + row[3]);
        }
        return paths;
    }

    TemporaryFolder folder_;
    MessageList list_{folder_.Path()};
};

TEST_F(MessageListTest, ReadsHandMadeFilesLineByLine) {
    const struct {
        const char* file;
        Rows records;
    } cases[] = {
        {"header_only.lst", {}},
        {"messages_cut_short.lst",
         {{"/m/m0000000.wav", "1", "d", "0"}, {"/m/m0000001.wav", "77", "", "1"}}},
        {"messages_unterminated_is_new.lst", {{"/m/m0000000.wav", "1", "d", "0"}}},
        {"messages_unterminated_path.lst", {{"/m/m0000000.wav", "1", "d", "0"}}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.file);
        LoadGolden(test.file);
        EXPECT_EQ(Records(list_), test.records);
    }
    // Other headers, mixed line ends and every kind of isNew line.
    LoadGolden("messages_quirky.lst");
    ASSERT_TRUE(list_.SaveList());
    EXPECT_EQ(folder_.Read("messages.lst"), Golden("messages_quirky.saved.lst"));
}

TEST_F(MessageListTest, LoadAndSaveKeepTheBytes) {
    ASSERT_TRUE(list_.SaveList());
    EXPECT_EQ(folder_.Read("messages.lst"), Golden("header_only.lst"));

    LoadGolden("messages_canonical.lst");
    ASSERT_TRUE(list_.SaveList());
    EXPECT_EQ(folder_.Read("messages.lst"), Golden("messages_canonical.lst"));
}

TEST_F(MessageListTest, MarkHeardFindsTheMessageByFileNameAndIsSaved) {
    LoadGolden("messages_canonical.lst");
    EXPECT_EQ(list_.CountNew(), 2);
    EXPECT_FALSE(list_.MarkHeard("/elsewhere/m0000009.wav"));
    ASSERT_TRUE(list_.MarkHeard("/elsewhere/m0000002.wav"));
    EXPECT_EQ(list_.CountNew(), 1);

    ASSERT_TRUE(list_.SaveList());
    std::string expected = Golden("messages_canonical.lst");
    expected.replace(expected.size() - 3, 1, "0");
    EXPECT_EQ(folder_.Read("messages.lst"), expected);
}

TEST_F(MessageListTest, DeleteNodeShiftsThePositions) {
    EXPECT_FALSE(list_.DeleteNode("/m/m0000000.wav"));
    LoadGolden("messages_canonical.lst");
    ASSERT_TRUE(list_.DeleteNode("m0000000.wav"));
    std::string path = "kept";
    EXPECT_TRUE(list_.GetPath(0, path));
    EXPECT_EQ(path, "/home/user/porthold/messages/m0000001.wav");

    ASSERT_TRUE(list_.DeleteNode("/x/m0000002.wav"));
    EXPECT_EQ(list_.NodeCount(), 1);
    path = "kept";
    EXPECT_FALSE(list_.GetPath(1, path));
    EXPECT_FALSE(list_.GetPath(-1, path));
    EXPECT_EQ(path, "kept");
    Add("/m/m0000003.wav", "");
    EXPECT_TRUE(list_.GetPath(1, path));
    EXPECT_EQ(path, "/m/m0000003.wav");
}

TEST_F(MessageListTest, SearchTakesTheFirstMatchAndSkipsPathsWithoutWav) {
    Add("/m/notes.txt", "1");
    Add("/m/m0000001.wav", "2");
    Add("/other/m0000001.wav", "3");
    Add("/m/xa.wav", "4");
    Add("a.wav", "5");

    EXPECT_FALSE(list_.MarkHeard("/m/notes.txt"));
    ASSERT_TRUE(list_.MarkHeard("/m/m0000001.wav"));
    ASSERT_TRUE(list_.DeleteNode("/m/m0000001.wav"));
    // A name shorter than eight characters matches only itself, not every
    // path ending in it.
    ASSERT_TRUE(list_.DeleteNode("a.wav"));
    const std::vector<std::string> expected{"/m/notes.txt 1 1", "/other/m0000001.wav 3 1",
                                            "/m/xa.wav 4 1"};
    EXPECT_EQ(Paths(), expected);
}

TEST_F(MessageListTest, FailedSavesLeaveTheOldFile) {
    LoadGolden("messages_canonical.lst");
    Add("/m/m0000003.wav", std::string(4000, '1'));
    {
        FileSizeLimit limit(64);
        EXPECT_FALSE(list_.SaveList());
    }
    EXPECT_EQ(folder_.Read("messages.lst"), Golden("messages_canonical.lst"));
    EXPECT_TRUE(list_.SaveList());

    folder_.Write("plain", "");
    MessageList unusable(folder_.File("plain") + "/");
    EXPECT_FALSE(unusable.SaveList());
    EXPECT_FALSE(unusable.LoadList());
}

}  // namespace
}  // namespace porthold::store
