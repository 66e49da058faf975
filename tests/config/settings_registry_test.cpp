#include "config/settings_registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings_key.h"
#include "support/fake_environment.h"
#include "support/fake_registry.h"
#include "support/recording_error_log.h"
#include "support/scripted_message_boxes.h"

namespace porthold::config {
namespace {

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::REG_DWORD;
using platform::REG_SZ;
using porthold::testing::RegistryCall;
using porthold::testing::RegistryOperation;
using ::testing::ElementsAre;

constexpr std::string_view kKey = kSettingsKeyName;
constexpr const char* kWriteFailed = "SetDefaults: Error setting registry value(s).";
constexpr const char* kCloseFailed = "SetDefaults: Failed to close registry key";
constexpr const char* kStoredPath = "/srv/porthold/";

std::vector<std::string> CalledNames(const std::vector<RegistryCall>& calls,
                                     RegistryOperation operation) {
    std::vector<std::string> names;
    for (const RegistryCall& call : calls) {
        if (call.operation == operation) {
            names.push_back(call.name);
        }
    }
    return names;
}

const std::vector<std::string> kWritingOrder{
    "RingsAnswer", "RingsMessage", "SilenceLevel", "UseSitTone", "Greeting", "Path",
    "RecordMsg",   "ValidPIN",     "InvalidPIN",   "Beep",       "NoAnswer", "RemotePIN"};

class SettingsRegistryTest : public ::testing::Test {
protected:
    SettingsRegistryTest() { environment.currentDirectory = "/home/owner/porthold"; }

    // A complete key holding values that differ from every default.
    void StoreAllValues() {
        registry.PutNumber(kKey, "RingsAnswer", 3);
        registry.PutNumber(kKey, "RingsMessage", 5);
        registry.PutNumber(kKey, "SilenceLevel", 40);
        registry.PutNumber(kKey, "UseSitTone", 1);
        registry.PutText(kKey, "Path", kStoredPath);
        registry.PutText(kKey, "Greeting", "/music/hello.wav");
        registry.PutText(kKey, "RecordMsg", "/music/record.wav");
        registry.PutText(kKey, "ValidPIN", "/music/valid.wav");
        registry.PutText(kKey, "InvalidPIN", "/music/invalid.wav");
        registry.PutText(kKey, "Beep", "/music/beep.wav");
        registry.PutText(kKey, "NoAnswer", "/music/no_answer.wav");
        registry.PutText(kKey, "RemotePIN", "4711");
    }

    void ExpectDefaultsInMemory(const std::string& path) {
        EXPECT_EQ(settings.RingsAnswer, 1u);
        EXPECT_EQ(settings.RingsMessage, 4);
        EXPECT_EQ(settings.SilenceLevel, 0);
        EXPECT_FALSE(settings.UseSitTone);
        EXPECT_EQ(settings.Path, path);
        EXPECT_EQ(settings.Greeting, path + "sounds/default_greeting.wav");
        EXPECT_EQ(settings.RecordMsg, path + "sounds/default_message_prompt.wav");
        EXPECT_EQ(settings.ValidPIN, path + "sounds/default_valid_pin.wav");
        EXPECT_EQ(settings.InvalidPIN, path + "sounds/default_invalid_pin.wav");
        EXPECT_EQ(settings.Beep, path + "sounds/default_beep.wav");
        EXPECT_EQ(settings.NoAnswer, path + "sounds/default_no_answer.wav");
        EXPECT_EQ(settings.RemotePIN, "958");
    }

