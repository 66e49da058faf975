// porthold-phone's command line: everything is checked before dialling.

#include "phone_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/wave_layout.h"
#include "service/line_protocol.h"
#include "support/fake_environment.h"
#include "support/temporary_folder.h"

namespace porthold::phone {
namespace {

using porthold::testing::FakeEnvironment;
using porthold::testing::TemporaryFolder;
using ::testing::HasSubstr;

// A WAVE file written by hand, so that its format chunk can be of any size.
std::string WaveBytes(std::uint16_t channels, std::uint32_t rate, std::uint32_t formatChunkSize,
                      std::size_t sampleCount) {
    std::string bytes;
    const auto put16 = [&](std::uint16_t value) {
        bytes.push_back(static_cast<char>(value & 0xFF));
        bytes.push_back(static_cast<char>(value >> 8));
    };
    const auto put32 = [&](std::uint32_t value) {
        put16(static_cast<std::uint16_t>(value & 0xFFFF));
        put16(static_cast<std::uint16_t>(value >> 16));
    };
    const auto dataSize = static_cast<std::uint32_t>(sampleCount * 2 * channels);
    bytes += "RIFF";
    put32(4 + 8 + formatChunkSize + 8 + dataSize);
    bytes += "WAVEfmt ";
    put32(formatChunkSize);
    put16(1);
    put16(channels);
    put32(rate);
    put32(rate * 2 * channels);
    put16(static_cast<std::uint16_t>(2 * channels));
    put16(16);
    for (std::uint32_t extra = 16; extra < formatChunkSize; extra += 2) {
        put16(0);
    }
    bytes += "data";
    put32(dataSize);
    bytes.append(dataSize, '\x01');
    return bytes;
}

class PhoneOptions : public ::testing::Test {
protected:
    // The user's own configuration is never read.
    PhoneOptions() { environment.variables["PORTHOLD_LINES_FILE"] = folder.File("absent.conf"); }

    std::optional<PhoneCommand> Parse(const std::vector<std::string>& arguments) {
        problem.clear();
        return ParsePhoneCommand(arguments, environment, problem);
    }

