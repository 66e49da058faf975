#pragma once

#include <QDialog>
#include <string>

namespace porthold::ui {

// Shown while the user talks to a caller through the computer's microphone
// and speaker, on a line that has no handset of its own: who is calling and a
// "Hang Up" button. The popup look of the incoming-call notification it
// follows. Escape does not close it, since that would hang up on the caller
// by accident; the engine closes it when the caller hangs up. Main thread only.
class TalkDlg final : public QDialog {
    Q_OBJECT

public:
    // The dialog's results.
    static constexpr int kHungUp = 1;
    static constexpr int kCallEnded = 2;

    explicit TalkDlg(const std::string& callerText, QWidget* parent = nullptr);

    // Shows the window until the user hangs up or EndCall.
    int Run();
    // The caller hung up.
    void EndCall();

    void reject() override {}
};

}  // namespace porthold::ui
