// The service's configuration file and the socket conversation's framing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "service/line_configuration.h"
#include "service/line_protocol.h"
#include "service/sip_line_settings.h"
#include "support/fake_environment.h"
#include "support/temporary_folder.h"

namespace porthold::service {
namespace {

using porthold::testing::FakeEnvironment;
using porthold::testing::TemporaryFolder;
using ::testing::ElementsAre;

TEST(ServiceConfiguration, WithoutAFileThereIsOneSimulatedModemLine) {
    TemporaryFolder folder;
    FakeEnvironment environment;
    environment.variables["XDG_CONFIG_HOME"] = folder.Path() + "config";
    environment.variables["XDG_RUNTIME_DIR"] = "/run/user/1000";
    EXPECT_EQ(LinesFilePath(environment), folder.Path() + "config/porthold/lines.conf");

    ServiceConfiguration configuration = LoadServiceConfiguration(environment);
    ASSERT_EQ(configuration.lines.size(), 1u);
    EXPECT_EQ(configuration.lines[0].name, "line0");
    EXPECT_EQ(configuration.lines[0].socketPath, "/run/user/1000/porthold/line0.sock");
    EXPECT_TRUE(configuration.problems.empty());

    // Tests put the default line's socket where they like; without a runtime
    // folder the socket goes to a folder of the user's own under /tmp.
    environment.variables["PORTHOLD_LINE_SOCKET"] = folder.File("test.sock");
    EXPECT_EQ(LoadServiceConfiguration(environment).lines[0].socketPath, folder.File("test.sock"));
    environment.variables.erase("PORTHOLD_LINE_SOCKET");
    environment.variables["XDG_RUNTIME_DIR"] = "relative/ignored";
    EXPECT_EQ(LoadServiceConfiguration(environment).lines[0].socketPath,
              "/tmp/porthold-" + std::to_string(::getuid()) + "/line0.sock");
}

TEST(ServiceConfiguration, TheFileListsLinesAndLeavesOutWhatIsWrong) {
    TemporaryFolder folder;
    folder.Write("lines.conf",
                 "# two lines\n"
                 "line office simulated-modem socket=/srv/office.sock answer=connected-first\n"
                 "\n"
                 "line home simulated-modem   # default socket\r\n"
                 "line home simulated-modem\n"
                 "line fax sip-trunk\n"
                 "line ../up simulated-modem\n"
                 "line rel simulated-modem socket=relative.sock\n"
                 "line odd simulated-modem colour=blue\n"
                 "modem x\n"
                 "line lonely\n");
    FakeEnvironment environment;
    environment.variables["PORTHOLD_LINES_FILE"] = folder.File("lines.conf");
    environment.variables["XDG_RUNTIME_DIR"] = "/run/user/7";
    environment.variables["PORTHOLD_LINE_SOCKET"] = "/ignored/because/configured.sock";

    const ServiceConfiguration configuration = LoadServiceConfiguration(environment);
    ASSERT_EQ(configuration.lines.size(), 2u);
    EXPECT_EQ(configuration.lines[0].name, "office");
    EXPECT_EQ(configuration.lines[0].socketPath, "/srv/office.sock");
    EXPECT_EQ(configuration.lines[0].answerOrder, AnswerOrder::ConnectedThenReply);
    EXPECT_EQ(configuration.lines[1].name, "home");
    EXPECT_EQ(configuration.lines[1].socketPath, "/run/user/7/porthold/home.sock");
    EXPECT_EQ(configuration.lines[1].answerOrder, AnswerOrder::ReplyThenConnected);
    EXPECT_THAT(
        configuration.problems,
        ElementsAre("lines.conf:5: line \"home\" is configured twice",
                    "lines.conf:6: unknown provider \"sip-trunk\"",
                    "lines.conf:7: \"../up\" is not a usable line name (letters, digits, - _ .)",
                    "lines.conf:8: the socket of line \"rel\" needs an absolute path",
                    "lines.conf:9: unknown option \"colour=blue\"",
                    "lines.conf:10: unknown entry \"modem\"",
                    "lines.conf:11: a line needs a name and a provider"));
}

TEST(ServiceConfiguration, AnEmptyFileMeansNoLines) {
    TemporaryFolder folder;
    folder.Write("lines.conf", "# nothing here\n");
    FakeEnvironment environment;
    environment.variables["PORTHOLD_LINES_FILE"] = folder.File("lines.conf");
    EXPECT_TRUE(LoadServiceConfiguration(environment).lines.empty());
}

TEST(ServiceConfiguration, SipLinesTakeTheirDefaultsAndFindTheirPasswordFiles) {
    TemporaryFolder folder;
    folder.Write("lines.conf",
                 "line home sip listen=[::1]:5070 registrar=sips:sip.example.net user=1001 "
                 "password-file=~/.config/home.secret ring-every=0.5\n"
                 "line home sip listen=192.168.1.2:6000 registrar=sip:sip.example.net user=1001%23 "
                 "password-file=~/.config/home.secret ring-every=2.25\n"
                 "line bare sip\n"
                 "line pbx sip listen=[::1]:5070 registrar=sip:pbx#2.example "
                 "user=7\tpassword-file=pbx#2.secret"
                 "\t# the second exchange\r\n"
                 "line modem simulated-modem  #comment\n");
    FakeEnvironment environment;
    environment.variables["PORTHOLD_LINES_FILE"] = folder.File("lines.conf");
    environment.variables["HOME"] = "/home/someone/";
    environment.variables["XDG_RUNTIME_DIR"] = "/run/user/7";
    environment.variables["PORTHOLD_LINE_SOCKET"] = "/tmp/first-simulated.sock";

    const ServiceConfiguration configuration = LoadServiceConfiguration(environment);
    EXPECT_THAT(configuration.problems,
                ElementsAre("lines.conf:1: line \"home\": ring-every= needs 1 to 60 seconds"));
    ASSERT_EQ(configuration.lines.size(), 4u);
    const SipLineSettings& home = configuration.lines[0].sip;
    EXPECT_EQ(configuration.lines[0].provider, ProviderKind::Sip);
    EXPECT_TRUE(configuration.lines[0].socketPath.empty());
    EXPECT_EQ(home.listen.host, "192.168.1.2");
    EXPECT_EQ(home.listen.port, 6000);
    EXPECT_EQ(home.registrar, "sip:sip.example.net");
    EXPECT_EQ(home.user, "1001%23");
    EXPECT_EQ(home.passwordFile, "/home/someone/.config/home.secret");
    EXPECT_EQ(home.ringEvery, std::chrono::milliseconds(2250));

    const SipLineSettings& bare = configuration.lines[1].sip;
    EXPECT_EQ(bare.listen.host, "0.0.0.0");
    EXPECT_EQ(bare.listen.family, AddressFamily::IPv4);
    EXPECT_EQ(bare.listen.port, 5060);
    EXPECT_TRUE(bare.registrar.empty() && bare.user.empty() && bare.passwordFile.empty());
    EXPECT_EQ(bare.ringEvery, std::chrono::seconds(6));

    // A '#' inside a word is kept; one after whitespace starts a comment.
    EXPECT_EQ(configuration.lines[2].sip.registrar, "sip:pbx#2.example");
    EXPECT_EQ(configuration.lines[2].sip.passwordFile, folder.File("pbx#2.secret"));
    EXPECT_EQ(configuration.lines[2].sip.listen.host, "::1");
    EXPECT_EQ(configuration.lines[2].sip.listen.family, AddressFamily::IPv6);
    EXPECT_EQ(configuration.lines[3].socketPath, "/tmp/first-simulated.sock");
}

TEST(ServiceConfiguration, AWrongSipEntryIsLeftOutAndNeverQuotesAValue) {
    const std::pair<std::string, std::string> cases[] = {
        {"registrar=sip:example.net user=1001",
         "a line with a registrar needs user= and password-file="},
        {"registrar=sip:example.net password-file=/s",
         "a line with a registrar needs user= and password-file="},
        {"registrar=sip:1001:hunter2@example.net user=1001 password-file=/s",
         "registrar= needs a sip: or sips: URI without a user part"},
        {"registrar=http://example.net", "registrar= needs a sip: or sips: URI"},
        {"listen=0.0.0.0:0", "listen= needs"},
        {"listen=0.0.0.0:65536", "listen= needs"},
        {"listen=0.0.0.0", "listen= needs"},
        {"listen=::1:5060", "listen= needs"},
        {"listen=[::1]5060", "listen= needs"},
        {"listen=300.1.1.1:5060", "listen= needs"},
        {"ring-every=0", "ring-every= needs 1 to 60 seconds"},
        {"ring-every=61", "ring-every= needs 1 to 60 seconds"},
        {"ring-every=1.0001", "ring-every= needs 1 to 60 seconds"},
        {"ring-every=six", "ring-every= needs 1 to 60 seconds"},
        {"user=a@b", "user= needs the user part"},
        {"user=%2", "user= needs the user part"},
        {"password-file=~other/s", "password-file= may start with \"~/\" only"},
        {"password-file=~/s", "password-file= starts with \"~/\" but HOME is not an absolute path"},
        {"ring-every=5 ring-every=6", "option \"ring-every\" is given twice"},
        {"password=hunter2", "unknown option \"password\""},
        {"hunter2", "an option of a SIP line is written key=value"},
    };
    FakeEnvironment environment;
    for (const auto& [options, expected] : cases) {
        const ServiceConfiguration configuration = ParseServiceConfiguration(
            "# a SIP line\nline home sip " + options + "\n", "lines.conf", "/etc", environment);
        EXPECT_TRUE(configuration.lines.empty()) << options;
        ASSERT_EQ(configuration.problems.size(), 1u) << options;
        const std::string& problem = configuration.problems[0];
        EXPECT_THAT(problem, ::testing::StartsWith("lines.conf:2: line \"home\": " + expected));
        EXPECT_THAT(problem, ::testing::Not(::testing::HasSubstr("hunter2")));
    }
}

TEST(ServiceConfiguration, TheSoundCardIsAnAlsaPcmNameOfPrintableCharacters) {
    const SipPathBase paths{"/etc", std::nullopt};
    SipLineSettings settings;
    EXPECT_EQ(settings.soundCard, "default");
    const std::string chosen[] = {"sound-card=plughw:1,0"};
    EXPECT_EQ(ParseSipOptions(chosen, paths, settings), std::nullopt);
    EXPECT_EQ(settings.soundCard, "plughw:1,0");

    const std::string wrongOptions[] = {"sound-card=", "sound-card=" + std::string(65, 'a'),
                                        "sound-card=my card", "sound-card=caf\xc3\xa9"};
    for (const std::string& wrong : wrongOptions) {
        SipLineSettings untouched;
        const std::string options[] = {wrong};
        const std::optional<std::string> problem = ParseSipOptions(options, paths, untouched);
        ASSERT_TRUE(problem.has_value()) << wrong;
        EXPECT_THAT(*problem, ::testing::StartsWith("sound-card= needs")) << wrong;
        EXPECT_EQ(untouched.soundCard, "default");
    }
}

TEST(ServiceConfiguration, VoiceModemLinesNeedAnAbsoluteDeviceAndKnownSettings) {
    FakeEnvironment environment;
    const ServiceConfiguration configuration = ParseServiceConfiguration(
        "line landline voice-modem device=/dev/ttyACM0\n"
        "line fax voice-modem device=/dev/ttyUSB1 speed=57600 caller-id=cid flow=none\n"
        "line a voice-modem\n"
        "line b voice-modem device=ttyACM0\n"
        "line c voice-modem device=/dev/x speed=14400\n"
        "line d voice-modem device=/dev/x caller-id=yes\n"
        "line e voice-modem device=/dev/x flow=xonxoff\n"
        "line f voice-modem device=/dev/x device=/dev/y\n"
        "line g voice-modem device=/dev/x baud=9600\n",
        "lines.conf", "/etc", environment);
    ASSERT_EQ(configuration.lines.size(), 2u);
    EXPECT_EQ(configuration.lines[0].provider, ProviderKind::VoiceModem);
    EXPECT_EQ(configuration.lines[0].modem.device, "/dev/ttyACM0");
    EXPECT_EQ(configuration.lines[0].modem.speed, 115200u);
    EXPECT_EQ(configuration.lines[0].modem.callerId, CallerIdCommand::Automatic);
    EXPECT_EQ(configuration.lines[0].modem.flow, FlowControl::RtsCts);
    EXPECT_TRUE(configuration.lines[0].socketPath.empty());
    EXPECT_EQ(configuration.lines[1].modem.speed, 57600u);
    EXPECT_EQ(configuration.lines[1].modem.callerId, CallerIdCommand::Cid);
    EXPECT_EQ(configuration.lines[1].modem.flow, FlowControl::None);
    EXPECT_THAT(
        configuration.problems,
        ElementsAre(
            "lines.conf:3: line \"a\": a voice modem line needs device=",
            "lines.conf:4: line \"b\": device= needs the absolute path of the modem's serial "
            "device",
            "lines.conf:5: line \"c\": speed= needs 9600, 19200, 38400, 57600, 115200 or 230400",
            "lines.conf:6: line \"d\": caller-id= needs auto, vcid, cid or off",
            "lines.conf:7: line \"e\": flow= needs rtscts or none",
            "lines.conf:8: line \"f\": option \"device\" is given twice",
            "lines.conf:9: line \"g\": unknown option \"baud\""));
}

TEST(SipPassword, OnlyAPrivateRegularFileGivesItsFirstLine) {
    TemporaryFolder folder;
    const std::string path = folder.File("home.secret");
    folder.Write("home.secret", "s3cret #1\r\nsecond line\n");
    std::string problem;
    EXPECT_EQ(ReadSipPassword(path, problem), "s3cret #1");

    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    EXPECT_FALSE(ReadSipPassword(path, problem));
    EXPECT_EQ(problem, "password file " + path +
                           " has mode 0640, so others may read or change it; make it 0600");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);

