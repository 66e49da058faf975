#pragma once

// A voice modem played in software: it takes the AT commands and shielded
// audio a computer writes to a modem and answers as a modem of the "+V" voice
// command set would, and its telephone line is a SimulatedModemLine whose far
// end a test or porthold-phone drives. It lets the program's modem line be
// tried and tested without a modem, including the ways real modems differ.
//
// The two chips differ as follows. Both answer ATI, +VSM=? and +VLS=? with
// their own texts, and report caller ID in their own spelling ("NMBR = 555"
// against "NMBR=555"). The Usr chip takes caller ID only as AT#CID and
// answers ERROR to AT+VCID, so that a computer has to fall back from one to
// the other; the Cx93001 chip takes both.

#include <cstdint>
#include <deque>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chip_profile.h"
#include "platform/clock.h"
#include "platform/virtual_clock.h"
#include "service/line_provider.h"
#include "service/modem/dle_codec.h"
#include "service/simulated_modem_line.h"
#include "voice_playback.h"
#include "voice_recording.h"

namespace porthold::modem_emulator {

// NeedsExtraDle: a <DLE><ETX> that does not follow a shielded DLE (10 10)
// does not end playback, as on modems that hang there; the extra 0x10 sample
// is then not played.
enum class EndOfPlayback { PlainEnd, NeedsExtraDle };
// Ignored: the modem ignores +VSD and never sends <DLE>b/d/s/q; the far end's
// hang-up is heard only as a busy tone in the recorded audio.
enum class ToneReports { Sent, Ignored };
enum class Echo { FollowsAte0, AlwaysOn };
// The reply to AT+VLS=1.
enum class VoiceLineReply { Ok, Vcon };
// ThreeTimes: each key as "/", key, key, key, "~" events over 60 ms.
enum class KeyReports { Once, ThreeTimes };
enum class CallerIdTiming { BetweenFirstTwoRings, BeforeFirstRing };
// Forgotten: ATZ turns caller ID off again.
enum class CallerIdAfterReset { Kept, Forgotten };

struct ModemQuirks {
    ChipProfile chip = ChipProfile::Usr;
    EndOfPlayback end = EndOfPlayback::PlainEnd;
    ToneReports tones = ToneReports::Sent;
    Echo echo = Echo::FollowsAte0;
    VoiceLineReply voiceLine = VoiceLineReply::Ok;
    KeyReports keys = KeyReports::Once;
    CallerIdTiming callerIdTiming = CallerIdTiming::BetweenFirstTwoRings;
    CallerIdAfterReset callerIdAfterReset = CallerIdAfterReset::Kept;
};

// What the exchange tells about the caller. An empty field is sent as "O"
// (unavailable); "P" (private) may be given as is.
struct CallerIdentity {
    std::string number = "5551234";
    std::string name = "PORTHOLD TEST";
};

// Receive and Update (the port's loop), the line's events (the line socket's
// thread, or a test) and the clock's time observer may each come from a
// thread of their own: one lock guards the modem. The line is told of the
// answer and the hang-up only once that lock is let go.
class ModemEmulator final : private service::LineEvents, private platform::TimeObserver {
public:
    class Computer {
    public:
        virtual ~Computer() = default;
        // Bytes for the computer. Called with the emulator's lock held: an
        // implementation only queues them and never calls back into the
        // emulator.
        virtual void Send(std::string_view bytes) = 0;
    };

    // Attaches itself to `line`. `clock`, `line`, `computer` and `log` must
    // outlive the emulator.
    ModemEmulator(platform::Clock& clock, service::SimulatedModemLine& line, ModemQuirks quirks,
                  Computer& computer, CallerIdentity callerId = {}, std::ostream& log = std::cerr);
    // Detaches from the line and closes the voice devices. No thread may be
    // driving the line's far end by then.
    ~ModemEmulator() override;
    ModemEmulator(const ModemEmulator&) = delete;
    ModemEmulator& operator=(const ModemEmulator&) = delete;

