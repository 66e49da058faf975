#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "audio/audio.h"
#include "config/file_error_log.h"
#include "config/settings.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/message_boxes.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/registry.h"
#include "store/caller_pin_list.h"
#include "store/message_list.h"
#include "telephony/call_engine.h"
#include "telephony/call_state.h"
#include "telephony/engine_dialogs.h"
#include "telephony/line_initializer.h"
#include "telephony/reply_wait.h"
#include "telephony/tapi.h"
#include "ui/layout_units.h"
#include "ui/main_window.h"

namespace porthold::app {

// What start-up tells the user when a step fails.
inline constexpr std::string_view kModemFailedText =
    "Modem initialization failed... All telephone functionality will be disabled.";
inline constexpr std::string_view kPinDatabaseFailedText = "The PIN database could not be created.";
inline constexpr std::string_view kMessageDatabaseFailedText =
    "The message database could not be created";
inline constexpr std::string_view kSoundCardBusyText =
    "The sound card is currently in use.\nYou may not hear call notification sounds.";

// The engine's dialogs, made once the program's audio exists.
using EngineDialogsFactory =
    std::function<std::unique_ptr<telephony::EngineDialogs>(audio::WavePlayer& player)>;

// What differs between the running program and a test of it.
struct ProgramServices {
    platform::Clock& clock;
    const platform::ProcessEnvironment& environment;
    platform::Registry& registry;
    platform::MessageBoxes& messageBoxes;
    // The program's wave devices, with the sound card registered.
    platform::WaveDevices& waveDevices;
    telephony::Tapi& tapi;
    // The voice channels of the telephony service's lines, registered with
    // the wave devices once the line is initialised; may be empty.
    std::function<std::vector<platform::WaveDeviceProvider*>()> lineWaveDevices;
    telephony::ReplyWaitStrategy& replyWait;
    // Lets the engine's tick rest between calls; none keeps it at 10 ms.
    telephony::LineEventWatch* lineEventWatch = nullptr;
    // Must outlive the program, which takes its buttons away at shutdown.
    ui::MainWindow& mainWindow;
    EngineDialogsFactory engineDialogs;
    // Lets other copies of the program start; the last step of the shutdown.
    std::function<void()> releaseInstance;
    // The program instance, for the telephony service.
    telephony::HINSTANCE instance = 0;
};

// The program's process-wide state and the start-up and shutdown that set it
// up and take it down: the settings, the error log, the caller and message
// lists, the audio object and the call engine, all owned here for the whole
// run and used on the main thread only.
class Program final : public ui::MainWindowProgram {
public:
    explicit Program(ProgramServices services);
    ~Program() override;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The start-up sequence, in its fixed order (start_up.cpp). False when a
    // list file could not be created: the program then stays stalled, with the
    // window open, its buttons disabled and no tick.
    bool OnInitDialog() override;
    // The shutdown: the engine's timers, the main buttons, the phone, the
    // audio and the line, then the single-instance lock. Runs once.
    void OnDestroyWindow() override;
    void OnWindowTimer(platform::TimerId id) override { engine_.OnMainWindowTimer(id); }

    telephony::CallState& CallState() override { return state_; }
    const config::Settings& Settings() const override { return settings_; }
    void ReloadSettings() override;
    void WakeEngine() override { engine_.WakeTick(); }

    // baseUnitX and baseUnitY, once start-up has measured them.
    ui::LayoutUnits LayoutUnits() const { return layoutUnits_; }
    telephony::CallEngine& Engine() { return engine_; }
    audio::Audio& Audio() { return audio_; }
    const store::CallerPinList& Callers() const { return callers_; }
    store::CallerPinList& Callers() { return callers_; }
    const store::MessageList& Messages() const { return messages_; }
    store::MessageList& Messages() { return messages_; }
    const telephony::TelephonyHandles& Handles() const { return handles_; }
    config::ErrorLog& ErrorLog() { return errorLog_; }

private:
    void InitialiseTelephony();
    bool LoadCallers();
    bool LoadMessages();
    // Logs why the list file at `path` could not be created, from errno.
    void LogCreationFailure(std::string_view step, const std::string& path);
    void ShowError(std::string_view text, platform::MessageBoxIcon icon);

    ProgramServices services_;
    config::Settings settings_;
    config::FileErrorLog errorLog_;
    telephony::CallState state_;
    telephony::TelephonyHandles handles_;
    audio::Audio audio_;
    // Bound to their folders once the settings give them.
    store::CallerPinList callers_;
    store::MessageList messages_;
    std::unique_ptr<telephony::EngineDialogs> engineDialogs_;
    telephony::CallEngine engine_;
    ui::LayoutUnits layoutUnits_;
    bool destroyed_ = false;
};

}  // namespace porthold::app
