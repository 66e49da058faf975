#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include "audio/wave_player.h"
#include "platform/clock.h"
#include "telephony/engine_dialogs.h"
#include "ui/talk_dlg.h"

namespace porthold::ui {

// The engine's dialogs as windows: IncomingCallDlg, PickUpDlg and TalkDlg, each run
// modally over the owner (the main window) on the clock whose timers the Qt
// event loop delivers, so that the engine's tick runs on beneath them.
class QtEngineDialogs final : public telephony::EngineDialogs {
public:
    // The player and clock must outlive this object.
    QtEngineDialogs(audio::WavePlayer& player, platform::Clock& clock, QWidget* owner = nullptr)
        : player_(player), clock_(clock), owner_(owner) {}

    void SetOwner(QWidget* owner) { owner_ = owner; }

    int RunIncomingCall(const telephony::IncomingCallRequest& request) override;
    void CloseCallDialog() override;
    void RunPickUp() override;
    void RunTalk(const std::string& callerText) override;

private:
    audio::WavePlayer& player_;
    platform::Clock& clock_;
    QPointer<QWidget> owner_;
    // The notification and the talk window showing, for CloseCallDialog.
    QPointer<QDialog> incomingCall_;
    QPointer<TalkDlg> talk_;
};

}  // namespace porthold::ui
