#include "telephony/incoming_call_notification.h"

#include "platform/multimedia/wave_types.h"

namespace porthold::telephony {

IncomingCallNotification::IncomingCallNotification(const IncomingCallRequest& request,
                                                   audio::WavePlayer& player,
                                                   platform::Clock& clock)
    : request_(request), player_(player), clock_(clock) {}

IncomingCallNotification::~IncomingCallNotification() {
    clock_.KillTimer(*this, kRepeatTimer);
}

void IncomingCallNotification::Start() {
    repeatCount_ = 0;
    clock_.SetTimer(*this, kRepeatTimer, kRepeatMilliseconds);
    PlaySounds();
}

void IncomingCallNotification::PlaySounds() {
    // The caller's sound for the user, then the ring for the caller. While the
    // line is still busy (the valid-PIN prompt, or the previous ring) the ring
    // waits for it; the sound on the card plays on meanwhile. A sound that
    // cannot be played is skipped: the notification still shows, counts and
    // ends as usual.
    player_.PlayWaveOut(request_.callerSound, platform::WAVE_MAPPER, audio::Interruptible::Yes);
    player_.PlayWaveOut(request_.ringSound, request_.ringDevice, audio::Interruptible::Yes);
}

void IncomingCallNotification::OnTimer(platform::TimerId id) {
    if (finished_) {
        return;
    }
    // The caller's key is looked at on every timer message, so a key ends the
    // notification before any further sound starts.
    if (request_.callerKeyed != nullptr && *request_.callerKeyed) {
        *request_.callerKeyed = false;
        Finish(kAnswerCallResult);
        return;
    }
    if (id != kRepeatTimer) {
        return;
    }
    PlaySounds();
    ++repeatCount_;
    if (repeatCount_ >= request_.repeatLimit) {
        clock_.KillTimer(*this, kRepeatTimer);
        player_.InterruptWaveOut();
        Finish(kTakeMessageResult);
    }
}

void IncomingCallNotification::Answer() {
    if (!finished_) {
        Finish(kAnswerCallResult);
    }
}

void IncomingCallNotification::TakeMessage() {
    if (!finished_) {
        Finish(kTakeMessageResult);
    }
}

void IncomingCallNotification::Cancel() {
    if (!finished_) {
        Finish(kNotificationCancelled);
    }
}

void IncomingCallNotification::Finish(int result) {
    clock_.KillTimer(*this, kRepeatTimer);
    finished_ = true;
    result_ = result;
}

}  // namespace porthold::telephony