    ASSERT_EQ(::symlink(path.c_str(), folder.File("link").c_str()), 0);
    EXPECT_FALSE(ReadSipPassword(folder.File("link"), problem));
    EXPECT_EQ(problem, "password file " + folder.File("link") + " is a symbolic link");
    EXPECT_FALSE(ReadSipPassword(folder.Path(), problem));
    EXPECT_THAT(problem, ::testing::HasSubstr("is not a regular file"));

    const std::string bad[] = {"", "\nafter an empty line", std::string(1025, 'x'),
                               std::string("nul\0byte", 8)};
    for (const std::string& content : bad) {
        folder.Write("home.secret", content);
        EXPECT_FALSE(ReadSipPassword(path, problem)) << content.size();
        EXPECT_THAT(problem, ::testing::StartsWith("password file " + path));
        EXPECT_THAT(problem, ::testing::Not(::testing::HasSubstr("xxx")));
    }
    folder.Write("home.secret", std::string(1024, 'y') + "\n");
    EXPECT_EQ(ReadSipPassword(path, problem)->size(), 1024u);
}

std::vector<ProtocolMessage> ReadAll(MessageReader& reader) {
    std::vector<ProtocolMessage> messages;
    ProtocolMessage message;
    while (reader.Next(message) == MessageReader::Status::Complete) {
        messages.push_back(message);
    }
    return messages;
}

TEST(LineProtocol, MessagesAreTakenWholeHoweverTheBytesArrive) {
    const std::vector<std::int16_t> samples = {0, 1, -1, 32767, -32768};
    const std::string payload = SamplesToPayload(samples);
    const std::string stream = EncodeMessage("KEY # DTMF") +
                               EncodeMessage("SAY " + std::to_string(payload.size()), payload) +
                               EncodeMessage("HEARD 8000 0") + EncodeMessage("HANGUP");
    MessageReader reader;
    std::vector<ProtocolMessage> messages;
    for (const char byte : stream) {
        reader.Append(std::string_view(&byte, 1));
        for (ProtocolMessage& message : ReadAll(reader)) {
            messages.push_back(std::move(message));
        }
    }
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].command, "KEY");
    EXPECT_THAT(messages[0].arguments, ElementsAre("#", "DTMF"));
    EXPECT_EQ(messages[1].command, "SAY");
    EXPECT_EQ(PayloadToSamples(messages[1].payload), samples);
    EXPECT_THAT(messages[2].arguments, ElementsAre("8000", "0"));
    EXPECT_TRUE(messages[2].payload.empty());
    EXPECT_EQ(messages[3].command, "HANGUP");
}

TEST(LineProtocol, WhatCannotBeAMessageIsRefusedForGood) {
    for (const std::string& bad :
         {std::string(300, 'A'), std::string("\n"), std::string("SAY many\n"),
          std::string("SAY 99999999999\n"), std::string("HEARD\n")}) {
        MessageReader reader;
        reader.Append(bad);
        ProtocolMessage message;
        EXPECT_EQ(reader.Next(message), MessageReader::Status::Malformed) << bad.substr(0, 20);
        EXPECT_FALSE(reader.Problem().empty());
        reader.Append("HANGUP\n");
        EXPECT_EQ(reader.Next(message), MessageReader::Status::Malformed);
    }
    MessageReader waiting;
    waiting.Append("SAY 4\nab");
    ProtocolMessage message;
    EXPECT_EQ(waiting.Next(message), MessageReader::Status::Incomplete) << "half a payload";
    EXPECT_EQ(ParseCount("007"), 7u);
    EXPECT_FALSE(ParseCount("-1"));
    EXPECT_FALSE(ParseCount(""));
}

}  // namespace
}  // namespace porthold::service
