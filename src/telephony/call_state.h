#pragma once

#include <cstdint>
#include <string>

#include "audio/call_flags.h"
#include "telephony/tapi.h"

namespace porthold::telephony {

// The call engine's state: the current call, its wave devices, the digits
// keyed and the per-call flags. Other parts of the program read and set these
// fields by name (the main window clears answeringEnabled while a management
// dialog is open, the notification reads callerKeyed), and the audio object
// reaches the retrieval and hang-up flags through audio::CallFlags.
//
// The state is kept apart from CallEngine so that the audio object, which the
// engine uses, can be built before it. Main thread only.
struct CallState final : public audio::CallFlags {
    // The offered or connected call; 0 = no call.
    HCALL callHandle = 0;
    // The call's wave devices, looked up when it is offered and kept between calls.
    std::uint32_t waveOutDevice = 0;
    std::uint32_t waveInDevice = 0;

    // False while a management dialog is open and after an answer time-out.
    bool answeringEnabled = true;
    // Start-up could not open the line; the engine then keeps the audio going only.
    bool telephonyUnavailable = false;

    bool callActive = false;
    // Set by the key that ends a PIN, consumed by the PIN decision of the same tick.
    bool pinComplete = false;
    bool hangUpRequested = false;
    int invalidPinCount = 0;
    // Digits '0' to '9', at most 10; "#" or a trailing "*" before message taking.
    std::string digits;

    // The incoming-call notification is about to open or open: the next key
    // is the caller's answer.
    bool notificationPending = false;
    bool callerKeyed = false;
    // The PIN matched a caller on the list and the user was notified; the
    // call's keys no longer make up a PIN.
    bool rungThrough = false;

    bool retrieving = false;
    bool messagePlaying = false;
    bool messageFinished = false;
    int retrievalIndex = 0;

    int newMessageCount = 0;
    // The Messages button shows the new-message look.
    bool newMessageShown = false;

    // Notification text and sound of the caller whose PIN matched.
    std::string callerText;
    std::string callerSound;

    bool IsRetrieving() const override { return retrieving; }
    bool IsMessagePlaying() const override { return messagePlaying; }
    void SetMessageFinished() override { messageFinished = true; }
    void RequestHangUp() override { hangUpRequested = true; }
};

}  // namespace porthold::telephony
