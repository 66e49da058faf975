#include "ui/qt_engine_dialogs.h"

#include <utility>

#include "ui/incoming_call_dlg.h"
#include "ui/pick_up_dlg.h"

namespace porthold::ui {

int QtEngineDialogs::RunIncomingCall(const telephony::IncomingCallRequest& request) {
    IncomingCallDlg dialog(request, player_, clock_, owner_);
    // Another notification may already be showing beneath this one's caller.
    const QPointer<QDialog> beneath = std::exchange(incomingCall_, &dialog);
    const int result = dialog.Run();
    incomingCall_ = beneath;
    return result;
}

void QtEngineDialogs::CloseCallDialog() {
    if (incomingCall_) {
        incomingCall_->reject();
    }
    if (talk_) {
        talk_->EndCall();
    }
}

void QtEngineDialogs::RunPickUp() {
    PickUpDlg dialog(clock_, owner_);
    dialog.Run();
}

void QtEngineDialogs::RunTalk(const std::string& callerText) {
    TalkDlg dialog(callerText, owner_);
    const QPointer<TalkDlg> beneath = std::exchange(talk_, &dialog);
    dialog.Run();
    talk_ = beneath;
}

}  // namespace porthold::ui
