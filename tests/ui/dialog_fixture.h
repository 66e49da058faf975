#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

#include "audio/audio.h"
#include "modal_closer.h"
#include "platform/file_registry.h"
#include "platform/multimedia/simulated_sound_card.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/virtual_clock.h"
#include "store/caller_pin_list.h"
#include "store/message_list.h"
#include "support/recording_error_log.h"
#include "support/scripted_file_dialogs.h"
#include "support/scripted_message_boxes.h"
#include "support/temporary_folder.h"
#include "telephony/call_state.h"
#include "ui/dialog_services.h"

namespace porthold::ui::testing {

// What the management dialogs work on, all real but the user: a program
// folder with its "sounds/" and "messages/" folders in a temporary folder,
// the two lists, the settings file, the audio object on a simulated sound
// card in virtual time with the program's tick running, and message boxes
// and file dialogs answered in advance.
class DialogFixture : public ::testing::Test {
protected:
    DialogFixture();
    ~DialogFixture() override;

    // A prompt of the telephony layout lasting `milliseconds`, in the sounds
    // folder; its full path.
    std::string WriteSound(const std::string& name, std::uint32_t milliseconds);

    // Runs `dialog` modally; `whileOpen` runs inside its loop once it shows.
    // Returns the dialog's result.
    int RunModal(QDialog& dialog, std::function<void(QDialog&)> whileOpen);

    // Lets virtual time pass, with the tick and every timer on the clock.
    void Advance(std::uint32_t milliseconds) { clock.Advance(milliseconds); }

    // Texts of the message boxes shown so far.
    std::vector<std::string> BoxTexts() const;

    porthold::testing::TemporaryFolder folder;
    config::Settings settings;
    platform::VirtualClock clock;
    platform::SimulatedSoundCard soundCard{clock};
    platform::WaveDevices devices;
    porthold::testing::RecordingErrorLog log;
    telephony::CallState state;
    audio::Audio audio{devices, clock, log, settings, state};
    store::CallerPinList callers;
    store::MessageList messages;
    porthold::testing::ScriptedMessageBoxes messageBoxes;
    porthold::testing::ScriptedFileDialogs fileDialogs;
    platform::FileRegistry registry;
    DialogServices services{clock,    messageBoxes, fileDialogs, registry, log,
                            settings, audio,        callers,     messages};

private:
    class Tick final : public platform::TimerHandler {
    public:
        explicit Tick(audio::Audio& audio) : audio_(audio) {}
        void OnTimer(platform::TimerId id) override;

    private:
        audio::Audio& audio_;
    };
    Tick tick_{audio};
};

}  // namespace porthold::ui::testing
