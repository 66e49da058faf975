#include <gtest/gtest.h>

#include <string>

#include "config/settings_key.h"
#include "config/settings_registry.h"
#include "platform/file_registry.h"
#include "platform/files.h"
#include "support/fake_environment.h"
#include "support/recording_error_log.h"
#include "support/scripted_message_boxes.h"
#include "support/temporary_folder.h"

namespace porthold::config {
namespace {

// The settings round trip through the registry file the program really uses:
// what a first start writes, the next start reads back without a question.
TEST(SettingsInRegistryFile, FirstStartWritesWhatTheNextStartReadsBack) {
    testing::TemporaryFolder folder;
    testing::FakeEnvironment environment;
    environment.currentDirectory = folder.Path() + "program";
    testing::ScriptedMessageBoxes messageBoxes;
    testing::RecordingErrorLog errorLog;
    const std::string registryFile = folder.File("registry.reg");

    Settings first;
    {
        platform::FileRegistry registry(registryFile);
        SettingsRegistry settingsRegistry(first, registry, messageBoxes, errorLog, environment);
        EXPECT_TRUE(settingsRegistry.LoadOrCreateSettings());
    }
    ASSERT_TRUE(platform::FileExists(registryFile));

    // The settings dialog changes a value between the two starts.
    {
        platform::FileRegistry registry(registryFile);
        platform::RegistryKey key = 0;
        ASSERT_EQ(registry.OpenKey(platform::HKEY_LOCAL_MACHINE, kSettingsKeyName, 0,
                                   platform::KEY_ALL_ACCESS, &key),
                  platform::ERROR_SUCCESS);
        const std::string longest(259, 'x');
        registry.SetValue(key, kGreetingValue, platform::REG_SZ,
                          reinterpret_cast<const std::uint8_t*>(longest.data()),
                          static_cast<std::uint32_t>(longest.size()));
        registry.CloseKey(key);
    }

    Settings second;
    platform::FileRegistry registry(registryFile);
    SettingsRegistry settingsRegistry(second, registry, messageBoxes, errorLog, environment);
    EXPECT_TRUE(settingsRegistry.LoadOrCreateSettings());

    EXPECT_EQ(second.Path, folder.Path() + "program/");
    EXPECT_EQ(second.Greeting, std::string(259, 'x'));
    EXPECT_EQ(second.NoAnswer, first.NoAnswer);
    EXPECT_EQ(second.RemotePIN, "958");
    EXPECT_EQ(second.RingsMessage, 4);
    EXPECT_TRUE(messageBoxes.shown().empty());
    EXPECT_TRUE(errorLog.lines.empty());
}

}  // namespace
}  // namespace porthold::config