    // What the computer wrote: commands, or shielded audio during AT+VTX.
    void Receive(std::string_view bytes);
    // Brings playback, recording and delayed reports up to the clock. On a
    // VirtualClock the emulator follows time by itself as well.
    void Update();
    // How long a loop may sleep before Update has work; none while idle.
    std::optional<std::uint32_t> MillisecondsUntilWork() const;
    // From now on it answers nothing at all, as a hung modem.
    void StopAnswering();
    // Answers this many more command lines, then stops answering.
    void StopAnsweringAfter(std::uint32_t commandLines);

    // For tests.
    bool IsOffHook() const;
    bool IsVoiceMode() const;
    bool IsCallerIdOn() const;
    bool IsStreaming() const;
    // The +VSM number in use.
    int CompressionNumber() const;

private:
    enum class Mode { Command, Playing, Recording };
    enum class Result { Ok, Error, Connect, Vcon, NoCarrier };
    struct Scheduled {
        std::uint32_t tick;
        char code;
    };
    struct LineAction {
        enum class Kind { Answer, End };
        Kind kind;
        service::FarEndCallId call;
    };

    // LineEvents.
    service::OfferResult IncomingCall(service::FarEndCallId call) override;
    void Ring(service::FarEndCallId call) override;
    void KeyPressed(service::FarEndCallId call, char key, service::KeyMode mode) override;
    void FarEndHungUp(service::FarEndCallId call) override;
    bool SetOtherCall(service::OtherCall state) override;
    // TimeObserver.
    void OnTimeChanged(std::uint32_t tickCount) override;

    // What the line is told once the lock is let go: the line may call back
    // into the emulator from those calls.
    void TellLine(std::vector<LineAction> actions);

    // Command mode (emulator_commands.cpp). All run with the lock held.
    void ReceiveCommandBytes(std::string_view bytes);
    void RunCommandLine(std::string line);
    Result RunBasicCommands(std::string_view body);
    // Runs one basic command, taking its parameters off `rest`; the line's
    // result when it ends the line.
    std::optional<Result> RunBasicCommand(char command, std::string_view& rest);
    std::optional<Result> RunRegisterCommand(std::string_view& rest);
    Result RunExtendedCommand(std::string_view command);
    Result RunVoiceCommand(std::string_view command);
    Result RunCallerIdCommand(std::string_view command);
    Result RunCompressionCommand(std::string_view value);
    Result RunVoiceLineCommand(std::string_view value);
    Result StartStreaming(Mode mode);
    void Reset();
    void SendResult(Result result);
    void SendLine(std::string_view text);

    // The line (modem_emulator.cpp).
    Result GoOffHook();
    void GoOnHook();
    void SendCallerId();
    void SendEvent(char code);
    // The voice streams (emulator_streams.cpp).
    void ReceiveStreamBytes(std::string_view bytes);
    void UpdateLocked(std::uint32_t now);
    void FlushStreamAudio(std::vector<std::uint8_t>& audio);
    void RunStreamCode(char code);
    void SendRecorded(std::vector<std::int16_t> samples, std::uint64_t firstSample);

    bool IsSilent() const { return !answering_; }

    platform::Clock& clock_;
    platform::VirtualClock* virtualClock_;
    service::SimulatedModemLine& line_;
    const ModemQuirks quirks_;
    const ChipTexts& chip_;
    Computer& computer_;
    const CallerIdentity callerId_;
    std::ostream& log_;

    mutable std::mutex mutex_;
    bool answering_ = true;
    std::optional<std::uint32_t> commandLinesLeft_;
    bool echo_ = true;
    bool callerIdOn_ = false;
    bool voiceMode_ = false;
    const OfferedFormat* compression_;
    bool offHook_ = false;
    Mode mode_ = Mode::Command;
    std::string commandLine_;
    bool commandLineOverflow_ = false;
    bool streamPendingDle_ = false;
    bool lastAudioWasDle_ = false;
    VoicePlayback playback_;
    VoiceRecording recording_;
    service::FarEndCallId ringingCall_ = 0;
    int ringsSent_ = 0;
    service::FarEndCallId connectedCall_ = 0;
    std::optional<std::uint32_t> farEndGoneAt_;
    std::deque<Scheduled> scheduled_;
    std::vector<LineAction> lineActions_;
};

}  // namespace porthold::modem_emulator
