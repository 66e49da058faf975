#include "config/settings_registry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "config/settings_key.h"

namespace porthold::config {

using platform::ERROR_SUCCESS;
using platform::HKEY_LOCAL_MACHINE;
using platform::KEY_ALL_ACCESS;
using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::REG_DWORD;
using platform::REG_OPTION_NON_VOLATILE;
using platform::REG_SZ;
using platform::RegistryKey;

namespace {

// Text values are read into a buffer of this many bytes, terminating zero
// included, so the longest text that can be read back is one byte shorter.
constexpr std::uint32_t kTextBufferSize = 260;

constexpr std::string_view kSoundsSubfolder = "sounds/";

constexpr std::string_view kRestoreQuestion =
    "Error encountered while retrieving saved settings.\n\nRestore default settings?";
constexpr std::string_view kFallbackNotice =
    "To maintain functionality, some default values will be used.";
constexpr std::string_view kWriteFailedMessage = "SetDefaults: Error setting registry value(s).";
// Both operations log this text when the key will not close.
constexpr std::string_view kCloseFailedMessage = "SetDefaults: Failed to close registry key";

struct TextSetting {
    std::string_view valueName;
    std::string Settings::*field;
    std::string_view defaultFile;  // empty for RemotePIN, which is no sound
};

constexpr TextSetting kRecordMsg{kRecordMsgValue, &Settings::RecordMsg, kDefaultRecordMsgFile};
constexpr TextSetting kGreeting{kGreetingValue, &Settings::Greeting, kDefaultGreetingFile};
constexpr TextSetting kValidPin{kValidPinValue, &Settings::ValidPIN, kDefaultValidPinFile};
constexpr TextSetting kInvalidPin{kInvalidPinValue, &Settings::InvalidPIN, kDefaultInvalidPinFile};
constexpr TextSetting kBeep{kBeepValue, &Settings::Beep, kDefaultBeepFile};
constexpr TextSetting kNoAnswer{kNoAnswerValue, &Settings::NoAnswer, kDefaultNoAnswerFile};

// The order in which the six sounds are read; the order of writing differs
// (see SetDefaults) and both are kept as the stored key has always seen them.
constexpr std::array kSoundsInReadingOrder{kRecordMsg,  kGreeting, kValidPin,
                                           kInvalidPin, kBeep,     kNoAnswer};

}  // namespace

SettingsRegistry::SettingsRegistry(Settings& settings, platform::Registry& registry,
                                   platform::MessageBoxes& messageBoxes, ErrorLog& errorLog,
                                   const platform::ProcessEnvironment& environment)
    : settings_(settings),
      registry_(registry),
      messageBoxes_(messageBoxes),
      errorLog_(errorLog),
      environment_(environment) {}

bool SettingsRegistry::LoadOrCreateSettings() {
    RegistryKey key = 0;
    if (registry_.OpenKey(HKEY_LOCAL_MACHINE, kSettingsKeyName, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS) {
        return SetDefaults();
    }
    return LoadSettings(key);
}

bool SettingsRegistry::LoadSettings(RegistryKey key) {
    bool allRead = true;
    ReadNumbers(key, allRead);
    ReadTexts(key, allRead);
    // One question for however many values were missing.
    if (!allRead) {
        AskToRestoreDefaults();
    }
    return CloseKey(key) && allRead;
}

void SettingsRegistry::ReadNumbers(RegistryKey key, bool& allRead) {
    auto fallBack = [&](std::optional<std::uint32_t> value, std::uint32_t fallback) {
        allRead = allRead && value.has_value();
        return value.value_or(fallback);
    };
    settings_.RingsAnswer =
        fallBack(ReadNumberIn(key, kRingsAnswerValue, kRingsAnswerRange), kDefaultRingsAnswer);
    settings_.RingsMessage = static_cast<std::int32_t>(
        fallBack(ReadNumberIn(key, kRingsMessageValue, kRingsMessageRange),
                 static_cast<std::uint32_t>(kDefaultRingsMessage)));
    settings_.SilenceLevel = static_cast<std::int32_t>(
        fallBack(ReadNumberIn(key, kSilenceLevelValue, kSilenceLevelRange),
                 static_cast<std::uint32_t>(kDefaultSilenceLevel)));
    // The engine plays the tone only for exactly 1, so any other number is off.
    const auto everyNumber = NumberRange{0, std::numeric_limits<std::uint32_t>::max()};
    settings_.UseSitTone =
        fallBack(ReadNumberIn(key, kUseSitToneValue, everyNumber), kDefaultUseSitTone) == 1;
}

void SettingsRegistry::ReadTexts(RegistryKey key, bool& allRead) {
    if (auto path = ReadText(key, kPathValue)) {
        settings_.Path = std::move(*path);
    } else {
        settings_.Path = CurrentDirectoryFolder();
        allRead = false;
    }

    // A sound that cannot be read falls back on its default file in the sounds
    // folder of the Path just settled. A bare file name would be looked up in
    // the working directory, where the default sounds do not lie.
    const std::string soundsFolder = settings_.Path + std::string(kSoundsSubfolder);
    for (const TextSetting& sound : kSoundsInReadingOrder) {
        if (auto text = ReadText(key, sound.valueName)) {
            settings_.*sound.field = std::move(*text);
        } else {
            settings_.*sound.field = soundsFolder + std::string(sound.defaultFile);
            allRead = false;
        }
    }

    if (auto pin = ReadText(key, kRemotePinValue)) {
        settings_.RemotePIN = std::move(*pin);
    } else {
        settings_.RemotePIN = std::string(kDefaultRemotePin);
        allRead = false;
    }
}

void SettingsRegistry::AskToRestoreDefaults() {
    const MessageBoxAnswer answer =
        messageBoxes_.Show(kRestoreQuestion, platform::kMessageBoxCaption, MessageBoxButtons::YesNo,
                           MessageBoxIcon::Question);
    if (answer == MessageBoxAnswer::Yes) {
        // Replaces every field, also those that were read.
        SetDefaults();
    } else {
        messageBoxes_.Show(kFallbackNotice, platform::kMessageBoxCaption, MessageBoxButtons::Ok,
                           MessageBoxIcon::Information);
    }
}

bool SettingsRegistry::SetDefaults() {
    RegistryKey key = 0;
    // The result is not examined: when the key cannot be created every write
    // below fails on the invalid handle and is reported with them.
    if (registry_.CreateKey(HKEY_LOCAL_MACHINE, kSettingsKeyName, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        key = 0;
    }

    settings_.Path = CurrentDirectoryFolder();
    const std::string soundsFolder = settings_.Path + std::string(kSoundsSubfolder);

    // Every value is set in memory and written, in this order, even after a
    // write has failed; the record holds the defaults either way.
    bool allWritten = true;
    auto write = [&](bool written) { allWritten = allWritten && written; };
    settings_.RingsAnswer = kDefaultRingsAnswer;
    write(WriteNumber(key, kRingsAnswerValue, kDefaultRingsAnswer));
    settings_.RingsMessage = kDefaultRingsMessage;
    write(WriteNumber(key, kRingsMessageValue, static_cast<std::uint32_t>(kDefaultRingsMessage)));
    settings_.SilenceLevel = kDefaultSilenceLevel;
    write(WriteNumber(key, kSilenceLevelValue, static_cast<std::uint32_t>(kDefaultSilenceLevel)));
    settings_.UseSitTone = kDefaultUseSitTone == 1;
    write(WriteNumber(key, kUseSitToneValue, kDefaultUseSitTone));

    auto writeSound = [&](const TextSetting& sound) {
        settings_.*sound.field = soundsFolder + std::string(sound.defaultFile);
        write(WriteText(key, sound.valueName, settings_.*sound.field));
    };
    writeSound(kGreeting);
    write(WriteText(key, kPathValue, settings_.Path));
    for (const TextSetting& sound : {kRecordMsg, kValidPin, kInvalidPin, kBeep, kNoAnswer}) {
        writeSound(sound);
    }
    settings_.RemotePIN = std::string(kDefaultRemotePin);
    write(WriteText(key, kRemotePinValue, settings_.RemotePIN));

    if (!allWritten) {
        errorLog_.LogError(kWriteFailedMessage);
    }
    return CloseKey(key) && allWritten;
}

std::optional<std::uint32_t> SettingsRegistry::ReadNumber(RegistryKey key, std::string_view name) {
    // Zeroed first so that a value shorter than four bytes reads as a defined
    // number rather than leftover bytes.
    std::array<std::uint8_t, 4> buffer{};
    std::uint32_t size = buffer.size();
    platform::RegistryValueType type = platform::REG_NONE;
    const platform::RegistryResult result =
        registry_.QueryValue(key, name, &type, buffer.data(), &size);
    // A short text fits the buffer too, and its characters would be taken for
    // a number; a longer one does not fit.
    if (result == platform::ERROR_MORE_DATA || (result == ERROR_SUCCESS && type != REG_DWORD)) {
        errorLog_.LogError("Setting " + std::string(name) + " is not a number.");
        return std::nullopt;
    }
    if (result != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, buffer.data(), buffer.size());
    return value;
}

std::optional<std::uint32_t> SettingsRegistry::ReadNumberIn(RegistryKey key, std::string_view name,
                                                            NumberRange range) {
    const auto value = ReadNumber(key, name);
    if (value && (*value < range.minimum || *value > range.maximum)) {
        errorLog_.LogError("Setting " + std::string(name) + " is outside " +
                           std::to_string(range.minimum) + "-" + std::to_string(range.maximum) +
                           ".");
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> SettingsRegistry::ReadText(RegistryKey key, std::string_view name) {
    std::array<std::uint8_t, kTextBufferSize> buffer{};
    std::uint32_t size = kTextBufferSize;  // the call overwrites it, so set it for every value
    platform::RegistryValueType type = platform::REG_NONE;
    if (registry_.QueryValue(key, name, &type, buffer.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // The text ends at the returned byte count or its first zero byte, whichever
    // comes first: a stored text need not carry its terminating zero.
    const auto begin = buffer.begin();
    const auto end = std::find(begin, begin + std::min(size, kTextBufferSize), std::uint8_t{0});
    return std::string(begin, end);
}

bool SettingsRegistry::WriteNumber(RegistryKey key, std::string_view name, std::uint32_t value) {
    std::array<std::uint8_t, 4> bytes{};
    std::memcpy(bytes.data(), &value, bytes.size());
    return registry_.SetValue(key, name, REG_DWORD, bytes.data(), bytes.size()) == ERROR_SUCCESS;
}

bool SettingsRegistry::WriteText(RegistryKey key, std::string_view name, const std::string& text) {
    // Written without the terminating zero, as every writer of the key does.
    return registry_.SetValue(key, name, REG_SZ, reinterpret_cast<const std::uint8_t*>(text.data()),
                              static_cast<std::uint32_t>(text.size())) == ERROR_SUCCESS;
}

bool SettingsRegistry::CloseKey(RegistryKey key) {
    if (registry_.CloseKey(key) != ERROR_SUCCESS) {
        errorLog_.LogError(kCloseFailedMessage);
        return false;
    }
    return true;
}

std::string SettingsRegistry::CurrentDirectoryFolder() const {
    std::string folder = environment_.CurrentDirectory();
    // Should the working directory be unknown (it was removed), the relative
    // folder still names it, where "/" would send every file to the root.
    if (folder.empty()) {
        return "./";
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

}  // namespace porthold::config
