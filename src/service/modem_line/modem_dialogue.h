#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "service/modem/caller_id.h"
#include "service/modem/dle_codec.h"
#include "service/modem/line_tone_detector.h"
#include "service/modem/voice_compression.h"
#include "service/voice_modem_settings.h"

namespace porthold::service::modem {

// What the probe found: a modem that can play and record calls, or one that
// knows data and fax only. Until the probe is done the kind is unknown.
enum class ModemKind { Unknown, Voice, DataOnly };
enum class AnswerOutcome { Answered, Failed };

// The conversation with a voice modem, without any port or thread: bytes go
// in through Received, time through Update, and the line's requests through
// Answer and HangUp; bytes to send come out through the Writer, and what
// happens on the line through the Listener. The call's audio is exchanged
// with the CallAudio: what the program plays is taken from it in the pace of
// the clock, what the modem records is handed to it as 16-bit samples.
//
// Every command has a deadline (ATZ 5 s, others 3 s), so the dialogue never
// waits on a modem without one; a modem that misses one, or sends garbage,
// is reported Failed once, after which the dialogue does nothing until the
// next Start. Not thread-safe: one thread drives it.
class ModemDialogue {
public:
    // A ringing call whose rings stop for this long has been given up.
    static constexpr std::uint32_t kRingGapMilliseconds = 8000;

    class Writer {
    public:
        virtual ~Writer() = default;
        virtual void Write(std::string_view bytes) = 0;
    };

    class Listener {
    public:
        virtual ~Listener() = default;
        // The start-up is done (again): the modem waits for calls.
        virtual void Ready(ModemKind kind) = 0;
        // The modem stopped answering or sent garbage; `what` says how, for
        // the log, such as "stopped answering (ATZ)".
        virtual void Failed(const std::string& what) = 0;
        // A ring; the first of a call starts it.
        virtual void Ringing() = 0;
        // No ring for 8 s while the call was not answered: the caller gave up.
        virtual void RingingStopped() = 0;
        virtual void CallerIdHeard(const CallerId& callerId) = 0;
        virtual void AnswerFinished(AnswerOutcome outcome) = 0;
        // A key of the answered call (0-9 * # A-D), each press once.
        virtual void KeyPressed(char key) = 0;
        // The caller hung up (the modem heard busy or dial tone, a loop break
        // or silence, or the recording carried the exchange's tone). Told
        // once a call.
        virtual void FarEndGone() = 0;
    };

    class CallAudio {
    public:
        virtual ~CallAudio() = default;
        // Copies up to `samples.size()` samples to play into `samples`;
        // returns how many (0 when the program has nothing queued now).
        virtual std::size_t TakePlayback(std::span<std::int16_t> samples) = 0;
        virtual bool HasPlayback() const = 0;
        // True once after the program dropped what it played.
        virtual bool TakeInterrupt() = 0;
        virtual bool WantsRecording() const = 0;
        virtual void Recorded(std::span<const std::int16_t> samples) = 0;
    };

    ModemDialogue(platform::Clock& clock, Writer& writer, Listener& listener, CallAudio& audio,
                  CallerIdCommand callerId);

    // Starts the conversation anew on a freshly opened port: resets the modem,
    // and the first time also probes what it can do.
    void Start();
    void Received(std::string_view bytes);
    // Acts on the time and on the CallAudio's wishes.
    void Update();
    // Takes the ringing call off hook in voice mode; AnswerFinished follows.
    void Answer();
    // Ends the call's audio and puts the line on hook; harmless without a call.
    void HangUp();

    // How long the dialogue can wait for bytes before it needs Update; none
    // when only bytes or a request can give it work.
    std::optional<std::uint32_t> MillisecondsUntilWork() const;

    ModemKind Kind() const { return kind_; }
    bool IsFailed() const { return phase_ == Phase::Failed; }
    bool IsInCall() const;

private:
    enum class Phase {
        Stopped,
        Starting,
        Idle,
        Answering,
        VoiceCommand,
        Playing,
        Recording,
        EndingMedia,
        HangingUp,
        Failed
    };
    // In groups (start-up, probe, answer, media, hang-up), in this order:
    // Finish hands each group's results to its own function by it.
    enum class Step {
        Reset,
        EchoOff,
        Verbose,
        NoAutoAnswer,
        CallerIdVcid,
        CallerIdCid,
        ProbeVoice,
        ProbeCompression,
        ProbeLineSelect,
        ProbeDataClass,
        AnswerVoice,
        AnswerCompression,
        AnswerInactivity,
        AnswerLineSelect,
        StartPlayback,
        StartRecording,
        EndMedia,
        HangUpLineSelect,
        HangUpHook,
        HangUpDataClass,
        HangUpCallerId
    };
    enum class Result { Ok, Error, Connect, TimedOut };
    struct Pending {
        Step step;
        std::string text;  // the command without "\r", for the log and the echo
        std::uint32_t deadline;
    };

    class StreamSink;
    friend class StreamSink;

    // Commands and their results (modem_dialogue.cpp).
    void Send(Step step, std::string command);
    void SendWithoutCommand(Step step, std::string_view bytes, std::string name);
    void TakeByte(char byte);
    void TakeLine(std::string line);
    void TakeIdleLine(std::string_view line);
    void Finish(Result result);
    void StartUpStepDone(Step step, Result result);
    void CallerIdStepDone(Step step, Result result);
    void ProbeStepDone(Step step, Result result);
    void AnswerStepDone(Step step, Result result);
    void HangUpStepDone(Step step, Result result);
    void SendCallerIdCommand(CallerIdCommand command, Step next);
    void BecomeIdle();
    void StartHangUp();
    void Fail(std::string what);

    // The call's audio and the modem's events (modem_dialogue_media.cpp).
    void MediaStepDone(Step step, Result result);
    void UpdateCall();
    void Pace();
    void EndPlayback();
    void ReadRecordedStream(std::string_view bytes);
    void TakeEvent(char code);
    void TakeKey(char key);
    void TakeRecordedAudio(std::span<const std::uint8_t> bytes);
    void ReportFarEndGone();
    void Ring();
    std::uint32_t PacingWait() const;

    platform::Clock& clock_;
    Writer& writer_;
    Listener& listener_;
    CallAudio& audio_;
    const CallerIdCommand configuredCallerId_;

    Phase phase_ = Phase::Stopped;
    ModemKind kind_ = ModemKind::Unknown;
    std::optional<CompressionChoice> compression_;
    // The caller-ID command the modem took; sent again after each call.
    CallerIdCommand callerIdInUse_ = CallerIdCommand::Off;

    std::optional<Pending> pending_;
    std::vector<std::string> responseLines_;
    std::string line_;
    bool pendingDle_ = false;

    bool ringing_ = false;
    std::uint32_t lastRingTick_ = 0;
    CallerIdReader callerId_;
    bool hangUpRequested_ = false;
    bool farEndGone_ = false;

    // The recorded stream, from CONNECT after AT+VRX to DLE ETX.
    bool inRecordedStream_ = false;
    DleReader streamReader_;
    LineToneDetector toneDetector_;

    std::uint32_t playStartTick_ = 0;
    std::uint64_t playedSamples_ = 0;

    char lastKey_ = 0;
    std::uint32_t lastKeyTick_ = 0;
};

}  // namespace porthold::service::modem
