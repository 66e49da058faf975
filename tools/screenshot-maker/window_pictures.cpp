#include "window_pictures.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "telephony/engine_dialogs.h"
#include "ui/about_dlg.h"
#include "ui/dialog_units.h"
#include "ui/edit_caller_dlg.h"
#include "ui/incoming_call_dlg.h"
#include "ui/main_dialog.h"
#include "ui/messages_dlg.h"
#include "ui/pick_up_dlg.h"
#include "ui/pin_list_dlg.h"
#include "ui/recording_dlg.h"
#include "ui/report_view.h"
#include "ui/settings_dlg.h"
#include "ui/widgets/pictures.h"

namespace porthold::screenshots {

namespace {

// The main window only needs a program to hand commands to; the pictures
// never send it any.
class IdleProgram final : public ui::MainWindowProgram {
public:
    explicit IdleProgram(const config::Settings& settings) : settings_(settings) {}
    bool OnInitDialog() override { return true; }
    void OnDestroyWindow() override {}
    void OnWindowTimer(platform::TimerId) override {}
    telephony::CallState& CallState() override { return callState_; }
    const config::Settings& Settings() const override { return settings_; }
    void ReloadSettings() override {}

private:
    const config::Settings& settings_;
    telephony::CallState callState_;
};

class NoManagementDialogs final : public ui::ManagementDialogs {
public:
    int RunMessages(QWidget*, int newMessageCount) override { return newMessageCount; }
    void RunPinList(QWidget*, const std::string&) override {}
    ui::DialogOutcome RunSettings(QWidget*, const config::Settings&) override {
        return ui::DialogOutcome::Cancel;
    }
    void RunAbout(QWidget*) override {}
};

// Shows the window, lets it lay itself out and paint, and writes what it shows.
bool Save(QWidget& window, const QString& folder, const char* name) {
    window.show();
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    const bool saved = window.grab().save(path, "PNG");
    window.hide();
    QApplication::processEvents();
    if (!saved) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    return true;
}

bool RenderMainWindow(SampleProgram& program, const QString& folder) {
    NoManagementDialogs dialogs;
    IdleProgram idle(program.Settings());
    ui::MainDialog window(dialogs);
    window.SetProgram(idle);
    // What start-up does to the window once the line is open.
    window.SelectButtonFont();
    window.CreateMainButtons(ui::FontLayoutUnits(window.font()));
    window.SetMainButtons(ui::Availability::Enabled);
    window.ShowApplicationIcon();
    window.SetStatus(" Waiting for call...");
    bool saved = Save(window, folder, "main-window.png");
    window.SetMessagesLook(ui::widgets::kBitmapNewMessages, "New\nMessage(s)");
    saved = Save(window, folder, "main-window-new-messages.png") && saved;
    return saved;
}

bool RenderMessages(SampleProgram& program, const ui::DialogServices& services,
                    const QString& folder) {
    ui::MessagesDlg messages(services);
    messages.SetNewMessageCount(program.Messages().CountNew());
    bool saved = Save(messages, folder, "messages.png");
    if (auto* list = messages.findChild<ui::ReportView*>(); list != nullptr) {
        list->selectRow(1);
        saved = Save(messages, folder, "messages-selected.png") && saved;
    }
    ui::PlayingMessageDlg playing(program.Audio().Player(), program.Clock());
    return Save(playing, folder, "playing-message.png") && saved;
}

bool RenderCallers(SampleProgram& program, const ui::DialogServices& services,
                   const QString& folder) {
    ui::PinListDlg pinList(services);
    pinList.SetRemotePin(program.Settings().RemotePIN);
    bool saved = Save(pinList, folder, "pin-list.png");
    const store::CallerRecord mom{"1234", "Mom is calling",
                                  program.Settings().soundsFolder + "default_ring.wav"};
    ui::EditCallerDlg editCaller(services, ui::CallerEditMode::Edit, mom,
                                 program.Settings().RemotePIN);
    return Save(editCaller, folder, "pin-information.png") && saved;
}

bool RenderSettings(SampleProgram& program, const ui::DialogServices& services,
                    const QString& folder) {
    ui::SettingsDlg settings(services, program.Settings());
    bool saved = Save(settings, folder, "settings.png");
    // Shown without starting a recording: the picture needs no microphone.
    ui::RecordingDlg recording(services);
    saved = Save(recording, folder, "recording.png") && saved;
    ui::AboutDlg about(services);
    return Save(about, folder, "about.png") && saved;
}

bool RenderCallWindows(SampleProgram& program, const QString& folder) {
    telephony::IncomingCallRequest request;
    request.notificationText = "Mom is calling";
    request.callerSound = program.Settings().soundsFolder + "default_ring.wav";
    request.ringSound = request.callerSound;
    request.repeatLimit = 5;
    // Shown without Run, so no sound is started.
    ui::IncomingCallDlg incomingCall(request, program.Audio().Player(), program.Clock());
    bool saved = Save(incomingCall, folder, "incoming-call.png");
    ui::PickUpDlg pickUp(program.Clock());
    return Save(pickUp, folder, "pick-up.png") && saved;
}

}  // namespace

bool RenderAllWindows(SampleProgram& program, const QString& folder) {
    const ui::DialogServices services = program.Services();
    bool saved = RenderMainWindow(program, folder);
    saved = RenderMessages(program, services, folder) && saved;
    saved = RenderCallers(program, services, folder) && saved;
    saved = RenderSettings(program, services, folder) && saved;
    saved = RenderCallWindows(program, folder) && saved;
    return saved;
}

}  // namespace porthold::screenshots