    testing::FakeRegistry registry;
    testing::ScriptedMessageBoxes messageBoxes;
    testing::RecordingErrorLog errorLog;
    testing::FakeEnvironment environment;
    Settings settings;
    SettingsRegistry settingsRegistry{settings, registry, messageBoxes, errorLog, environment};
};

TEST_F(SettingsRegistryTest, FirstStartWritesAllTwelveDefaultsInOrder) {
    EXPECT_TRUE(settingsRegistry.LoadOrCreateSettings());

    const std::string path = "/home/owner/porthold/";
    ExpectDefaultsInMemory(path);
    EXPECT_EQ(registry.ValueCount(kKey), 12u);
    EXPECT_EQ(registry.Number(kKey, "RingsAnswer"), 1u);
    EXPECT_EQ(registry.Number(kKey, "RingsMessage"), 4u);
    EXPECT_EQ(registry.Number(kKey, "SilenceLevel"), 0u);
    EXPECT_EQ(registry.Number(kKey, "UseSitTone"), 0u);
    EXPECT_EQ(registry.Text(kKey, "Path"), path);
    EXPECT_EQ(registry.Text(kKey, "Greeting"), path + "sounds/default_greeting.wav");
    EXPECT_EQ(registry.Text(kKey, "NoAnswer"), path + "sounds/default_no_answer.wav");
    EXPECT_EQ(registry.Text(kKey, "RemotePIN"), "958");
    EXPECT_TRUE(messageBoxes.shown().empty());
    EXPECT_TRUE(errorLog.lines.empty());
    EXPECT_EQ(registry.OpenHandleCount(), 0u);

    // Written in order, text lengths without the terminating zero.
    const auto& calls = registry.calls();
    ASSERT_EQ(calls.size(), 15u);
    EXPECT_EQ(calls[0].operation, RegistryOperation::OpenKey);
    EXPECT_EQ(calls[0].name, kKey);
    EXPECT_EQ(calls[1].operation, RegistryOperation::CreateKey);
    EXPECT_EQ(calls[1].name, kKey);
    EXPECT_EQ(CalledNames(calls, RegistryOperation::SetValue), kWritingOrder);
    for (std::size_t index = 2; index < 14; ++index) {
        const RegistryCall& call = calls[index];
        if (index < 6) {
            EXPECT_EQ(call.type, REG_DWORD) << call.name;
            EXPECT_EQ(call.size, 4u) << call.name;
        } else {
            EXPECT_EQ(call.type, REG_SZ) << call.name;
            EXPECT_EQ(call.size, registry.Text(kKey, call.name)->size()) << call.name;
        }
    }
    EXPECT_EQ(calls[14].operation, RegistryOperation::CloseKey);
    EXPECT_EQ(calls[14].key, calls[2].key);
}

TEST_F(SettingsRegistryTest, ProgramFolderEndsInExactlyOneSlash) {
    environment.currentDirectory = "/";
    settingsRegistry.SetDefaults();
    EXPECT_EQ(settings.Path, "/");
    EXPECT_EQ(settings.Beep, "/sounds/default_beep.wav");

    environment.currentDirectory = "/opt/porthold/";
    settingsRegistry.SetDefaults();
    EXPECT_EQ(settings.Path, "/opt/porthold/");
}

TEST_F(SettingsRegistryTest, LoadReadsEveryValueInOrderAndClosesTheKey) {
    StoreAllValues();

    EXPECT_TRUE(settingsRegistry.LoadOrCreateSettings());

    EXPECT_EQ(settings.RingsAnswer, 3u);
    EXPECT_EQ(settings.RingsMessage, 5);
    EXPECT_EQ(settings.SilenceLevel, 40);
    EXPECT_TRUE(settings.UseSitTone);
    EXPECT_EQ(settings.Path, kStoredPath);
    EXPECT_EQ(settings.Greeting, "/music/hello.wav");
    EXPECT_EQ(settings.RecordMsg, "/music/record.wav");
    EXPECT_EQ(settings.ValidPIN, "/music/valid.wav");
    EXPECT_EQ(settings.InvalidPIN, "/music/invalid.wav");
    EXPECT_EQ(settings.Beep, "/music/beep.wav");
    EXPECT_EQ(settings.NoAnswer, "/music/no_answer.wav");
    EXPECT_EQ(settings.RemotePIN, "4711");

    EXPECT_THAT(CalledNames(registry.calls(), RegistryOperation::QueryValue),
                ElementsAre("RingsAnswer", "RingsMessage", "SilenceLevel", "UseSitTone", "Path",
                            "RecordMsg", "Greeting", "ValidPIN", "InvalidPIN", "Beep", "NoAnswer",
                            "RemotePIN"));
    for (const RegistryCall& call : registry.calls()) {
        if (call.operation == RegistryOperation::QueryValue) {
            EXPECT_EQ(call.size, call.name.starts_with("Rings") || call.name == "SilenceLevel" ||
                                         call.name == "UseSitTone"
                                     ? 4u
                                     : 260u)
                << call.name;
        }
    }
    EXPECT_EQ(registry.calls().back().operation, RegistryOperation::CloseKey);
    EXPECT_TRUE(CalledNames(registry.calls(), RegistryOperation::SetValue).empty());
    EXPECT_TRUE(messageBoxes.shown().empty());
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(SettingsRegistryTest, NumbersAtTheEndsOfTheirRangesAreUsedAndOnlyOneTurnsTheSitToneOn) {
    StoreAllValues();
    registry.PutNumber(kKey, "RingsAnswer", 6);
    registry.PutNumber(kKey, "RingsMessage", 1);
    registry.PutNumber(kKey, "SilenceLevel", 100);
    registry.PutNumber(kKey, "UseSitTone", 2);

    EXPECT_TRUE(settingsRegistry.LoadOrCreateSettings());
    EXPECT_EQ(settings.RingsAnswer, 6u);
    EXPECT_EQ(settings.RingsMessage, 1);
    EXPECT_EQ(settings.SilenceLevel, 100);
    EXPECT_FALSE(settings.UseSitTone);
    EXPECT_TRUE(messageBoxes.shown().empty());
    EXPECT_TRUE(errorLog.lines.empty());
}

// A hand-edited key must not leave the program never answering without a word.
TEST_F(SettingsRegistryTest, NumbersOfAnotherTypeOrOutsideTheirRangeAreLoggedAndCountAsMissing) {
    StoreAllValues();
    // Short enough to fit the four bytes of a number.
    registry.PutText(kKey, "RingsAnswer", "3");
    registry.PutNumber(kKey, "RingsMessage", 0);
    registry.PutNumber(kKey, "SilenceLevel", 0xFFFFFFFF);
    registry.PutText(kKey, "UseSitTone", "always");
    messageBoxes.QueueAnswer(MessageBoxAnswer::No);

    EXPECT_FALSE(settingsRegistry.LoadOrCreateSettings());

    EXPECT_THAT(errorLog.lines, ElementsAre("Setting RingsAnswer is not a number.",
                                            "Setting RingsMessage is outside 1-6.",
                                            "Setting SilenceLevel is outside 0-100.",
                                            "Setting UseSitTone is not a number."));
    ASSERT_EQ(messageBoxes.shown().size(), 2u);
    EXPECT_EQ(messageBoxes.shown()[0].buttons, MessageBoxButtons::YesNo);
    EXPECT_EQ(settings.RingsAnswer, 1u);
    EXPECT_EQ(settings.RingsMessage, 4);
    EXPECT_EQ(settings.SilenceLevel, 0);
    EXPECT_FALSE(settings.UseSitTone);
    EXPECT_EQ(settings.RemotePIN, "4711");
}

TEST_F(SettingsRegistryTest, AnsweringNoKeepsReadableValuesAndFallsBackForTheOthers) {
    StoreAllValues();
    registry.RemoveValue(kKey, "RingsMessage");
    registry.RemoveValue(kKey, "Greeting");
    registry.RemoveValue(kKey, "RemotePIN");
    messageBoxes.QueueAnswer(MessageBoxAnswer::No);

    EXPECT_FALSE(settingsRegistry.LoadOrCreateSettings());

    ASSERT_EQ(messageBoxes.shown().size(), 2u);
    const auto& question = messageBoxes.shown()[0];
    EXPECT_EQ(question.text,
              "Error encountered while retrieving saved settings.\n\nRestore default settings?");
    EXPECT_EQ(question.caption, "Porthold");
    EXPECT_EQ(question.buttons, MessageBoxButtons::YesNo);
    EXPECT_EQ(question.icon, MessageBoxIcon::Question);
    const auto& notice = messageBoxes.shown()[1];
    EXPECT_EQ(notice.text, "To maintain functionality, some default values will be used.");
    EXPECT_EQ(notice.caption, "Porthold");
    EXPECT_EQ(notice.icon, MessageBoxIcon::Information);

    EXPECT_EQ(settings.RingsMessage, 4);
    EXPECT_EQ(settings.Greeting, std::string(kStoredPath) + "sounds/default_greeting.wav");
    EXPECT_EQ(settings.RemotePIN, "958");
    EXPECT_EQ(settings.RingsAnswer, 3u);
    EXPECT_EQ(settings.Path, kStoredPath);
    EXPECT_EQ(settings.RecordMsg, "/music/record.wav");
    EXPECT_TRUE(CalledNames(registry.calls(), RegistryOperation::SetValue).empty());
    EXPECT_EQ(registry.ValueCount(kKey), 9u);
    EXPECT_TRUE(errorLog.lines.empty());
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(SettingsRegistryTest, MissingPathFallsBackOnTheWorkingDirectoryForTheSoundsToo) {
    StoreAllValues();
    registry.RemoveValue(kKey, "Path");
    registry.RemoveValue(kKey, "Beep");
    messageBoxes.QueueAnswer(MessageBoxAnswer::No);

    settingsRegistry.LoadOrCreateSettings();

    EXPECT_EQ(settings.Path, "/home/owner/porthold/");
    EXPECT_EQ(settings.Beep, "/home/owner/porthold/sounds/default_beep.wav");
    EXPECT_EQ(settings.NoAnswer, "/music/no_answer.wav");
}

TEST_F(SettingsRegistryTest, AnsweringYesRewritesAllTwelveValues) {
    StoreAllValues();
    registry.RemoveValue(kKey, "SilenceLevel");
    messageBoxes.QueueAnswer(MessageBoxAnswer::Yes);

    EXPECT_FALSE(settingsRegistry.LoadOrCreateSettings());

    ASSERT_EQ(messageBoxes.shown().size(), 1u);
    ExpectDefaultsInMemory("/home/owner/porthold/");
    EXPECT_EQ(registry.ValueCount(kKey), 12u);
    EXPECT_EQ(registry.Number(kKey, "RingsAnswer"), 1u);
    EXPECT_EQ(registry.Number(kKey, "SilenceLevel"), 0u);
    EXPECT_EQ(registry.Text(kKey, "Path"), "/home/owner/porthold/");
    EXPECT_EQ(registry.Text(kKey, "RemotePIN"), "958");

    // The defaults are written through a key of their own, closed before the
    // key that was read.
    const auto& calls = registry.calls();
    ASSERT_GE(calls.size(), 3u);
    const RegistryCall& openedForReading = calls.front();
    EXPECT_EQ(openedForReading.operation, RegistryOperation::OpenKey);
    EXPECT_EQ(calls[13].operation, RegistryOperation::CreateKey);
    EXPECT_EQ(CalledNames(calls, RegistryOperation::SetValue), kWritingOrder);
    EXPECT_EQ(calls[calls.size() - 2].operation, RegistryOperation::CloseKey);
    EXPECT_EQ(calls.back().operation, RegistryOperation::CloseKey);
    EXPECT_NE(calls[calls.size() - 2].key, calls.back().key);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
    EXPECT_TRUE(errorLog.lines.empty());
}

TEST_F(SettingsRegistryTest, TextOf259CharactersIsReadWholeAndALongerOneFallsBack) {
    StoreAllValues();
    const std::string longest(259, 'g');
    registry.PutText(kKey, "Greeting", longest);
    registry.PutText(kKey, "RemotePIN",
                     std::string("12\0"
                                 "34",
                                 5));

    EXPECT_TRUE(settingsRegistry.LoadOrCreateSettings());
    EXPECT_EQ(settings.Greeting, longest);
    EXPECT_EQ(settings.RemotePIN, "12");

    registry.PutText(kKey, "Greeting", longest + "g");
    messageBoxes.QueueAnswer(MessageBoxAnswer::No);
    EXPECT_FALSE(settingsRegistry.LoadOrCreateSettings());
    EXPECT_EQ(settings.Greeting, std::string(kStoredPath) + "sounds/default_greeting.wav");
    EXPECT_EQ(messageBoxes.shown().size(), 2u);
}

TEST_F(SettingsRegistryTest, FailedWritesAreLoggedOnceAndTheDefaultsStillApply) {
    StoreAllValues();
    registry.FailCalls(RegistryOperation::SetValue, platform::ERROR_ACCESS_DENIED, "RingsAnswer");
    registry.FailCalls(RegistryOperation::SetValue, platform::ERROR_ACCESS_DENIED, "RemotePIN");

    EXPECT_FALSE(settingsRegistry.SetDefaults());

    EXPECT_THAT(errorLog.lines, ElementsAre(kWriteFailed));
    EXPECT_EQ(CalledNames(registry.calls(), RegistryOperation::SetValue), kWritingOrder);
    ExpectDefaultsInMemory("/home/owner/porthold/");
    EXPECT_EQ(registry.Number(kKey, "RingsAnswer"), 3u);
    EXPECT_EQ(registry.Number(kKey, "RingsMessage"), 4u);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(SettingsRegistryTest, KeyThatCannotBeCreatedFailsEveryWriteAndTheClose) {
    registry.FailCalls(RegistryOperation::CreateKey, platform::ERROR_ACCESS_DENIED);

    EXPECT_FALSE(settingsRegistry.LoadOrCreateSettings());

    EXPECT_THAT(errorLog.lines, ElementsAre(kWriteFailed, kCloseFailed));
    EXPECT_EQ(CalledNames(registry.calls(), RegistryOperation::SetValue).size(), 12u);
    EXPECT_FALSE(registry.HasKey(kKey));
    ExpectDefaultsInMemory("/home/owner/porthold/");
}

TEST_F(SettingsRegistryTest, FailedClosingIsLoggedByBothOperations) {
    StoreAllValues();
    registry.FailCalls(RegistryOperation::CloseKey, platform::ERROR_INVALID_HANDLE, {}, 1);
    EXPECT_FALSE(settingsRegistry.LoadOrCreateSettings());
    EXPECT_THAT(errorLog.lines, ElementsAre(kCloseFailed));
    EXPECT_EQ(settings.RemotePIN, "4711");
    EXPECT_TRUE(messageBoxes.shown().empty());

    errorLog.lines.clear();
    registry.FailCalls(RegistryOperation::CloseKey, platform::ERROR_INVALID_HANDLE, {}, 1);
    EXPECT_FALSE(settingsRegistry.SetDefaults());
    EXPECT_THAT(errorLog.lines, ElementsAre(kCloseFailed));
    EXPECT_EQ(registry.Text(kKey, "RemotePIN"), "958");
}

TEST_F(SettingsRegistryTest, LoadingLeavesTheStartUpFoldersAlone) {
    StoreAllValues();
    settingsRegistry.LoadOrCreateSettings();
    settings.DeriveFolders();

    registry.PutText(kKey, "Path", "/elsewhere/");
    settingsRegistry.LoadOrCreateSettings();
    settingsRegistry.SetDefaults();

    EXPECT_EQ(settings.messagesFolder, std::string(kStoredPath) + "messages/");
    EXPECT_EQ(settings.soundsFolder, std::string(kStoredPath) + "sounds/");
}

}  // namespace
}  // namespace porthold::config
