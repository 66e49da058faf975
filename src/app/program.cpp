#include "app/program.h"

#include "config/settings_registry.h"

namespace porthold::app {

Program::Program(ProgramServices services)
    : services_(std::move(services)),
      errorLog_(settings_, services_.clock),
      audio_(services_.waveDevices, services_.clock, errorLog_, settings_, state_),
      callers_(settings_.Path),
      messages_(settings_.messagesFolder),
      engineDialogs_(services_.engineDialogs(audio_.Player())),
      engine_(telephony::CallEngineParts{
          .tapi = services_.tapi,
          .handles = handles_,
          .state = state_,
          .audio = audio_,
          .callers = callers_,
          .messages = messages_,
          .settings = settings_,
          .errorLog = errorLog_,
          .clock = services_.clock,
          .mainWindow = services_.mainWindow,
          .statusLine = services_.mainWindow,
          .mainControls = services_.mainWindow,
          .messageBoxes = services_.messageBoxes,
          .dialogs = *engineDialogs_,
          .replyWait = services_.replyWait,
          .lineEventWatch = services_.lineEventWatch,
      }) {}

Program::~Program() {
    // A program whose window never closed properly still lets its line go.
    OnDestroyWindow();
}

void Program::OnDestroyWindow() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    // From here on MainLoop no longer runs.
    engine_.StopTimers();
    services_.mainWindow.DeleteMainButtons();
    // The phone device, the audio, then the line (when there is one).
    engine_.ExitInstance();
    if (services_.releaseInstance) {
        services_.releaseInstance();
    }
}

void Program::ReloadSettings() {
    // The folders derived at start-up are left as they are: the stores and the
    // sounds stay where they were for the rest of the run.
    config::SettingsRegistry(settings_, services_.registry, services_.messageBoxes, errorLog_,
                             services_.environment)
        .LoadOrCreateSettings();
}

void Program::ShowError(std::string_view text, platform::MessageBoxIcon icon) {
    services_.messageBoxes.Show(text, platform::kMessageBoxCaption, platform::MessageBoxButtons::Ok,
                                icon);
}

}  // namespace porthold::app
