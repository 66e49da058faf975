// The conversation with a voice modem, against a scripted modem on a virtual
// clock.

#include "service/modem_line/modem_dialogue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "modem_emulator.h"
#include "platform/virtual_clock.h"
#include "service/simulated_modem_line.h"

namespace porthold::service::modem {
namespace {

using ::testing::ElementsAre;

constexpr const char* kUsrOffers =
    "\r\n128,\"8-BIT LINEAR\",(7200,8000,11025)\r\n"
    "\r\n131,\"8-BIT ULAW\",(8000)\r\n\r\nOK\r\n";
constexpr const char* kConexantOffers =
    "\r\n1,\"UNSIGNED PCM\",8,0,(7200,8000,11025),(0),(0)\r\n"
    "\r\n130,\"UNSIGNED PCM\",8,0,(7200,8000,11025),(0),(0)\r\n"
    "\r\n131,\"G.711U\",8,0,(8000),(0),(0)\r\n"
    "\r\n133,\"SIGNED PCM\",16,0,(7200,8000,11025),(0),(0)\r\n"
    "\r\n2,\"D,4\",4,0,(8000),(0),(0)\r\n\r\nOK\r\n";

class Script final : public ModemDialogue::Writer,
                     public ModemDialogue::Listener,
                     public ModemDialogue::CallAudio {
public:
    void Write(std::string_view bytes) override { sent.append(bytes); }
    std::string TakeSent() { return std::exchange(sent, {}); }

    void Ready(ModemKind kind) override {
        heard.push_back(kind == ModemKind::Voice ? "ready voice" : "ready data-only");
    }
    void Failed(const std::string& what) override { heard.push_back("failed " + what); }
    void Ringing() override { heard.push_back("ring"); }
    void RingingStopped() override { heard.push_back("rings stopped"); }
    void CallerIdHeard(const CallerId& callerId) override { lastCallerId = callerId; }
    void AnswerFinished(AnswerOutcome outcome) override {
        heard.push_back(outcome == AnswerOutcome::Answered ? "answered" : "answer failed");
    }
    void KeyPressed(char key) override { heard.push_back(std::string("key ") + key); }
    void FarEndGone() override { heard.push_back("gone"); }
    std::vector<std::string> TakeHeard() { return std::exchange(heard, {}); }

    std::size_t TakePlayback(std::span<std::int16_t> samples) override {
        std::size_t count = 0;
        for (; count < samples.size() && !playback.empty(); ++count) {
            samples[count] = playback.front();
            playback.pop_front();
        }
        return count;
    }
    bool HasPlayback() const override { return !playback.empty(); }
    bool TakeInterrupt() override { return std::exchange(interrupt, false); }
    bool WantsRecording() const override { return recording; }
    void Recorded(std::span<const std::int16_t> samples) override {
        recorded.insert(recorded.end(), samples.begin(), samples.end());
    }

    std::string sent;
    std::vector<std::string> heard;
    CallerId lastCallerId;
    std::deque<std::int16_t> playback;
    bool interrupt = false;
    bool recording = false;
    std::vector<std::int16_t> recorded;
};

class ModemLineDialogue : public ::testing::Test {
protected:
    explicit ModemLineDialogue(CallerIdCommand callerId = CallerIdCommand::Automatic)
        : dialogue(clock, script, script, script, callerId) {}

    // The dialogue sent `command`; the modem replies.
    void Reply(const std::string& command, const std::string& reply) {
        EXPECT_EQ(script.TakeSent(), command + "\r");
        dialogue.Received(reply);
        dialogue.Update();
    }

    void StartUp(const std::string& offers = kUsrOffers) {
        dialogue.Start();
        for (const char* command : {"ATZ", "ATE0", "ATV1", "ATS0=0", "AT+VCID=1", "AT+FCLASS=8"}) {
            Reply(command, "\r\nOK\r\n");
        }
        Reply("AT+VSM=?", offers);
        Reply("AT+VLS=?", "\r\n0,1\r\n\r\nOK\r\n");
        Reply("AT+FCLASS=0", "\r\nOK\r\n");
        EXPECT_THAT(script.TakeHeard(), ElementsAre("ready voice"));
    }

