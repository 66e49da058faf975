#include "telephony/call_engine.h"

#include <cstddef>
#include <memory>
#include <utility>

#include "telephony/line_error.h"
#include "telephony/tapi_buffer.h"

namespace porthold::telephony {

namespace {

// Sizes the two wave-device queries start with, and how their buffers grow
// while the service answers that they are too small.
constexpr DWORD kWaveInQuerySize = 32;
constexpr DWORD kWaveOutQuerySize = 1024;
constexpr DWORD kQueryGrowth = 32;
// A service that keeps answering "too small" beyond this is broken.
constexpr DWORD kLargestQuerySize = 0x10000;
// The device identifier is the first byte after the VARSTRING's fixed part.
constexpr std::size_t kDeviceIdOffset = sizeof(VARSTRING);

}  // namespace

CallEngine::CallEngine(CallEngineParts parts)
    : tapi_(parts.tapi),
      handles_(parts.handles),
      state_(parts.state),
      audio_(parts.audio),
      player_(parts.audio.Player()),
      recorder_(parts.audio.Recorder()),
      callers_(parts.callers),
      messages_(parts.messages),
      settings_(parts.settings),
      errorLog_(parts.errorLog),
      clock_(parts.clock),
      mainWindow_(parts.mainWindow),
      statusLine_(parts.statusLine),
      mainControls_(parts.mainControls),
      messageBoxes_(parts.messageBoxes),
      dialogs_(parts.dialogs),
      replyWait_(parts.replyWait),
      messageFileExists_(parts.messageFileExists ? std::move(parts.messageFileExists)
                                                 : MessageFileProbe(MessageFileExists)),
      lineEventWatch_(parts.lineEventWatch),
      lineStatusLog_(parts.errorLog, parts.clock, "lineGetLineDevStatus") {}

void CallEngine::StartTick() {
    StopResting();
    ticking_ = true;
    ArmTimer(kTickTimer, kTickMilliseconds);
}

void CallEngine::OnMainWindowTimer(platform::TimerId id) {
    switch (id) {
        case kTickTimer:
            MainLoop();
            break;
        case kDisconnectTimer:
            KillTimer(kDisconnectTimer);
            state_.hangUpRequested = true;
            break;
        case kRenotifyTimer:
            KillTimer(kRenotifyTimer);
            Play(settings_.Greeting, audio::Interruptible::Yes);
            break;
        case kWaitDigitTimer:
            // The status line keeps showing the old digits.
            KillTimer(kWaitDigitTimer);
            Play(settings_.Greeting, audio::Interruptible::Yes);
            state_.digits.clear();
            break;
        default:
            KillTimer(id);
            break;
    }
}

void CallEngine::MainLoop() {
    const bool tookMessage = Tick();
    RestOrTick(tookMessage);
}

// True when the tick took a telephony message.
bool CallEngine::Tick() {
    if (recorder_.IsRecording()) {
        recorder_.Rebuffer();
    }
    player_.DeleteWaveOut();
    // Without a line the tick only keeps the audio going, for the settings
    // dialog's recordings.
    if (state_.telephonyUnavailable) {
        return false;
    }

    LINEMESSAGE message{};
    const bool tookMessage = TakeNextMessage(message);
    if (tookMessage) {
        lineCallback(message.hDevice, message.dwMessageID, message.dwCallbackInstance,
                     message.dwParam1, message.dwParam2, message.dwParam3);
    }
    UpdateMessagesLook();
    if (state_.pinComplete) {
        state_.pinComplete = false;
        DecidePin();
    }
    // The step to the next message waits for the whole message to play, so
    // it waits first for the messages queued meanwhile: one of them may be
    // the caller's hang-up, and each taken ahead of it would otherwise play
    // another message to nobody.
    if (state_.retrieving && state_.messageFinished && !tookMessage) {
        ++state_.retrievalIndex;
        state_.messageFinished = false;
        PlayNextMessage();
    }
    if (state_.hangUpRequested && state_.callActive) {
        DisconnectCall();
    }
    RefreshLineStatus();
    ShowIdleStatus();
    return tookMessage;
}

// A message taken may have company in the queue; only a tick that found it
// empty has seen the service clear its event.
bool CallEngine::MayRest(bool tookMessage) const {
    return lineEventWatch_ != nullptr && !tookMessage && deferredMessages_.empty() &&
           state_.callHandle == 0 && !state_.callActive && !state_.retrieving &&
           !state_.pinComplete && !state_.hangUpRequested && !recorder_.IsRecording() &&
           player_.IsQueueEmpty();
}

void CallEngine::RestOrTick(bool tookMessage) {
    const bool rest = MayRest(tookMessage);
    if (rest == resting_ || !ticking_) {
        return;
    }
    if (!rest) {
        WakeTick();
        return;
    }
    resting_ = true;
    // Without a line nothing would set the event; the resting period alone
    // keeps the audio going.
    if (handles_.lineEvent != 0 && !state_.telephonyUnavailable) {
        lineEventWatch_->Watch(static_cast<int>(handles_.lineEvent), [this] { WakeTick(); });
    }
    ArmTimer(kTickTimer, kRestingTickMilliseconds);
}

void CallEngine::WakeTick() {
    if (!resting_ || !ticking_) {
        return;
    }
    StopResting();
    ArmTimer(kTickTimer, kTickMilliseconds);
}

void CallEngine::StopResting() {
    if (std::exchange(resting_, false)) {
        lineEventWatch_->Stop();
    }
}

bool CallEngine::TakeNextMessage(LINEMESSAGE& message) {
    // Messages a reply wait took come first: they were queued earlier than
    // anything still in the service's queue.
    if (!deferredMessages_.empty()) {
        message = deferredMessages_.front();
        deferredMessages_.pop_front();
        return true;
    }
    // Nothing queued and errors alike are not worth a log line here.
    return tapi_.lineGetMessage(handles_.lineApp, &message, 0) == 0;
}

void CallEngine::UpdateMessagesLook() {
    if (state_.newMessageCount > 0 && !state_.newMessageShown) {
        mainControls_.SetMessagesLook(kNewMessagesBitmap, kNewMessagesCaption);
        state_.newMessageShown = true;
    } else if (state_.newMessageCount == 0 && state_.newMessageShown) {
        mainControls_.SetMessagesLook(kMessagesBitmap, kMessagesCaption);
        state_.newMessageShown = false;
    }
}

void CallEngine::RefreshLineStatus() {
    TapiBuffer& status = handles_.lineStatus;
    if (status.Size() < sizeof(LINEDEVSTATUS)) {
        status.Resize(sizeof(LINEDEVSTATUS));
    }
    lineStatusLog_.Report(
        tapi_.lineGetLineDevStatus(handles_.lineHandle, status.As<LINEDEVSTATUS>()));
}

void CallEngine::ShowIdleStatus() {
    if (state_.callActive || !state_.answeringEnabled || state_.callHandle != 0) {
        return;
    }
    const DWORD activeCalls = handles_.lineStatus.Field(offsetof(LINEDEVSTATUS, dwNumActiveCalls));
    // A call on the line that is not ours belongs to another application.
    SetStatus(activeCalls > 0 ? " Line in use..." : " Waiting for call...");
}

void CallEngine::lineCallback(DWORD /*hDevice*/, DWORD dwMessageID, DWORD /*dwCallbackInstance*/,
                              DWORD dwParam1, DWORD dwParam2, DWORD dwParam3) {
    switch (dwMessageID) {
        case LINE_APPNEWCALL:
            if (dwParam3 == LINECALLPRIVILEGE_OWNER) {
                OnNewCall(dwParam2);
            }
            break;
        case LINE_LINEDEVSTATE:
            if (dwParam1 == LINEDEVSTATE_RINGING) {
                OnRing(dwParam3);
            }
            break;
        case LINE_CALLSTATE:
            if (dwParam1 == LINECALLSTATE_CONNECTED && !state_.callActive) {
                OnConnected();
            } else if (dwParam1 == LINECALLSTATE_DISCONNECTED && state_.callActive) {
                DisconnectCall();
            } else if (dwParam1 == LINECALLSTATE_IDLE && state_.callHandle != 0) {
                const LONG result = tapi_.lineDeallocateCall(state_.callHandle);
                if (result < 0) {
                    LogLineError(errorLog_, result, "lineCallback: lineDeallocateCall");
                }
                state_.callHandle = 0;
            }
            break;
        case LINE_MONITORDIGITS:
            // A key keyed in the same burst as the one that began message
            // taking would otherwise take another message, or decide a PIN
            // and play its prompts into the recording.
            if (messageCall_ != 0 && messageCall_ == state_.callHandle) {
                break;
            }
            if (dwParam2 == LINEDIGITMODE_PULSE) {
                // A pulse-dialling caller cannot key a PIN: a message is taken
                // at once, with whatever digits were keyed.
                MonitorDigits(0, "lineCallback: lineMonitorDigits");
                RecordMessage(state_.waveInDevice);
            } else if (dwParam2 == LINEDIGITMODE_DTMF) {
                OnKey(static_cast<char>(dwParam1 & 0xFF));
            }
            break;
        default:
            break;
    }
}

void CallEngine::OnNewCall(HCALL call) {
    state_.callHandle = call;
    state_.waveInDevice = QueryWaveDevice("wave/in", kWaveInQuerySize);
    state_.waveOutDevice = QueryWaveDevice("wave/out", kWaveOutQuerySize);
}

std::uint32_t CallEngine::QueryWaveDevice(const char* deviceClass, DWORD initialSize) {
    TapiBuffer buffer(initialSize);
    for (;;) {
        const LONG result =
            tapi_.lineGetIDA(handles_.lineHandle, /*addressId=*/0, state_.callHandle,
                             LINECALLSELECT_CALL, buffer.As<VARSTRING>(), deviceClass);
        if (result == LINEERR_STRUCTURETOOSMALL &&
            buffer.Size() + kQueryGrowth <= kLargestQuerySize) {
            buffer.Resize(buffer.Size() + kQueryGrowth);
            continue;
        }
        if (result < 0) {
            LogLineError(errorLog_, result, "HandleTapiMessage: lineGetID");
        }
        break;
    }
    // Read whether or not the query succeeded: a zero-filled buffer gives 0.
    return buffer.Field(kDeviceIdOffset);
}

void CallEngine::OnRing(DWORD ringCount) {
    SetStatus(" Ringing...");
    // A ring read after the answer is late news of the same call: answering
    // it again would only wait out a reply that never comes.
    if (!state_.answeringEnabled || state_.callActive || ringCount < settings_.RingsAnswer ||
        state_.callHandle == 0) {
        return;
    }
    // The immediate result is not looked at: without a reply the wait decides.
    tapi_.lineAnswer(state_.callHandle, nullptr, 0);
    if (!AwaitLineReply()) {
        // A service that does not acknowledge an answer is not trusted with
        // another until the user has opened and closed a management dialog.
        state_.answeringEnabled = false;
        DisconnectCall();
    }
}

void CallEngine::OnConnected() {
    mainControls_.LockMainControls();
    if (settings_.UseSitTone) {
        Play(settings_.soundsFolder + "sit_tone.wav", audio::Interruptible::No);
    }
    SetStatus(" Prompting for PIN...");
    state_.callActive = true;
    Play(settings_.Greeting, audio::Interruptible::Yes);
    state_.invalidPinCount = 0;
    MonitorDigits(LINEDIGITMODE_DTMF, "lineCallback: lineMonitorDigits");
    ArmTimer(kDisconnectTimer, kDisconnectMilliseconds);
    ArmTimer(kRenotifyTimer, kRenotifyMilliseconds);
}

bool CallEngine::AwaitLineReply() {
    auto waiter = std::make_shared<ReplyWaiter>(tapi_, handles_.lineApp, clock_);
    const bool replied = replyWait_.Await(waiter);
    waiter->Abandon();
    for (const LINEMESSAGE& message : waiter->TakeKeptMessages()) {
        deferredMessages_.push_back(message);
    }
    return replied;
}

void CallEngine::Play(const std::string& file, audio::Interruptible interruptible) {
    // A sound that cannot be played is reported by the player; the call goes on.
    player_.PlayWaveOut(file, state_.waveOutDevice, interruptible);
}

void CallEngine::MonitorDigits(DWORD digitModes, std::string_view context) {
    const LONG result = tapi_.lineMonitorDigits(state_.callHandle, digitModes);
    if (result < 0) {
        LogLineError(errorLog_, result, context);
    }
}

void CallEngine::ArmTimer(platform::TimerId id, std::uint32_t milliseconds) {
    clock_.SetTimer(mainWindow_, id, milliseconds);
}

void CallEngine::KillTimer(platform::TimerId id) {
    clock_.KillTimer(mainWindow_, id);
}

void CallEngine::KillCallTimers() {
    KillTimer(kDisconnectTimer);
    KillTimer(kRenotifyTimer);
    KillTimer(kWaitDigitTimer);
}

}  // namespace porthold::telephony
