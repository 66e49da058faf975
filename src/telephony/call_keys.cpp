// The caller's keys and the decision on the PIN they make up.

#include <string_view>

#include "telephony/call_engine.h"
#include "telephony/line_error.h"

namespace porthold::telephony {

namespace {

constexpr std::size_t kLongestPin = 10;
// Clock sleep before retrieval starts, so the owner has let go of the keypad.
constexpr std::uint32_t kRetrievalPauseMilliseconds = 500;

bool IsIgnoredKey(char key) {
    return std::string_view("ABCD*").find(key) != std::string_view::npos;
}

}  // namespace

void CallEngine::OnKey(char key) {
    // These keys never enter a PIN and never restart a timer.
    if (IsIgnoredKey(key)) {
        return;
    }
    if (state_.retrieving) {
        HandleRetrievalKey(key);
        return;
    }
    if (state_.notificationPending) {
        // The caller's answer to the notification; the key itself is dropped.
        MonitorDigits(0, "lineCallback: lineMonitorDigits");
        state_.notificationPending = false;
        state_.callerKeyed = true;
        return;
    }
    // Once the call has rung through, the PIN is decided: later keys (a
    // caller keying on after the answer, or the rest of a long entry) must
    // not start another decision and a second notification.
    if (state_.rungThrough) {
        return;
    }
    if (key == '#' || state_.digits.size() >= kLongestPin) {
        // The entry is complete; the key that ended it is not part of it.
        KillCallTimers();
        MonitorDigits(0, "lineCallback: lineMonitorDigits");
        state_.pinComplete = true;
        return;
    }
    KillTimer(kDisconnectTimer);
    KillTimer(kRenotifyTimer);
    ArmTimer(kDisconnectTimer, kDisconnectMilliseconds);
    ArmTimer(kWaitDigitTimer, kWaitDigitMilliseconds);
    state_.digits += key;
    SetStatus(" " + state_.digits);
}

void CallEngine::DecidePin() {
    const HCALL call = state_.callHandle;
    // An empty entry is tested first, so an empty remote PIN never matches.
    if (state_.digits.empty()) {
        state_.digits.assign(1, '#');  // assign(): GCC 12 misreports operator= of a literal at -O2
        RecordMessage(state_.waveInDevice);
        return;
    }
    // The remote PIN wins over a caller who has the same digits.
    if (state_.digits == settings_.RemotePIN) {
        SetStatus(" Retrieving messages...");
        MonitorDigits(LINEDIGITMODE_DTMF, "MainLoop: lineMonitorDigits");
        state_.retrieving = true;
        state_.messageFinished = false;
        state_.retrievalIndex = 0;
        clock_.Sleep(kRetrievalPauseMilliseconds);
        PlayNextMessage();
        return;
    }
    std::string text;
    std::string sound;
    if (callers_.FindPin(state_.digits, text, sound)) {
        DecideCallerPin(text, sound);
    } else {
        DecideInvalidPin();
    }
    // The notification and message boxes are modal, and the tick beneath them
    // may have ended this call and answered the next; its digits are not ours
    // to clear.
    if (IsSameCallActive(call)) {
        state_.digits.clear();
    }
}

void CallEngine::DecideCallerPin(const std::string& text, const std::string& sound) {
    state_.callerText = text;
    state_.callerSound = sound;
    Play(settings_.ValidPIN, audio::Interruptible::No);
    // Monitoring goes on so that the caller can answer the notification with a key.
    MonitorDigits(LINEDIGITMODE_DTMF, "MainLoop: lineMonitorDigits");
    state_.notificationPending = true;
    state_.rungThrough = true;

    const IncomingCallRequest request{
        .notificationText = state_.callerText,
        .callerSound = state_.callerSound,
        .ringSound = settings_.soundsFolder + "default_ring.wav",
        .ringDevice = state_.waveOutDevice,
        .repeatLimit = settings_.RingsMessage,
        .callerKeyed = &state_.callerKeyed,
    };
    const HCALL call = state_.callHandle;
    notifiedCall_ = call;
    const int result = dialogs_.RunIncomingCall(request);
    notifiedCall_ = 0;
    // The ticks beneath the notification may have torn the call down (the
    // caller hung up), and even taken the next one. Neither an answer nor a
    // message belongs to that next caller: a message taken then would record
    // the wrong caller, and the recorder's hang-up request would be left
    // standing to cut the next caller off at once.
    if (!IsSameCallActive(call)) {
        return;
    }
    if (result == kAnswerCallResult && HasHeadsetOnly()) {
        if (TalkOnHeadset(call)) {
            return;
        }
        // Without the microphone and speaker nobody could hear the caller.
    } else if (result == kAnswerCallResult) {
        dialogs_.RunPickUp();
        if (IsSameCallActive(call)) {
            SetStatus(" Connected...");
        }
        return;
    }
    Play(settings_.NoAnswer, audio::Interruptible::No);
    RecordMessage(state_.waveInDevice);
}

bool CallEngine::HasHeadsetOnly() const {
    return (handles_.phoneHookSwitchDevices & PHONEHOOKSWITCHDEV_HEADSET) != 0 &&
           (handles_.phoneHookSwitchDevices & PHONEHOOKSWITCHDEV_HANDSET) == 0;
}

bool CallEngine::TalkOnHeadset(HCALL call) {
    const LONG result = tapi_.phoneSetHookSwitch(handles_.phoneHandle, PHONEHOOKSWITCHDEV_HEADSET,
                                                 PHONEHOOKSWITCHMODE_MICSPEAKER);
    if (result < 0) {
        LogLineError(errorLog_, result, "phoneSetHookSwitch");
        return false;
    }
    SetStatus(" Connected...");
    notifiedCall_ = call;
    dialogs_.RunTalk(state_.callerText);
    notifiedCall_ = 0;
    // The window closed while the call goes on: the user hung up.
    if (IsSameCallActive(call)) {
        state_.hangUpRequested = true;
    }
    return true;
}

void CallEngine::DecideInvalidPin() {
    SetStatus(" Invalid PIN entered...");
    Play(settings_.InvalidPIN, audio::Interruptible::No);
    if (state_.invalidPinCount >= 2) {
        // The third wrong PIN: the caller leaves a message, filed under that
        // PIN marked with "*".
        state_.invalidPinCount = 0;
        state_.digits += "*";
        RecordMessage(state_.waveInDevice);
        return;
    }
    Play(settings_.Greeting, audio::Interruptible::Yes);
    MonitorDigits(LINEDIGITMODE_DTMF, "lineMonitorDigits");
    ++state_.invalidPinCount;
    ArmTimer(kDisconnectTimer, kDisconnectMilliseconds);
    ArmTimer(kRenotifyTimer, kRenotifyMilliseconds);
}

}  // namespace porthold::telephony
