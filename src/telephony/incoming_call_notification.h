#pragma once

#include <cstdint>

#include "audio/wave_player.h"
#include "platform/clock.h"
#include "telephony/engine_dialogs.h"

namespace porthold::telephony {

// What the incoming-call notification does, apart from showing itself: it
// rings the caller's sound on the sound card and the ringing on the line,
// repeats both every four seconds, and ends with kAnswerCallResult when the
// caller presses a key or the user answers, or with kTakeMessageResult when
// the user says so or the repeat limit is reached. The dialog that shows it
// forwards its buttons here and closes once IsFinished.
//
// Its timer belongs to the notification (identifier 0 on this handler), not
// to the main window. Main thread only.
class IncomingCallNotification final : public platform::TimerHandler {
public:
    static constexpr platform::TimerId kRepeatTimer = 0;
    static constexpr std::uint32_t kRepeatMilliseconds = 4000;

    // The request, player and clock must outlive the notification.
    IncomingCallNotification(const IncomingCallRequest& request, audio::WavePlayer& player,
                             platform::Clock& clock);
    // Stops the timer, so a notification closed early never fires again.
    ~IncomingCallNotification() override;
    IncomingCallNotification(const IncomingCallNotification&) = delete;
    IncomingCallNotification& operator=(const IncomingCallNotification&) = delete;

    // Opens the notification: the count at 0, the timer started, both sounds.
    void Start();

    void OnTimer(platform::TimerId id) override;

    // The buttons, and the Escape key. None of them stops the sounds.
    void Answer();
    void TakeMessage();
    void Cancel();

    bool IsFinished() const { return finished_; }
    // Meaningful once finished.
    int Result() const { return result_; }
    int RepeatCount() const { return repeatCount_; }
    const std::string& NotificationText() const { return request_.notificationText; }

private:
    void PlaySounds();
    void Finish(int result);

    const IncomingCallRequest& request_;
    audio::WavePlayer& player_;
    platform::Clock& clock_;
    std::int32_t repeatCount_ = 0;
    bool finished_ = false;
    int result_ = kNotificationCancelled;
};

}  // namespace porthold::telephony
