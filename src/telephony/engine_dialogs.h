#pragma once

#include <cstdint>
#include <string>

namespace porthold::telephony {

// Results of the incoming-call notification: the identifiers of its two
// buttons. The engine answers only on kAnswerCallResult; anything else,
// including kNotificationCancelled (the Escape key), means taking a message.
inline constexpr int kAnswerCallResult = 1020;
inline constexpr int kTakeMessageResult = 1021;
inline constexpr int kNotificationCancelled = 2;

// What the engine hands the incoming-call notification.
struct IncomingCallRequest {
    // The caller's notification text and sound (full file name, played on the
    // sound card; may be empty).
    std::string notificationText;
    std::string callerSound;
    // The sounds folder followed by "default_ring.wav": the ringing the
    // caller hears meanwhile.
    std::string ringSound;
    // The wave output device of the telephone line.
    std::uint32_t ringDevice = 0;
    // Four-second repetitions after which the notification ends by itself.
    std::int32_t repeatLimit = 0;
    // The engine's caller-keyed flag, set when the caller presses a key while
    // the notification shows; the notification reads and clears it.
    bool* callerKeyed = nullptr;
};

// The dialogs the engine opens during a call. All are modal: the call
// returns only when the dialog has closed, while the main window's timers
// (the engine's tick among them) keep running beneath it, nested. The desktop
// application shows them (driving IncomingCallNotification and PickUpPrompt);
// tests run the same logic in virtual time.
class EngineDialogs {
public:
    virtual ~EngineDialogs() = default;

    // Shows the incoming-call notification until it ends; its result.
    virtual int RunIncomingCall(const IncomingCallRequest& request) = 0;

    // Closes the notification or the talk window that is showing, for a call
    // that ended beneath it: the notification as its Escape key would. Does
    // nothing when neither is showing.
    virtual void CloseCallDialog() = 0;

    // Shows "Pick up the receiver and begin talking..." for five seconds.
    virtual void RunPickUp() = 0;

    // On a line without a handset, where the user talks to the caller through
    // the computer's microphone and speaker: shows who the user is talking to
    // with a "Hang Up" button, until the user hangs up or CloseCallDialog.
    virtual void RunTalk(const std::string& callerText) = 0;
};

}  // namespace porthold::telephony
