// The service's configuration file and the socket conversation's framing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "service/line_configuration.h"
#include "service/line_protocol.h"
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
