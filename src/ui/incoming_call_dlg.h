#pragma once

#include <QDialog>

#include "audio/wave_player.h"
#include "platform/clock.h"
#include "telephony/engine_dialogs.h"
#include "telephony/incoming_call_notification.h"

class QLabel;
class QPushButton;

namespace porthold::ui {

// Tells the user who is calling: the caller's notification text, the caller's
// sound on the sound card and ringing to the caller, repeated every four
// seconds, until the user answers or takes a message, the caller presses a
// key, or the repeat limit is reached (see IncomingCallNotification).
//
// No title bar, centred on the screen and kept above other windows. Enter
// answers; Escape ends it with kNotificationCancelled. Main thread only.
class IncomingCallDlg final : public QDialog, private platform::TimerHandler {
    Q_OBJECT

public:
    // The request, player and clock must outlive the dialog.
    IncomingCallDlg(const telephony::IncomingCallRequest& request, audio::WavePlayer& player,
                    platform::Clock& clock, QWidget* parent = nullptr);
    ~IncomingCallDlg() override;

    // Opens the notification and runs it modally; its result.
    int Run();

    void reject() override;

private:
    // The notification ends itself on its own timer; the dialog looks for that
    // on a short timer of its own on the same clock.
    static constexpr platform::TimerId kWatchTimer = 0;
    static constexpr std::uint32_t kWatchMilliseconds = 10;

    void OnTimer(platform::TimerId id) override;
    void CloseWhenFinished();

    telephony::IncomingCallNotification notification_;
    platform::Clock& clock_;
    QLabel* text_ = nullptr;
    QPushButton* answer_ = nullptr;
    QPushButton* takeMessage_ = nullptr;
};

}  // namespace porthold::ui
