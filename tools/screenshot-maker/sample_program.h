#pragma once

#include <optional>
#include <string>

#include "config/file_error_log.h"
#include "config/settings.h"
#include "platform/file_dialogs.h"
#include "platform/file_registry.h"
#include "platform/message_boxes.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/virtual_clock.h"
#include "store/caller_pin_list.h"
#include "store/message_list.h"
#include "telephony/call_state.h"
#include "ui/dialog_services.h"

namespace porthold::screenshots {

// Every box is answered at once, so that no window opened for a picture can
// wait for a person.
class AnsweringMessageBoxes final : public platform::MessageBoxes {
public:
    platform::MessageBoxAnswer Show(std::string_view, std::string_view, platform::MessageBoxButtons,
                                    platform::MessageBoxIcon) override {
        return platform::MessageBoxAnswer::Ok;
    }
};

class CancellingFileDialogs final : public platform::FileDialogs {
public:
    std::optional<std::string> ChooseFile(const platform::FileDialogRequest&) override {
        return std::nullopt;
    }
};

// A folder of a fixed name, so that the paths the dialogs show, and with them
// the pictures, are the same at every run. A folder left by a run that was
// killed is replaced; the folder goes away with this object.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool IsValid() const { return valid_; }
    // Ends in "/".
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool valid_ = false;
};

// A program folder as a user's looks after a few days of use: the settings,
// the default sounds, three callers and three messages. It lives in a
// scratch folder. The audio object has no
// sound card behind it, so nothing is ever heard.
class SampleProgram {
public:
    SampleProgram();
    SampleProgram(const SampleProgram&) = delete;
    SampleProgram& operator=(const SampleProgram&) = delete;

    bool IsValid() const { return folder_.IsValid(); }
    config::Settings& Settings() { return settings_; }
    platform::VirtualClock& Clock() { return clock_; }
    audio::Audio& Audio() { return audio_; }
    store::CallerPinList& Callers() { return callers_; }
    store::MessageList& Messages() { return messages_; }
    ui::DialogServices Services();

private:
    static config::Settings MakeSettings(const std::string& folder);
    void CopyDefaultSounds() const;
    void AddCallers();
    void AddMessages();

    ScratchFolder folder_;
    config::Settings settings_;
    platform::VirtualClock clock_;
    AnsweringMessageBoxes messageBoxes_;
    CancellingFileDialogs fileDialogs_;
    platform::FileRegistry registry_;
    config::FileErrorLog errorLog_;
    platform::WaveDevices waveDevices_;
    telephony::CallState callState_;
    audio::Audio audio_;
    store::CallerPinList callers_;
    store::MessageList messages_;
};

}  // namespace porthold::screenshots
