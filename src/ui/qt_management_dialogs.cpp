#include "ui/qt_management_dialogs.h"

#include "ui/about_dlg.h"
#include "ui/messages_dlg.h"
#include "ui/pin_list_dlg.h"
#include "ui/settings_dlg.h"

namespace porthold::ui {

int QtManagementDialogs::RunMessages(QWidget* owner, int newMessageCount) {
    if (!services_) {
        return newMessageCount;
    }
    MessagesDlg dialog(*services_, owner);
    dialog.SetNewMessageCount(newMessageCount);
    dialog.exec();
    return dialog.NewMessageCount();
}

void QtManagementDialogs::RunPinList(QWidget* owner, const std::string& remotePin) {
    if (!services_) {
        return;
    }
    PinListDlg dialog(*services_, owner);
    dialog.SetRemotePin(remotePin);
    dialog.exec();
}

DialogOutcome QtManagementDialogs::RunSettings(QWidget* owner, const config::Settings& settings) {
    if (!services_) {
        return DialogOutcome::Cancel;
    }
    SettingsDlg dialog(*services_, settings, owner);
    return dialog.exec() == QDialog::Accepted ? DialogOutcome::Ok : DialogOutcome::Cancel;
}

void QtManagementDialogs::RunAbout(QWidget* owner) {
    if (!services_) {
        return;
    }
    AboutDlg dialog(*services_, owner);
    dialog.exec();
}

}  // namespace porthold::ui
