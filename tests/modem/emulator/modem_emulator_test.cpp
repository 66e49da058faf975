// The emulated voice modem in-process, on virtual time: its answers, each of
// its quirks, and the audio it plays to and records from the caller.

#include "modem_emulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/virtual_clock.h"
#include "service/modem/dle_codec.h"
#include "service/modem/voice_compression.h"
#include "service/simulated_modem_line.h"

namespace porthold::modem_emulator {
namespace {

using service::modem::SampleEncoding;

constexpr char kDle = '\x10';

class ScriptedComputer final : public ModemEmulator::Computer {
public:
    void Send(std::string_view bytes) override {
        const std::lock_guard lock(mutex_);
        received_.append(bytes);
    }
    std::string Take() {
        const std::lock_guard lock(mutex_);
        return std::exchange(received_, {});
    }

private:
    std::mutex mutex_;
    std::string received_;
};

// A recorded stream split into its audio, as 16-bit samples, and its events.
struct Unshielded final : service::modem::DleReader::Sink {
    explicit Unshielded(const std::string& stream) {
        service::modem::DleReader reader;
        reader.Read(stream, *this);
    }
    void Audio(std::span<const std::uint8_t> bytes) override {
        service::modem::DecodeSamples(SampleEncoding::UnsignedLinear8, bytes, samples);
    }
    void Event(char code) override { events.push_back(code); }
    std::vector<std::int16_t> samples;
    std::string events;
};

double Loudness(std::span<const std::int16_t> samples) {
    double sum = 0;
    for (const std::int16_t sample : samples) {
        sum += static_cast<double>(sample) * sample;
    }
    return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

class ModemEmulatorTest : public ::testing::Test {
protected:
    void Start(ModemQuirks quirks = {}) {
        modem =
            std::make_unique<ModemEmulator>(clock, line, quirks, computer, CallerIdentity{}, log);
    }

    // The whole answer to one command line.
    std::string Command(const std::string& text) {
        computer.Take();
        modem->Receive(text + "\r");
        return computer.Take();
    }

    // Brings a call in and answers it in voice mode; what the modem said on
    // the way.
    std::string AnswerCall(const std::string& answerCommand = "AT+VLS=1") {
        Command("ATE0");
        Command("AT+FCLASS=8");
        EXPECT_EQ(line.Dial(), service::DialResult::Offered);
        line.Ring();
        std::string said = computer.Take();
        said += Command(answerCommand);
        return said;
    }

    // Advances in the 20 ms steps of the modem's pacing.
    void Advance(std::uint32_t milliseconds) {
        for (std::uint32_t passed = 0; passed < milliseconds; passed += 10) {
            clock.Advance(10);
        }
    }

    std::size_t SamplesPlayed() {
        std::size_t samples = 0;
        for (const platform::PlayedSound& sound : line.VoiceChannel().Timeline()) {
            samples += sound.bytes.size() / 2;
        }
        return samples;
    }

    platform::VirtualClock clock;
    service::SimulatedModemLine line{clock, "modem", 0, 1};
    ScriptedComputer computer;
    std::ostringstream log;
    std::unique_ptr<ModemEmulator> modem;
};

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

TEST_F(ModemEmulatorTest, ChipsOfferTheirOwnFormatsAndCallerIdCommands) {
    Start();
    EXPECT_EQ(Command("ATE0"), "ATE0\r" + kOk);
    EXPECT_EQ(Command("AT+VSM=?"), kError) << "voice commands need voice mode";
    EXPECT_EQ(Command("AT+VCID=1"), kError) << "this chip takes only #CID";
    EXPECT_EQ(Command("at#cid=1"), kOk);
    EXPECT_EQ(Command("AT+FCLASS=8"), kOk);
    EXPECT_NE(Command("AT+VSM=?").find("128,\"8-BIT LINEAR\",(7200,8000,11025)"),
              std::string::npos);
    EXPECT_EQ(Command("AT+VSM=129,8000"), kError) << "a format it cannot play";
    EXPECT_EQ(Command("AT+VSM=128,11025"), kError) << "the line's rate only";
    EXPECT_EQ(Command("AT+VSM=131,8000"), kOk);
    EXPECT_EQ(modem->CompressionNumber(), 131);

    modem.reset();
    Start({.chip = ChipProfile::Cx93001});
    Command("ATE0");
    EXPECT_EQ(Command("AT+VCID=1"), kOk);
    Command("AT+FCLASS=8");
    const std::string offers = Command("AT+VSM=?");
    EXPECT_NE(offers.find("\r\n2,\"D,4\",4,0,"), std::string::npos);
    EXPECT_NE(offers.find("\r\n130,\"UNSIGNED PCM\",8,0,"), std::string::npos);
    EXPECT_EQ(Command("AT+VSM=128,8000"), kError);
    EXPECT_EQ(Command("AT+VSM=130,8000,0,0"), kOk);
}

TEST_F(ModemEmulatorTest, EchoFollowsAte0UnlessItIsAlwaysOn) {
    Start();
    EXPECT_EQ(Command("AT"), "AT\r" + kOk);
    Command("ATE0");
    EXPECT_EQ(Command("AT"), kOk);
    EXPECT_EQ(Command("ATZ"), kOk);
    EXPECT_EQ(Command("AT"), "AT\r" + kOk) << "a reset turns echo on again";

    modem.reset();
    Start({.echo = Echo::AlwaysOn});
    Command("ATE0");
    EXPECT_EQ(Command("AT"), "AT\r" + kOk);
}

TEST_F(ModemEmulatorTest, GarbageCostsOneErrorAtMost) {
    Start();
    Command("ATE0");
    EXPECT_EQ(Command(std::string(1000, 'A')), kError) << "an overlong line";
    EXPECT_EQ(Command("AT"), kOk);
    EXPECT_EQ(Command("AT+NONSENSE"), kError);
    EXPECT_EQ(Command("hello"), "") << "not a command at all";
    EXPECT_EQ(Command("ATE0V1S0=0"), kOk) << "joined basic commands";
}

TEST_F(ModemEmulatorTest, AnswersTheRingingCallInVoiceModeOnly) {
    Start();
    const std::string said = AnswerCall("ATA");
    EXPECT_NE(said.find("\r\nRING\r\n"), std::string::npos);
    EXPECT_NE(said.find(std::string{kDle, 'R'}), std::string::npos);
    EXPECT_NE(said.find(kError), std::string::npos) << "ATA in voice mode";
    EXPECT_FALSE(line.IsAnswered());
    EXPECT_EQ(Command("AT+VLS=1"), kOk);
    EXPECT_TRUE(line.IsAnswered());
    EXPECT_EQ(line.Dial(), service::DialResult::Busy) << "the line is taken";
    EXPECT_EQ(Command("AT+VLS=0"), kOk);
    EXPECT_FALSE(line.IsInCall()) << "going on hook ends the call";

    modem.reset();
    Start({.voiceLine = VoiceLineReply::Vcon});
    EXPECT_NE(AnswerCall().find("\r\nVCON\r\n"), std::string::npos);
    EXPECT_TRUE(line.IsAnswered());
}

TEST_F(ModemEmulatorTest, CallerIdComesInTheChipsSpellingWhenItIsDue) {
    Start();
    Command("AT#CID=1");
    line.Dial();
    EXPECT_EQ(computer.Take(), "") << "between the first two rings only";
    line.Ring();
    EXPECT_EQ(computer.Take(),
              "\r\nRING\r\n\r\nDATE = 0105\r\n\r\nTIME = 0900\r\n\r\nNMBR = 5551234\r\n"
              "\r\nNAME = PORTHOLD TEST\r\n");
    line.HangUp();

    modem.reset();
    Start({.chip = ChipProfile::Cx93001, .callerIdTiming = CallerIdTiming::BeforeFirstRing});
    Command("AT+VCID=1");
    line.Dial();
    const std::string beforeRing = computer.Take();
    EXPECT_NE(beforeRing.find("\r\nNMBR=5551234\r\n"), std::string::npos);
    EXPECT_NE(beforeRing.find("\r\nDATE=0105\r\n"), std::string::npos);
    line.Ring();
    EXPECT_EQ(computer.Take(), "\r\nRING\r\n");
}

TEST_F(ModemEmulatorTest, ResetKeepsOrForgetsCallerId) {
    Start();
    Command("AT#CID=1");
    Command("ATZ");
    EXPECT_TRUE(modem->IsCallerIdOn());

    modem.reset();
    Start({.callerIdAfterReset = CallerIdAfterReset::Forgotten});
    Command("AT#CID=1");
    Command("ATZ");
    EXPECT_FALSE(modem->IsCallerIdOn());
    line.Dial();
    line.Ring();
    EXPECT_EQ(computer.Take(), "\r\nRING\r\n");
}

TEST_F(ModemEmulatorTest, KeysAreReportedOnceOrThreeTimes) {
    Start();
    AnswerCall();
    line.PressKey('5');
    line.PressKey('1', service::KeyMode::Pulse);
    EXPECT_EQ(computer.Take(), std::string({kDle, '5'})) << "a modem hears no pulses";

    line.HangUp();
    modem.reset();
    Start({.keys = KeyReports::ThreeTimes});
    AnswerCall();
    line.PressKey('#');
    line.PressKey('7');
    EXPECT_EQ(computer.Take(), std::string({kDle, '/', kDle, '#'}));
    Advance(200);
    EXPECT_EQ(computer.Take(), std::string({kDle, '#', kDle, '#', kDle, '~', kDle, '/', kDle, '7',
                                            kDle, '7', kDle, '7', kDle, '~'}))
        << "the second key after the first, never mixed";
}

TEST_F(ModemEmulatorTest, FarEndHangUpIsReportedAndHeardAsBusyTone) {
    for (const ToneReports tones : {ToneReports::Sent, ToneReports::Ignored}) {
        modem.reset();
        Start({.tones = tones});
        AnswerCall();
        EXPECT_EQ(Command("AT+VRX"), "\r\nCONNECT\r\n");
        Advance(500);
        line.HangUp();
        Advance(1500);
        const Unshielded recorded(computer.Take());
        EXPECT_EQ(recorded.events, tones == ToneReports::Sent ? "b" : "");
        ASSERT_GE(recorded.samples.size(), 16000u);
        const std::span<const std::int16_t> samples(recorded.samples);
        EXPECT_LT(Loudness(samples.subspan(0, 4000)), 300) << "the caller was quiet";
        EXPECT_GT(Loudness(samples.subspan(4000, 4000)), 3000) << "the tone's first half second";
        EXPECT_LT(Loudness(samples.subspan(8000, 4000)), 300) << "and its pause";
        EXPECT_GT(Loudness(samples.subspan(12000, 4000)), 3000);
        EXPECT_EQ(Command("AT+VLS=0"), "") << "the stream still runs";
    }
}

TEST_F(ModemEmulatorTest, PlaybackReachesTheCallerAtTheLineRate) {
    Start();
    AnswerCall();
    EXPECT_EQ(Command("AT+VTX"), "\r\nCONNECT\r\n");
    // A second of audio at once, one of its samples the shielded DLE byte.
    std::string audio(8000, '\x90');
    audio[100] = kDle;
    audio.insert(101, 1, kDle);
    modem->Receive(audio);
    Advance(500);
    EXPECT_NEAR(static_cast<double>(SamplesPlayed()), 4000, 200) << "paced, not all at once";
    modem->Receive(std::string{kDle, '\x03'});
    EXPECT_EQ(computer.Take(), "");
    Advance(600);
    EXPECT_EQ(computer.Take(), kOk);
    EXPECT_EQ(SamplesPlayed(), 8000u);
    const std::vector<std::int16_t> heard = line.VoiceChannel().Timeline().front().Samples();
    EXPECT_EQ(heard[100], -28672) << "the DLE byte is one sample of audio";
    EXPECT_EQ(heard[101], 0x1000);
    EXPECT_EQ(Command("AT"), kOk) << "back in command mode";
}

TEST_F(ModemEmulatorTest, PlaybackReportsEachDrySpellAndCanBeCancelled) {
    Start();
    AnswerCall();
    Command("AT+VTX");
    modem->Receive(std::string(160, '\x80'));
    Advance(200);
    modem->Receive(std::string(160, '\x80'));
    Advance(200);
    EXPECT_EQ(computer.Take(), std::string({kDle, 'u', kDle, 'u'}));
    modem->Receive(std::string(8000, '\x80'));
    Advance(100);
    modem->Receive(std::string{kDle, '\x18'} + "AT\r");
    EXPECT_EQ(computer.Take(), kOk + kOk) << "cancelled at once, then commands again";
    EXPECT_LT(SamplesPlayed(), 2000u);
}

TEST_F(ModemEmulatorTest, PlaybackKeepsAtMostTwoSecondsAhead) {
    Start();
    AnswerCall();
    Command("AT+VTX");
    modem->Receive(std::string(24000, '\x80') + std::string{kDle, '\x03'});
    Advance(3100);
    EXPECT_EQ(computer.Take(), kOk);
    EXPECT_EQ(SamplesPlayed(), 16000u);
    EXPECT_NE(log.str().find("dropped"), std::string::npos);
}

TEST_F(ModemEmulatorTest, EndOfPlaybackWithAndWithoutTheExtraDle) {
    const std::string plainEnd{kDle, '\x03'};
    const std::string extraDleEnd{kDle, kDle, kDle, '\x03'};
    Start();
    AnswerCall();
    Command("AT+VTX");
    modem->Receive(std::string(800, '\x80') + extraDleEnd);
    Advance(300);
    EXPECT_EQ(computer.Take(), kOk);
    EXPECT_EQ(SamplesPlayed(), 801u) << "a plain modem plays the extra DLE";

    line.HangUp();
    modem.reset();
    Start({.end = EndOfPlayback::NeedsExtraDle});
    AnswerCall();
    line.VoiceChannel().TakeTimeline();
    Command("AT+VTX");
    modem->Receive(std::string(800, '\x80') + plainEnd);
    Advance(300);
    EXPECT_EQ(computer.Take(), std::string({kDle, 'u'})) << "it hangs in playback";
    modem->Receive(extraDleEnd);
    Advance(100);
    EXPECT_EQ(computer.Take(), kOk);
    EXPECT_EQ(SamplesPlayed(), 800u) << "the extra DLE is not played";
}

TEST_F(ModemEmulatorTest, RecordingDeliversTheCallersSpeechUntilStopped) {
    Start();
    AnswerCall();
    std::vector<std::int16_t> speech(1600, 12800);
    std::fill(speech.begin(), speech.begin() + 400, -28672);  // the DLE byte when recorded
    line.Speak(speech);
    EXPECT_EQ(Command("AT+VRX"), "\r\nCONNECT\r\n");
    Advance(200);
    line.PressKey('9');
    modem->Receive(std::string{kDle, '!'});
    const std::string stream = computer.Take();
    const std::string end = std::string({kDle, '\x03'}) + kOk;
    ASSERT_GE(stream.size(), end.size());
    EXPECT_EQ(stream.substr(stream.size() - end.size()), end);
    const Unshielded recorded(stream.substr(0, stream.size() - end.size()));
    EXPECT_EQ(recorded.events, "9");
    ASSERT_EQ(recorded.samples.size(), 1600u);
    EXPECT_EQ(recorded.samples[0], -28672);
    EXPECT_EQ(recorded.samples[399], -28672);
    EXPECT_EQ(recorded.samples[400], 12800);
    EXPECT_EQ(Command("AT"), kOk);
}

TEST_F(ModemEmulatorTest, HungModemAnswersNothing) {
    Start();
    modem->StopAnsweringAfter(2);
    EXPECT_EQ(Command("AT"), "AT\r" + kOk);
    EXPECT_EQ(Command("AT"), "AT\r" + kOk);
    EXPECT_EQ(Command("AT"), "AT\r");
    EXPECT_EQ(Command("AT"), "");
    line.Dial();
    line.Ring();
    EXPECT_EQ(computer.Take(), "");
    EXPECT_FALSE(modem->MillisecondsUntilWork().has_value());
}

}  // namespace
}  // namespace porthold::modem_emulator
