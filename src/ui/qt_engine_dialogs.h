#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include "audio/wave_player.h"
#include "platform/clock.h"
#include "telephony/engine_dialogs.h"

namespace porthold::ui {

// The engine's dialogs as windows: IncomingCallDlg and PickUpDlg, each run
// modally over the owner (the main window) on the clock whose timers the Qt
// event loop delivers, so that the engine's tick runs on beneath them.
class QtEngineDialogs final : public telephony::EngineDialogs {
public:
    // The player and clock must outlive this object.
    QtEngineDialogs(audio::WavePlayer& player, platform::Clock& clock, QWidget* owner = nullptr)
        : player_(player), clock_(clock), owner_(owner) {}

    void SetOwner(QWidget* owner) { owner_ = owner; }

    int RunIncomingCall(const telephony::IncomingCallRequest& request) override;
    void CancelIncomingCall() override;
    void RunPickUp() override;

private:
    audio::WavePlayer& player_;
    platform::Clock& clock_;
    QPointer<QWidget> owner_;
    // The notification showing, for CancelIncomingCall.
    QPointer<QDialog> incomingCall_;
};

}  // namespace porthold::ui
