// The start-up sequence: everything from the layout units to the engine's
// tick, in one fixed order, before the main window is first shown.

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
    // 1. The window's own controls exist; the status line reads "Program Status".
    // 2. The font of the buttons about to be made.
    window.SelectButtonFont();
    // 3. baseUnitX and baseUnitY.
    layoutUnits_ = window.MeasureLayoutUnits();
    // 4. The three main buttons, disabled while start-up runs.
    window.CreateMainButtons(layoutUnits_);
    window.SetMainButtons(ui::Availability::Disabled);
    // 5. View and Documentation are refused while start-up runs.
    window.SetMenuCommands(ui::Availability::Disabled);
    // 6. The settings, or their defaults written and adopted.
    config::SettingsRegistry(settings_, services_.registry, services_.messageBoxes, errorLog_,
                             services_.environment)
        .LoadOrCreateSettings();
    // 7. The folders, from the program folder now known; none is created. The
    //    lists are bound to them.
    settings_.DeriveFolders();
    callers_ = store::CallerPinList(settings_.Path);
    messages_ = store::MessageList(settings_.messagesFolder);
    // 8.
    errorLog_.TrimErrorLog();
    // 9. and 10. The line, then the phone device.
    InitialiseTelephony();
    // 11. and 12. A list that cannot be created stops start-up here.
    if (!LoadCallers() || !LoadMessages()) {
        return false;
    }
    // 13.
    state_.newMessageCount = messages_.CountNew();
    // 14. Timer 0 of the main window, every 10 ms.
    engine_.StartTick();
    // 15.
    if (!audio_.Player().ProbeSoundCard()) {
        ShowError(kSoundCardBusyText, platform::MessageBoxIcon::Information);
    }
    // 16.
    if (state_.telephonyUnavailable) {
        window.SetStatus(kDisabledStatus);
    }
    // 17.
    window.SetMainButtons(ui::Availability::Enabled);
    window.SetMenuCommands(ui::Availability::Enabled);
    // 18.
    window.ShowApplicationIcon();
    // 19.
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
    if (store::WriteListFile(settings_.Path + "PIN.lst", store::StartListFile())) {
        return true;
    }
    ShowError(kPinDatabaseFailedText, platform::MessageBoxIcon::Stop);
    return false;
}

bool Program::LoadMessages() {
    if (messages_.LoadList()) {
        return true;
    }
    // An existing folder is fine.
    platform::CreateDirectory(settings_.messagesFolder);
    if (store::WriteListFile(settings_.messagesFolder + "messages.lst", store::StartListFile())) {
        return true;
    }
    ShowError(kMessageDatabaseFailedText, platform::MessageBoxIcon::Stop);
    return false;
}

}  // namespace porthold::app
