#include "ui/qt_engine_dialogs.h"

#include "ui/incoming_call_dlg.h"
#include "ui/pick_up_dlg.h"

namespace porthold::ui {

int QtEngineDialogs::RunIncomingCall(const telephony::IncomingCallRequest& request) {
    IncomingCallDlg dialog(request, player_, clock_, owner_);
    return dialog.Run();
}

void QtEngineDialogs::RunPickUp() {
    PickUpDlg dialog(clock_, owner_);
    dialog.Run();
}

}  // namespace porthold::ui
