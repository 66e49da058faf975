#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "audio/audio.h"
#include "config/error_log.h"
#include "config/settings.h"
#include "platform/clock.h"
#include "platform/message_boxes.h"
#include "store/caller_pin_list.h"
#include "store/message_list.h"
#include "telephony/call_state.h"
#include "telephony/engine_dialogs.h"
#include "telephony/failure_run_log.h"
#include "telephony/line_event_watch.h"
#include "telephony/line_initializer.h"
#include "telephony/main_controls.h"
#include "telephony/message_files.h"
#include "telephony/reply_wait.h"
#include "telephony/status_line.h"
#include "telephony/tapi.h"
#include "telephony/tapi_interface.h"

namespace porthold::telephony {

// The main window's timers that drive the engine. Timer 0 is the tick; 1 to 3
// are one-shot and bound the caller's time.
inline constexpr platform::TimerId kTickTimer = 0;
inline constexpr platform::TimerId kDisconnectTimer = 1;
inline constexpr platform::TimerId kRenotifyTimer = 2;
inline constexpr platform::TimerId kWaitDigitTimer = 3;
inline constexpr std::uint32_t kTickMilliseconds = 10;
// The tick's period while it rests: no call, no sound, nothing queued. The
// service's event wakes it for a ring; this period bounds how late the window
// shows what the user changed, and costs a tenth of the full tick's wake-ups.
inline constexpr std::uint32_t kRestingTickMilliseconds = 100;
inline constexpr std::uint32_t kDisconnectMilliseconds = 30000;
inline constexpr std::uint32_t kRenotifyMilliseconds = 15000;
inline constexpr std::uint32_t kWaitDigitMilliseconds = 10000;

// The look of the Messages button with and without new messages.
inline constexpr int kNewMessagesBitmap = 147;
inline constexpr int kMessagesBitmap = 148;
inline constexpr std::string_view kNewMessagesCaption = "New\nMessage(s)";
inline constexpr std::string_view kMessagesCaption = "Messages";

// Everything the engine works with. All of it must outlive the engine.
struct CallEngineParts {
    Tapi& tapi;
    // Filled by LineInit and InitPhone; released by ExitInstance.
    TelephonyHandles& handles;
    CallState& state;
    audio::Audio& audio;
    store::CallerPinList& callers;
    store::MessageList& messages;
    const config::Settings& settings;
    config::ErrorLog& errorLog;
    platform::Clock& clock;
    // The main window: the engine's timers are the window's timers 0 to 3,
    // whose messages the window hands to OnMainWindowTimer.
    platform::TimerHandler& mainWindow;
    StatusLine& statusLine;
    MainControls& mainControls;
    platform::MessageBoxes& messageBoxes;
    EngineDialogs& dialogs;
    ReplyWaitStrategy& replyWait;
    // Lets the tick rest between calls; without it the tick keeps its 10 ms
    // period throughout.
    LineEventWatch* lineEventWatch = nullptr;
    // Whether a message file exists; empty: ask the file system.
    MessageFileProbe messageFileExists = {};
};

// The call-screening engine: one call at a time on the voice-modem line. It
// answers after the configured rings, plays the greeting, collects a PIN and
// routes the call to the user (a caller on the list), to remote retrieval (the
// owner's PIN) or to message taking, and hangs up on a caller who keys nothing.
//
// It has no thread of its own: the main window's timer 0 calls MainLoop every
// 10 ms, and MainLoop handles at most one telephony message per tick. Between
// calls, with nothing playing and nothing queued, the tick rests: it comes
// every 100 ms, and the service's event brings it back to 10 ms at once. Modal
// dialogs opened from a tick keep the window's timers running, so MainLoop is
// re-entered beneath them. Main thread only.
class CallEngine {
public:
    explicit CallEngine(CallEngineParts parts);
    CallEngine(const CallEngine&) = delete;
    CallEngine& operator=(const CallEngine&) = delete;

    CallState& State() { return state_; }
    const CallState& State() const { return state_; }

    // Starts the tick (timer 0 of the main window, every 10 ms).
    void StartTick();

    // The main window's timer messages: 0 runs the tick, 1 to 3 are the
    // engine's one-shot timers, any other is killed.
    void OnMainWindowTimer(platform::TimerId id);

    // One engine tick. A tick that finds nothing to do and nothing under way
    // lets the tick rest until the service's event or the resting period
    // wakes it.
    void MainLoop();