    TemporaryFolder folder;
    FakeEnvironment environment;
    std::string problem;
};

TEST_F(PhoneOptions, ACallWithEveryOptionAndStep) {
    folder.Write("hello.wav", WaveBytes(1, 8000, 16, 800));
    const auto command =
        Parse({"call", "--socket", "/run/line.sock", "--ring-every=0.25", "--rings-before-hangup",
               "3", "--hear", folder.File("heard.wav"), "wait:1.5", "keys:12*#abcd", "pulse:0",
               "say:" + folder.File("hello.wav"), "hangup"});
    ASSERT_TRUE(command) << problem;
    ASSERT_EQ(command->kind, PhoneCommand::Kind::Call);
    const CallOptions& call = command->call;
    EXPECT_EQ(call.socketPath, "/run/line.sock");
    EXPECT_EQ(call.ringEveryMilliseconds, 250u);
    EXPECT_EQ(call.ringsBeforeHangUp, 3u);
    EXPECT_EQ(call.hearFile, folder.File("heard.wav"));
    ASSERT_EQ(call.steps.size(), 5u);
    EXPECT_EQ(call.steps[0].milliseconds, 1500u);
    EXPECT_EQ(call.steps[1].keys, "12*#ABCD");
    EXPECT_EQ(call.steps[2].kind, Step::Kind::Pulse);
    EXPECT_EQ(call.steps[3].samples.size(), 800u);
    EXPECT_EQ(call.steps[4].kind, Step::Kind::HangUp);
}

TEST_F(PhoneOptions, WithoutOptionsTheCallerRingsEverySixSecondsOnTheDefaultLine) {
    environment.variables["PORTHOLD_LINES_FILE"] = folder.File("none.conf");
    environment.variables["XDG_RUNTIME_DIR"] = "/run/user/5";
    const auto command = Parse({"call"});
    ASSERT_TRUE(command) << problem;
    EXPECT_EQ(command->call.ringEveryMilliseconds, 6000u);
    EXPECT_FALSE(command->call.ringsBeforeHangUp);
    EXPECT_EQ(command->call.socketPath, "/run/user/5/porthold/line0.sock");
    EXPECT_TRUE(command->call.steps.empty());

    folder.Write("lines.conf", "line office simulated-modem socket=/srv/office.sock\n");
    environment.variables["PORTHOLD_LINES_FILE"] = folder.File("lines.conf");
    EXPECT_EQ(Parse({"busy", "2"})->busy.socketPath, "/srv/office.sock")
        << "the first configured line";
    EXPECT_EQ(Parse({"busy", "2"})->busy.milliseconds, 2000u);
}

TEST_F(PhoneOptions, SpeechMustBeTelephoneQualityPcm) {
    folder.Write("long-format.wav", WaveBytes(1, 8000, 18, 10));
    EXPECT_TRUE(Parse({"call", "say:" + folder.File("long-format.wav")})) << problem;

    folder.Write("stereo.wav", WaveBytes(2, 8000, 16, 10));
    folder.Write("fast.wav", WaveBytes(1, 11025, 16, 10));
    folder.Write("odd-format.wav", WaveBytes(1, 8000, 20, 10));
    for (const char* name : {"stereo.wav", "fast.wav", "odd-format.wav"}) {
        EXPECT_FALSE(Parse({"call", "say:" + folder.File(name)}));
        EXPECT_THAT(problem, HasSubstr("8000 Hz, 16 bits, mono")) << name;
    }
}

TEST_F(PhoneOptions, SpeechLongerThanTheLineTakesIsRefusedBeforeDialling) {
    const std::size_t longest = service::kMaximumPayload / 2;
    folder.Write("longest.wav", WaveBytes(1, 8000, 16, longest));
    const auto command = Parse({"call", "say:" + folder.File("longest.wav")});
    ASSERT_TRUE(command) << problem;
    EXPECT_EQ(command->call.steps.at(0).samples.size(), longest);

    folder.Write("too-long.wav", WaveBytes(1, 8000, 16, longest + 1));
    EXPECT_FALSE(Parse({"call", "say:" + folder.File("too-long.wav")}));
    EXPECT_THAT(problem, HasSubstr("longer than the line takes (10 minutes)"));
}

TEST_F(PhoneOptions, WrongInputIsNamed) {
    struct Case {
        std::vector<std::string> arguments;
        const char* problem;
    };
    for (const Case& wrong : std::vector<Case>{
             {{}, "a command is needed"},
             {{"dial"}, "unknown command \"dial\""},
             {{"call", "knock:3"}, "unknown step \"knock:3\""},
             {{"call", "keys:12E"}, "unknown key \"E\""},
             {{"call", "keys:"}, "at least one key"},
             {{"call", "pulse:#"}, "one digit"},
             {{"call", "wait:-1"}, "wait needs seconds"},
             {{"call", "wait:1."}, "wait needs seconds"},
             {{"call", "hangup", "keys:1"}, "nothing can follow hangup"},
             {{"call", "say:/no/such.wav"}, "missing or not a WAVE file"},
             {{"call", "--ring-every", "0"}, "--ring-every needs seconds above 0"},
             {{"call", "--rings-before-hangup", "0"}, "needs a number above 0"},
             {{"call", "--hear", "/no/such/folder/heard.wav"}, "cannot write"},
             {{"call", "--socket"}, "--socket needs a value"},
             {{"call", "--loud"}, "unknown option --loud"},
             {{"busy"}, "busy needs the seconds"},
             {{"busy", "2", "3"}, "unexpected \"3\""},
         }) {
        EXPECT_FALSE(Parse(wrong.arguments));
        EXPECT_THAT(problem, HasSubstr(wrong.problem));
    }
}

TEST(PhoneSeconds, DecimalsAreRoundedToMilliseconds) {
    EXPECT_EQ(ParseSeconds("6"), 6000u);
    EXPECT_EQ(ParseSeconds("0.2"), 200u);
    EXPECT_EQ(ParseSeconds(".5"), 500u);
    EXPECT_EQ(ParseSeconds("1.0005"), 1001u);
    EXPECT_EQ(ParseSeconds("0"), 0u);
    for (const char* bad : {"", ".", "1.", "1e3", "-2", "1,5", "86401", "x"}) {
        EXPECT_FALSE(ParseSeconds(bad)) << bad;
    }
}

}  // namespace
}  // namespace porthold::phone
