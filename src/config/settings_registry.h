#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/error_log.h"
#include "config/settings.h"
#include "platform/environment.h"
#include "platform/message_boxes.h"
#include "platform/registry.h"

namespace porthold::config {

// Default values: what SetDefaults writes, and (for the sounds, inside the
// sounds folder) what LoadSettings falls back on when a value cannot be read.
inline constexpr std::uint32_t kDefaultRingsAnswer = 1;
inline constexpr std::int32_t kDefaultRingsMessage = 4;
inline constexpr std::int32_t kDefaultSilenceLevel = 0;
inline constexpr std::uint32_t kDefaultUseSitTone = 0;
inline constexpr std::string_view kDefaultGreetingFile = "default_greeting.wav";
inline constexpr std::string_view kDefaultRecordMsgFile = "default_message_prompt.wav";
inline constexpr std::string_view kDefaultValidPinFile = "default_valid_pin.wav";
inline constexpr std::string_view kDefaultInvalidPinFile = "default_invalid_pin.wav";
inline constexpr std::string_view kDefaultBeepFile = "default_beep.wav";
inline constexpr std::string_view kDefaultNoAnswerFile = "default_no_answer.wav";
inline constexpr std::string_view kDefaultRemotePin = "958";

// The numbers the settings dialog accepts. A stored number outside its range
// (written by other means) counts as unreadable: a ring count of 0 or of
// 4294967295 would keep the program from ever answering.
struct NumberRange {
    std::uint32_t minimum;
    std::uint32_t maximum;
};
inline constexpr NumberRange kRingsAnswerRange{1, 6};
inline constexpr NumberRange kRingsMessageRange{1, 6};
inline constexpr NumberRange kSilenceLevelRange{0, 100};

// Moves the settings between the registry key and the in-memory record. Every
// failure is either logged or, when values cannot be read, put to the user as
// a question; nothing is thrown.
class SettingsRegistry {
public:
    SettingsRegistry(Settings& settings, platform::Registry& registry,
                     platform::MessageBoxes& messageBoxes, ErrorLog& errorLog,
                     const platform::ProcessEnvironment& environment);

    // Start-up and the reload after the settings dialog was saved: opens the
    // key and loads it, or writes and adopts the defaults when it cannot be
    // opened. Returns the result of whichever of the two ran. The derived
    // folders are left alone; start-up derives them afterwards, once.
    bool LoadOrCreateSettings();

    // Reads all twelve values from the open `key` and closes it. Unreadable
    // values take their fallbacks, and the user is asked whether to restore
    // the defaults; so do numbers stored as another type or outside their
    // range, which are also logged. True when every value was read and the
    // key was closed.
    bool LoadSettings(platform::RegistryKey key);

    // Creates or opens the key, sets every field to its default and writes all
    // twelve values. True when every write and the closing succeeded.
    bool SetDefaults();

private:
    void ReadNumbers(platform::RegistryKey key, bool& allRead);
    void ReadTexts(platform::RegistryKey key, bool& allRead);
    std::optional<std::uint32_t> ReadNumber(platform::RegistryKey key, std::string_view name);
    // The number when it is stored as one and lies in `range`; logged otherwise.
    std::optional<std::uint32_t> ReadNumberIn(platform::RegistryKey key, std::string_view name,
                                              NumberRange range);
    std::optional<std::string> ReadText(platform::RegistryKey key, std::string_view name);
    bool WriteNumber(platform::RegistryKey key, std::string_view name, std::uint32_t value);
    bool WriteText(platform::RegistryKey key, std::string_view name, const std::string& text);
    bool CloseKey(platform::RegistryKey key);
    void AskToRestoreDefaults();

    // The working directory as a program folder: ending in exactly one "/".
    std::string CurrentDirectoryFolder() const;

    Settings& settings_;
    platform::Registry& registry_;
    platform::MessageBoxes& messageBoxes_;
    ErrorLog& errorLog_;
    const platform::ProcessEnvironment& environment_;
};

}  // namespace porthold::config
