#pragma once

#include <string_view>

namespace porthold::config {

// The settings live as twelve named values under this one key below
// HKEY_LOCAL_MACHINE. The settings dialog writes the same key and names, so
// they are kept here rather than inside the loader.
inline constexpr std::string_view kSettingsKeyName = "Software\\Quillmoor\\Porthold";

// Value names, as stored. They are also the names of the fields of Settings.
inline constexpr std::string_view kRingsAnswerValue = "RingsAnswer";
inline constexpr std::string_view kRingsMessageValue = "RingsMessage";
inline constexpr std::string_view kSilenceLevelValue = "SilenceLevel";
inline constexpr std::string_view kUseSitToneValue = "UseSitTone";
inline constexpr std::string_view kPathValue = "Path";
inline constexpr std::string_view kGreetingValue = "Greeting";
inline constexpr std::string_view kRecordMsgValue = "RecordMsg";
inline constexpr std::string_view kValidPinValue = "ValidPIN";
inline constexpr std::string_view kInvalidPinValue = "InvalidPIN";
inline constexpr std::string_view kBeepValue = "Beep";
inline constexpr std::string_view kNoAnswerValue = "NoAnswer";
inline constexpr std::string_view kRemotePinValue = "RemotePIN";

}  // namespace porthold::config
