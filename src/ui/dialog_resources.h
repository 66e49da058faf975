#pragma once

// The numbers of the program's windows, controls and commands. Tests and the
// engine compare results and commands by these numbers, so they are kept as
// the windows have always used them.

namespace porthold::ui {

// Window templates.
inline constexpr int kMainDialogTemplate = 110;
inline constexpr int kIncomingCallTemplate = 132;
inline constexpr int kPickUpTemplate = 181;
inline constexpr int kMainMenu = 128;
inline constexpr int kApplicationIcon = 128;

// Controls of the main window.
inline constexpr int kStatusLabel = 105;
inline constexpr int kMessagesButton = 106;
inline constexpr int kPinListButton = 107;
inline constexpr int kSettingsButton = 108;

// Menu commands of the main window.
inline constexpr int kViewPinListCommand = 32771;
inline constexpr int kViewMessagesCommand = 32772;
inline constexpr int kViewSettingsCommand = 32773;
inline constexpr int kHelpCommand = 57664;
inline constexpr int kExitCommand = 57665;

// Controls of the incoming-call notification; its two buttons' numbers are
// also its results (see telephony/engine_dialogs.h).
inline constexpr int kNotificationText = 1019;

}  // namespace porthold::ui
