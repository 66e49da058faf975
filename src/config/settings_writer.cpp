#include "config/settings_writer.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "config/settings_key.h"

namespace porthold::config {

namespace {

using platform::ERROR_SUCCESS;
using platform::RegistryKey;

constexpr std::string_view kOpenFailedMessage = "SaveSettings: Failed to open registry key";
constexpr std::string_view kWriteFailedMessage = "SaveSettings: Error setting registry value(s).";
constexpr std::string_view kCloseFailedMessage = "SaveSettings: Failed to close registry key";

bool WriteNumber(platform::Registry& registry, RegistryKey key, std::string_view name,
                 std::uint32_t value) {
    std::array<std::uint8_t, 4> bytes{};
    std::memcpy(bytes.data(), &value, bytes.size());
    return registry.SetValue(key, name, platform::REG_DWORD, bytes.data(), bytes.size()) ==
           ERROR_SUCCESS;
}

bool WriteText(platform::Registry& registry, RegistryKey key, std::string_view name,
               const std::string& text) {
    // The byte count leaves out the terminating zero, as every writer of the
    // key does; readers stop at the count.
    return registry.SetValue(key, name, platform::REG_SZ,
                             reinterpret_cast<const std::uint8_t*>(text.data()),
                             static_cast<std::uint32_t>(text.size())) == ERROR_SUCCESS;
}

bool WriteValues(const Settings& values, platform::Registry& registry, RegistryKey key) {
    bool allWritten = true;
    auto number = [&](std::string_view name, std::uint32_t value) {
        allWritten = WriteNumber(registry, key, name, value) && allWritten;
    };
    auto text = [&](std::string_view name, const std::string& value) {
        allWritten = WriteText(registry, key, name, value) && allWritten;
    };
    number(kRingsAnswerValue, values.RingsAnswer);
    number(kRingsMessageValue, static_cast<std::uint32_t>(values.RingsMessage));
    number(kSilenceLevelValue, static_cast<std::uint32_t>(values.SilenceLevel));
    number(kUseSitToneValue, values.UseSitTone ? 1u : 0u);
    text(kGreetingValue, values.Greeting);
    text(kRecordMsgValue, values.RecordMsg);
    text(kValidPinValue, values.ValidPIN);
    text(kInvalidPinValue, values.InvalidPIN);
    text(kBeepValue, values.Beep);
    text(kNoAnswerValue, values.NoAnswer);
    text(kRemotePinValue, values.RemotePIN);
    return allWritten;
}

}  // namespace

bool SaveSettings(const Settings& values, platform::Registry& registry, ErrorLog& errorLog) {
    RegistryKey key = 0;
    // Opened, not created: start-up has created the key, and a key that has
    // gone since is left for the reload to restore.
    if (registry.OpenKey(platform::HKEY_LOCAL_MACHINE, kSettingsKeyName, 0,
                         platform::KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        errorLog.LogError(kOpenFailedMessage);
        return false;
    }
    bool saved = WriteValues(values, registry, key);
    if (!saved) {
        errorLog.LogError(kWriteFailedMessage);
    }
    if (registry.CloseKey(key) != ERROR_SUCCESS) {
        errorLog.LogError(kCloseFailedMessage);
        saved = false;
    }
    return saved;
}

}  // namespace porthold::config