    // Brings a resting tick back to its 10 ms period.
    void WakeTick();

    // Handles one telephony message.
    void lineCallback(DWORD hDevice, DWORD dwMessageID, DWORD dwCallbackInstance, DWORD dwParam1,
                      DWORD dwParam2, DWORD dwParam3);

    // Blocks until the request just issued is acknowledged or 10000 ms have
    // passed; true when the reply came. Messages taken meanwhile are handled
    // on the ticks that follow, one per tick.
    bool AwaitLineReply();

    // Prompts, enters a new message in the list and starts recording it from
    // `waveInDevice`; false when no entry was made.
    bool RecordMessage(std::uint32_t waveInDevice);

    // Plays the beep, then the message at retrievalIndex (or a second beep
    // past the last one).
    void PlayNextMessage();

    // Ends the current call, whatever its stage, and returns to idle. Always true.
    bool DisconnectCall();

    // The program's end. StopTimers is its first step (from then on MainLoop no
    // longer runs); the window deletes its buttons; ExitInstance then releases
    // the phone device, the audio and the line. ExitInstance stops the timers
    // itself when the window has not.
    void StopTimers();
    void ExitInstance();

    // Messages taken during a reply wait and not handled yet.
    std::size_t PendingMessageCount() const { return deferredMessages_.size(); }

private:
    // lineCallback's cases.
    void OnNewCall(HCALL call);
    std::uint32_t QueryWaveDevice(const char* deviceClass, DWORD initialSize);
    void OnRing(DWORD ringCount);
    void OnConnected();
    void OnKey(char key);

    // The tick's steps.
    bool TakeNextMessage(LINEMESSAGE& message);
    bool Tick();
    bool MayRest(bool tookMessage) const;
    void RestOrTick(bool tookMessage);
    // Leaves the resting state without touching timer 0.
    void StopResting();
    void UpdateMessagesLook();
    void DecidePin();
    void DecideCallerPin(const std::string& text, const std::string& sound);
    void DecideInvalidPin();
    // The user answers on a line without a handset: the call's audio goes to
    // the computer's microphone and speaker until either side hangs up. False
    // when the line could not connect them.
    bool TalkOnHeadset(HCALL call);
    bool HasHeadsetOnly() const;
    void RefreshLineStatus();
    void ShowIdleStatus();

    void HandleRetrievalKey(char key);
    // RecordMessage's wait until the prompt and the beep have played.
    void WaitForSilence();
    // Drops the call and releases its handle, for DisconnectCall and ExitInstance.
    void DropCall(std::string_view context);

    // Whether `call` is still the call being handled, after a modal wait
    // beneath which the tick may have ended it.
    bool IsSameCallActive(HCALL call) const {
        return state_.callActive && state_.callHandle == call;
    }
    void Play(const std::string& file, audio::Interruptible interruptible);
    void MonitorDigits(DWORD digitModes, std::string_view context);
    void ArmTimer(platform::TimerId id, std::uint32_t milliseconds);
    void KillTimer(platform::TimerId id);
    void KillCallTimers();
    void SetStatus(std::string_view text) { statusLine_.SetStatus(text); }

    Tapi& tapi_;
    TelephonyHandles& handles_;
    CallState& state_;
    audio::Audio& audio_;
    audio::WavePlayer& player_;
    audio::WaveRecorder& recorder_;
    store::CallerPinList& callers_;
    store::MessageList& messages_;
    const config::Settings& settings_;
    config::ErrorLog& errorLog_;
    platform::Clock& clock_;
    platform::TimerHandler& mainWindow_;
    StatusLine& statusLine_;
    MainControls& mainControls_;
    platform::MessageBoxes& messageBoxes_;
    EngineDialogs& dialogs_;
    ReplyWaitStrategy& replyWait_;
    MessageFileProbe messageFileExists_;
    LineEventWatch* lineEventWatch_;
    // Whether timer 0 runs: a tick that ends after StopTimers (beneath a
    // dialog the shutdown closed) must not start it again.
    bool ticking_ = false;
    bool resting_ = false;

    std::deque<LINEMESSAGE> deferredMessages_;
    // The call whose incoming-call notification or talk window is showing; 0 = none.
    HCALL notifiedCall_ = 0;
    // The call whose message is being taken; 0 = none. Its keys are not
    // listened to any more, but those queued before the listening stopped
    // still arrive.
    HCALL messageCall_ = 0;
    FailureRunLog lineStatusLog_;
};

}  // namespace porthold::telephony
