#pragma once

#include "audio/audio.h"
#include "config/error_log.h"
#include "config/settings.h"
#include "platform/clock.h"
#include "platform/file_dialogs.h"
#include "platform/message_boxes.h"
#include "platform/registry.h"
#include "store/caller_pin_list.h"
#include "store/message_list.h"

namespace porthold::ui {

// What the management dialogs work on: the program's own lists, audio,
// settings and log, and the services through which they reach the user and
// the settings store. Everything referred to outlives the dialogs.
struct DialogServices {
    platform::Clock& clock;
    platform::MessageBoxes& messageBoxes;
    platform::FileDialogs& fileDialogs;
    platform::Registry& registry;
    config::ErrorLog& errorLog;
    // The settings in use: the program folder, the sounds and messages
    // folders derived from it at start-up, the remote PIN.
    const config::Settings& settings;
    audio::Audio& audio;
    store::CallerPinList& callers;
    store::MessageList& messages;
};

}  // namespace porthold::ui
