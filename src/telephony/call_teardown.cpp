// The end of a call, and the end of the program's telephony.

#include "telephony/call_engine.h"
#include "telephony/line_error.h"

namespace porthold::telephony {

bool CallEngine::DisconnectCall() {
    SetStatus(" Disconnecting...");
    // A notification still showing for this call would go on ringing on the
    // line, into whichever call comes next: it closes as a Cancel would. A
    // talk window has nobody left to talk to.
    if (notifiedCall_ != 0 && notifiedCall_ == state_.callHandle) {
        notifiedCall_ = 0;
        dialogs_.CloseCallDialog();
    }
    state_.callActive = false;
    messageCall_ = 0;
    state_.hangUpRequested = false;
    state_.pinComplete = false;
    state_.retrieving = false;
    state_.messagePlaying = false;
    state_.messageFinished = false;
    state_.notificationPending = false;
    state_.callerKeyed = false;
    state_.rungThrough = false;
    state_.retrievalIndex = 0;
    recorder_.ResetCounts();
    state_.invalidPinCount = 0;
    state_.digits.clear();
    state_.callerText.clear();
    state_.callerSound.clear();
    KillCallTimers();

    // With the retrieval flags cleared, no sound released here counts as a
    // finished message.
    player_.InterruptWaveOut();
    recorder_.StopRecording();

    if (state_.callHandle != 0) {
        DropCall("DisconnectCall: ");
    }
    mainControls_.UnlockMainControls();
    return true;
}

void CallEngine::DropCall(std::string_view context) {
    const HCALL call = state_.callHandle;
    const std::string prefix(context);
    MonitorDigits(0, prefix + "lineMonitorDigits");
    // Its immediate result is not looked at: a drop that fails brings no reply.
    tapi_.lineDrop(call, nullptr, 0);
    if (AwaitLineReply()) {
        const LONG result = tapi_.lineDeallocateCall(call);
        if (result < 0) {
            LogLineError(errorLog_, result, prefix + "lineDeallocateCall");
        }
    }
    // Without a reply the handle is forgotten as if the call were released.
    // Whatever the wait took about this call is of no use any more: a stale
    // LINECALLSTATE_CONNECTED would otherwise start prompting on a dead line.
    std::erase_if(deferredMessages_,
                  [call](const LINEMESSAGE& message) { return message.hDevice == call; });
    state_.callHandle = 0;
}

void CallEngine::StopTimers() {
    KillCallTimers();
    KillTimer(kTickTimer);
    ticking_ = false;
    StopResting();
}

void CallEngine::ExitInstance() {
    StopTimers();
    if (handles_.phoneHandle != 0) {
        tapi_.phoneClose(handles_.phoneHandle);
        handles_.phoneHandle = 0;
    }
    if (handles_.phoneApp != 0) {
        tapi_.phoneShutdown(handles_.phoneApp);
        handles_.phoneApp = 0;
    }
    // Teardown also finishes a message still being recorded, so that its file
    // has the right sizes and can be played later.
    player_.InterruptWaveOut();
    audio_.Teardown();

    if (state_.telephonyUnavailable) {
        return;
    }
    if (state_.callHandle != 0) {
        DropCall("ExitInstance: ");
    }
    if (handles_.lineHandle != 0) {
        const LONG result = tapi_.lineClose(handles_.lineHandle);
        if (result < 0) {
            LogLineError(errorLog_, result, "ExitInstance: lineClose");
        }
        handles_.lineHandle = 0;
    }
    if (handles_.lineApp != 0) {
        const LONG result = tapi_.lineShutdown(handles_.lineApp);
        if (result < 0) {
            LogLineError(errorLog_, result, "ExitInstance: lineShutdown");
        }
        handles_.lineApp = 0;
        handles_.lineEvent = 0;
    }
    handles_.lineStatus = TapiBuffer();
}

}  // namespace porthold::telephony