    void RingAndAnswer(const std::string& lineTaken = "\r\nOK\r\n") {
        dialogue.Received("\r\nRING\r\n");
        dialogue.Answer();
        Reply("AT+FCLASS=8", "\r\nOK\r\n");
        Reply("AT+VSM=128,8000", "\r\nOK\r\n");
        Reply("AT+VIT=0", "\r\nERROR\r\n");
        Reply("AT+VLS=1", lineTaken);
        EXPECT_THAT(script.TakeHeard(), ElementsAre("ring", "answered"));
    }

    platform::VirtualClock clock;
    Script script;
    ModemDialogue dialogue;
};

TEST_F(ModemLineDialogue, EitherChipsOffersGiveEightBitLinearAtEightThousand) {
    StartUp(kConexantOffers);
    dialogue.Received("\r\nRING\r\n");
    dialogue.Answer();
    Reply("AT+FCLASS=8", "\r\nOK\r\n");
    const std::string select = script.TakeSent();
    EXPECT_TRUE(select == "AT+VSM=1,8000\r" || select == "AT+VSM=130,8000\r") << select;
    EXPECT_EQ(dialogue.Kind(), ModemKind::Voice);
}

TEST_F(ModemLineDialogue, AnEchoingModemAndTheCallerIdFallbackAndADataOnlyModem) {
    dialogue.Start();
    // This modem echoes every command, whatever ATE0 says.
    for (const char* command : {"ATZ", "ATE0", "ATV1", "ATS0=0"}) {
        Reply(command, std::string(command) + "\r\r\nOK\r\n");
    }
    Reply("AT+VCID=1", "\r\nERROR\r\n");
    Reply("AT#CID=1", "\r\nOK\r\n");
    Reply("AT+FCLASS=8", "\r\nERROR\r\n");
    EXPECT_THAT(script.TakeHeard(), ElementsAre("ready data-only"));
    EXPECT_EQ(dialogue.Kind(), ModemKind::DataOnly);
    dialogue.Received("\r\nRING\r\n");
    dialogue.Answer();
    EXPECT_THAT(script.TakeHeard(), ElementsAre("ring", "answer failed"));
    EXPECT_EQ(script.TakeSent(), "");  // never ATA
}

TEST_F(ModemLineDialogue, RingsCarryTheCallerIdAndStopAfterEightQuietSeconds) {
    StartUp();
    dialogue.Received("\r\nRING\r\n\r\nDATE = 1207\r\n\r\nTIME=1934\r\n\r\nNMBR = 5551234\r\n");
    dialogue.Received("\r\nNAME = SMITH JOHN\r\n\r\nRI");
    clock.Advance(6000);
    dialogue.Update();
    dialogue.Received("NG\r\n");
    EXPECT_THAT(script.TakeHeard(), ElementsAre("ring", "ring"));
    EXPECT_EQ(script.lastCallerId.number.text, "5551234");
    EXPECT_EQ(script.lastCallerId.name.text, "SMITH JOHN");
    EXPECT_EQ(dialogue.MillisecondsUntilWork(), 8000u);
    clock.Advance(8000);
    dialogue.Update();
    EXPECT_THAT(script.TakeHeard(), ElementsAre("rings stopped"));
    EXPECT_EQ(dialogue.MillisecondsUntilWork(), std::nullopt);  // idle: nothing but bytes
}

TEST_F(ModemLineDialogue, AModemThatTakesTheLineWithVconIsAnswered) {
    StartUp();
    RingAndAnswer("\r\nVCON\r\n");
    EXPECT_TRUE(dialogue.IsInCall());
}

TEST_F(ModemLineDialogue, PlaybackIsPacedShieldedAndEndedWithTheExtraDle) {
    StartUp();
    RingAndAnswer();
    std::vector<std::uint8_t> encoded;
    EncodeSamples(SampleEncoding::UnsignedLinear8, std::vector<std::int16_t>{-28672}, encoded);
    ASSERT_THAT(encoded, ElementsAre(0x10));
    script.playback.assign(8000, -28672);  // one second that is all DLE bytes
    dialogue.Update();
    Reply("AT+VTX", "\r\nCONNECT\r\n");
    // A little ahead of the modem's playing, never the whole second at once.
    const std::string first = script.TakeSent();
    EXPECT_GE(first.size(), 2u * 320);
    EXPECT_LE(first.size(), 2u * 800);
    EXPECT_EQ(first.find_first_not_of('\x10'), std::string::npos);
    std::size_t sent = first.size();
    for (int step = 0; step < 60 && !script.playback.empty(); ++step) {
        clock.Advance(20);
        dialogue.Update();
        sent += script.TakeSent().size();
        EXPECT_LE(sent, 2u * 8 * (clock.ElapsedMilliseconds() + 100));
    }
    EXPECT_TRUE(script.playback.empty());
    EXPECT_EQ(sent, 2u * 8000);
    clock.Advance(200);
    dialogue.Update();
    EXPECT_EQ(script.TakeSent(), "\x10\x10\x10\x03");
    dialogue.Received("\r\nOK\r\n");
    dialogue.HangUp();
    EXPECT_EQ(script.TakeSent(), "AT+VLS=0\r");
}

TEST_F(ModemLineDialogue, RecordingSurvivesSplitCodesAndCountsEachPressOnce) {
    StartUp();
    RingAndAnswer();
    script.recording = true;
    dialogue.Update();
    Reply("AT+VRX", "\r\nCONNECT\r\n");
    dialogue.Received(std::string("\x80\x80\x10\x10\x10", 5));
    dialogue.Received("5\x10");
    clock.Advance(40);
    dialogue.Received("5\x80\x10");
    clock.Advance(40);
    dialogue.Received("5\x10~\x10/\x10");
    dialogue.Received("5\x10~\x10#");
    EXPECT_THAT(script.TakeHeard(), ElementsAre("key 5", "key 5", "key #"));
    EXPECT_EQ(script.recorded.size(), 4u);
    // The modem ends the recording by itself; it starts again while wanted.
    dialogue.Received("\x10\x03\r\nOK\r\n");
    Reply("AT+VRX", "\r\nCONNECT\r\n");
    script.recording = false;
    dialogue.Update();
    EXPECT_EQ(script.TakeSent(), "\x10!");
    dialogue.Received("\x80\x10\x03\r\nOK\r\n");
    dialogue.Update();
    EXPECT_EQ(script.recorded.size(), 5u);
    // Back in voice command mode: the next request is a command.
    dialogue.HangUp();
    EXPECT_EQ(script.TakeSent(), "AT+VLS=0\r");
}

TEST_F(ModemLineDialogue, BusyToneEndsTheCallAndHangingUpFallsBackToAth) {
    StartUp();
    RingAndAnswer();
    dialogue.Received(
        "\x10"
        "b\x10"
        "d");
    EXPECT_THAT(script.TakeHeard(), ElementsAre("gone"));
    dialogue.HangUp();
    Reply("AT+VLS=0", "\r\nERROR\r\n");
    Reply("ATH", "\r\nOK\r\n");
    Reply("AT+FCLASS=0", "\r\nOK\r\n");
    Reply("AT+VCID=1", "\r\nOK\r\n");
    EXPECT_FALSE(dialogue.IsInCall());
    dialogue.Received("\r\nRING\r\n");
    EXPECT_THAT(script.TakeHeard(), ElementsAre("ring"));
}

TEST_F(ModemLineDialogue, AModemThatStopsAnsweringIsReportedOnceAndNeverWaitedFor) {
    dialogue.Start();
    EXPECT_EQ(script.TakeSent(), "ATZ\r");
    EXPECT_EQ(dialogue.MillisecondsUntilWork(), 5000u);
    clock.Advance(4999);
    dialogue.Update();
    EXPECT_TRUE(script.TakeHeard().empty());
    clock.Advance(1);
    dialogue.Update();
    EXPECT_THAT(script.TakeHeard(), ElementsAre("failed stopped answering (ATZ)"));
    EXPECT_TRUE(dialogue.IsFailed());
    EXPECT_EQ(dialogue.MillisecondsUntilWork(), std::nullopt);
    dialogue.Received("\r\nOK\r\n");
    dialogue.Update();
    EXPECT_TRUE(script.TakeHeard().empty());
}

TEST_F(ModemLineDialogue, GarbageWithoutLineEndsIsAFault) {
    dialogue.Start();
    script.TakeSent();
    dialogue.Received(std::string(300, 'x'));
    EXPECT_THAT(script.TakeHeard(), ElementsAre("failed sent garbage"));
}

// The dialogue against the software modem, with the quirks that ask most of
// it: caller ID only through #CID, an echo despite ATE0, VCON for the line,
// each key reported three times, and no tone reports at all.
class ModemLineEmulated : public ::testing::Test,
                          public ModemDialogue::Writer,
                          public modem_emulator::ModemEmulator::Computer {
protected:
    ModemLineEmulated()
        : emulator(clock, farEnd, Quirks(), *this),
          dialogue(clock, *this, script, script, CallerIdCommand::Automatic) {}

    static modem_emulator::ModemQuirks Quirks() {
        modem_emulator::ModemQuirks quirks;
        quirks.echo = modem_emulator::Echo::AlwaysOn;
        quirks.voiceLine = modem_emulator::VoiceLineReply::Vcon;
        quirks.keys = modem_emulator::KeyReports::ThreeTimes;
        quirks.tones = modem_emulator::ToneReports::Ignored;
        return quirks;
    }

    void Write(std::string_view bytes) override { emulator.Receive(bytes); }
    void Send(std::string_view bytes) override {
        const std::lock_guard lock(mutex);
        fromModem.append(bytes);
    }

    // Hands the dialogue what the modem sent until neither has more to say.
    void Pump() {
        for (int round = 0; round < 100; ++round) {
            std::string bytes;
            {
                const std::lock_guard lock(mutex);
                bytes.swap(fromModem);
            }
            if (bytes.empty()) {
                return;
            }
            dialogue.Received(bytes);
            dialogue.Update();
        }
    }

    void Run(std::uint32_t milliseconds) {
        for (std::uint32_t passed = 0; passed < milliseconds; passed += 20) {
            clock.Advance(20);
            dialogue.Update();
            Pump();
        }
    }

    platform::VirtualClock clock;
    SimulatedModemLine farEnd{clock, "far", 200, 201};
    Script script;
    std::mutex mutex;
    std::string fromModem;
    modem_emulator::ModemEmulator emulator;
    ModemDialogue dialogue;
};

TEST_F(ModemLineEmulated, ACallFromRingToTheCallersHangUp) {
    dialogue.Start();
    Pump();
    EXPECT_THAT(script.TakeHeard(), ElementsAre("ready voice"));
    EXPECT_TRUE(emulator.IsCallerIdOn());

    ASSERT_EQ(farEnd.Dial(), DialResult::Offered);
    farEnd.Ring();
    Pump();
    farEnd.Ring();
    Pump();
    EXPECT_EQ(script.lastCallerId.number.text, "5551234");
    dialogue.Answer();
    Pump();
    EXPECT_THAT(script.TakeHeard(), ElementsAre("ring", "ring", "answered"));
    EXPECT_TRUE(farEnd.IsAnswered());

    script.recording = true;
    Run(200);
    EXPECT_TRUE(emulator.IsStreaming());
    farEnd.PressKey('7');
    Run(300);
    EXPECT_THAT(script.TakeHeard(), ElementsAre("key 7"));

    // This modem says nothing of the caller's hang-up: the busy tone in the
    // recording tells.
    farEnd.HangUp();
    Run(8000);
    EXPECT_THAT(script.TakeHeard(), ElementsAre("gone"));
    script.recording = false;
    dialogue.HangUp();
    Run(200);
    EXPECT_FALSE(emulator.IsOffHook());
    EXPECT_FALSE(dialogue.IsInCall());
    EXPECT_FALSE(script.recorded.empty());
}

}  // namespace
}  // namespace porthold::service::modem
