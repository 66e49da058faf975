// The start-up sequence: everything from the layout units to the engine's
// tick, in one fixed order, before the main window is first shown.

#include <cerrno>
#include <string>
#include <system_error>

#include "app/program.h"
#include "config/settings_registry.h"
#include "platform/files.h"
#include "store/list_file.h"

namespace porthold::app {

namespace {

constexpr std::string_view kDisabledStatus = " Disabled...";

}  // namespace

bool Program::OnInitDialog() {
    ui::MainWindow& window = services_.mainWindow;
    // The window's own controls exist already. The buttons are sized from the
    // layout units of their font, so the font comes first.
    window.SelectButtonFont();
    layoutUnits_ = window.MeasureLayoutUnits();
    // Nothing the user clicks may run before the settings and lists are in.
    window.CreateMainButtons(layoutUnits_);
    window.SetMainButtons(ui::Availability::Disabled);
    window.SetMenuCommands(ui::Availability::Disabled);
    config::SettingsRegistry(settings_, services_.registry, services_.messageBoxes, errorLog_,
                             services_.environment)
        .LoadOrCreateSettings();
    // The folders follow from the program folder now known, and the lists are
    // bound to them; no folder is created yet.
    settings_.DeriveFolders();
    callers_ = store::CallerPinList(settings_.Path);
    messages_ = store::MessageList(settings_.messagesFolder);
    // The log's folder is known only now.
    errorLog_.TrimErrorLog();
    InitialiseTelephony();
    // Without its lists the program cannot screen a call, so a list that
    // cannot be created stops start-up here, the window left open.
    if (!LoadCallers() || !LoadMessages()) {
        return false;
    }
    state_.newMessageCount = messages_.CountNew();
    engine_.StartTick();
    if (!audio_.Player().ProbeSoundCard()) {
        ShowError(kSoundCardBusyText, platform::MessageBoxIcon::Information);
    }
    if (state_.telephonyUnavailable) {
        window.SetStatus(kDisabledStatus);
    }
    window.SetMainButtons(ui::Availability::Enabled);
    window.SetMenuCommands(ui::Availability::Enabled);
    window.ShowApplicationIcon();
    return true;
}

void Program::InitialiseTelephony() {
    telephony::LineInitializer initializer(services_.tapi, handles_, services_.mainWindow,
                                           services_.messageBoxes, errorLog_, services_.instance);
    if (!initializer.LineInit()) {
        ShowError(kModemFailedText, platform::MessageBoxIcon::Stop);
        state_.telephonyUnavailable = true;
    }
    // The calls' voice channels come from the telephony service, as the
    // line's wave devices would come with its driver.
    if (services_.lineWaveDevices) {
        for (platform::WaveDeviceProvider* provider : services_.lineWaveDevices()) {
            services_.waveDevices.RegisterProvider(*provider);
        }
    }
    // Whatever the line gave; its result changes nothing and shows nothing.
    initializer.InitPhone();
}

bool Program::LoadCallers() {
    if (callers_.LoadList()) {
        return true;
    }
    // Neither the list nor its backup could be read: a new, empty list.
    const std::string listPath = settings_.Path + "PIN.lst";
    if (store::WriteListFile(listPath, store::StartListFile())) {
        return true;
    }
    LogCreationFailure("LoadCallers", listPath);
    ShowError(kPinDatabaseFailedText, platform::MessageBoxIcon::Stop);
    return false;
}

bool Program::LoadMessages() {
    if (messages_.LoadList()) {
        return true;
    }
    // An existing folder is fine.
    platform::CreateDirectory(settings_.messagesFolder);
    const std::string listPath = settings_.messagesFolder + "messages.lst";
    if (store::WriteListFile(listPath, store::StartListFile())) {
        return true;
    }
    LogCreationFailure("LoadMessages", listPath);
    ShowError(kMessageDatabaseFailedText, platform::MessageBoxIcon::Stop);
    return false;
}

void Program::LogCreationFailure(std::string_view step, const std::string& path) {
    // The message box cannot say which file or why; the log keeps both, so a
    // folder in the file's place or a Path to nowhere can be found.
    const std::string reason = std::generic_category().message(errno);
    errorLog_.LogError(std::string(step) + ": " + path + " could not be created: " + reason + ".");
}

}  // namespace porthold::app
