// The program as it runs, in real time: the porthold executable (offscreen)
// with the telephony service library beside it, called by porthold-phone.
// Each test has its own program folder, settings file, runtime folder, line
// configuration and socket.

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "platform/files.h"
#include "program_folder_setup.h"
#include "support/child_process.h"
#include "support/temporary_folder.h"

namespace porthold::app::testing {
namespace {

using porthold::testing::ChildProcess;
using porthold::testing::WaitFor;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::string kProgram = PORTHOLD_PROGRAM;
const std::string kObservedProgram = PORTHOLD_OBSERVED_PROGRAM;
const std::string kPhone = PORTHOLD_PHONE_PROGRAM;
const std::string kSounds = PORTHOLD_SOUNDS_FOLDER;
// The onlooking copy is not built beside the service library, as the program
// is; the dynamic linker is told where it is.
const std::string kServiceLibraryFolder = PORTHOLD_SERVICE_LIBRARY_FOLDER;

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() {
        environment = PrepareProgramRun(folder, ProgramFolder(), kSounds);
        folder.Write("lines.conf", "line line0 simulated-modem socket=" + Socket() + "\n");
    }

    std::string ProgramFolder() const { return folder.File("program/"); }
    std::string Socket() const { return folder.File("line.sock"); }

    std::unique_ptr<ChildProcess> Start(const std::string& program, const std::string& name) {
        return std::make_unique<ChildProcess>(program, std::vector<std::string>{}, ProgramFolder(),
                                              environment, folder.File(name));
    }

    // porthold-phone with '#' (no PIN: straight to message taking), staying on
    // long enough for the prompt, the beep and a moment of recording.
    std::unique_ptr<ChildProcess> CallAndLeaveAMessage() {
        return std::make_unique<ChildProcess>(
            kPhone,
            std::vector<std::string>{"call", "--socket", Socket(), "--ring-every", "0.5", "wait:1",
                                     "keys:#", "wait:8", "hangup"},
            folder.Path(), environment, folder.File("phone"));
    }

    std::string MessageList() const {
        return platform::ReadFileContents(ProgramFolder() + "messages/messages.lst").value_or("");
    }

    // The onlooking copy, working its windows by the commands given to Work.
    std::unique_ptr<ChildProcess> StartObserved() {
        environment["LD_LIBRARY_PATH"] = kServiceLibraryFolder;
        environment["PORTHOLD_GUI_SCRIPT"] = folder.File("gui-script");
        return Start(kObservedProgram, "observed");
    }

    // Hands the onlooker commands and waits until it has carried out all it
    // was given.
    bool Work(ChildProcess& porthold, const std::vector<std::string>& commands) {
        std::string script = folder.Read("gui-script");
        for (const std::string& command : commands) {
            script += command + "\n";
        }
        folder.Write("gui-script", script);
        commandsGiven_ += commands.size();
        return WaitFor(
            [&] {
                const std::string output = porthold.Output();
                std::size_t done = 0;
                for (auto at = output.find("done:"); at != std::string::npos;
                     at = output.find("done:", at + 1)) {
                    ++done;
                }
                return done == commandsGiven_;
            },
            20000);
    }

    static bool Shows(ChildProcess& porthold, const std::string& line) {
        return porthold.Output().find(line + "\n") != std::string::npos;
    }

    porthold::testing::TemporaryFolder folder;
    std::map<std::string, std::string> environment;

private:
    std::size_t commandsGiven_ = 0;
};

TEST_F(EndToEnd, TheProgramStartsSilentlyTakesAMessageAndEndsInOrderOnASignal) {
    auto porthold = Start(kProgram, "porthold");
    ASSERT_TRUE(WaitFor([&] { return platform::FileExists(Socket()); }, 15000))
        << "the line never opened: " << porthold->Errors();
    EXPECT_THAT(platform::ReadFileContents(folder.File("registry.reg")).value_or(""),
                HasSubstr("\"Path\"=\"" + ProgramFolder() + "\""));

    auto phone = CallAndLeaveAMessage();
    ASSERT_EQ(phone->Wait(30000), 0) << phone->Errors();
    EXPECT_THAT(phone->Output(), HasSubstr("answered"));
    EXPECT_THAT(phone->Output(), HasSubstr("hangup by caller"));

    const std::string message = ProgramFolder() + "messages/m0000000.wav";
    ASSERT_TRUE(WaitFor([&] { return MessageList().find(message) != std::string::npos; }, 5000))
        << MessageList();
    EXPECT_THAT(MessageList(), HasSubstr(message + "\r\n#\r\n"));
    ASSERT_TRUE(WaitFor(
        [&] {
            std::error_code ignored;
            return std::filesystem::file_size(message, ignored) > 8000;
        },
        5000))
        << "the recording was finished on the hang-up";

    porthold->Signal(SIGTERM);
    EXPECT_EQ(porthold->Wait(15000), 0);
    EXPECT_THAT(porthold->Output(), IsEmpty());
    EXPECT_THAT(porthold->Errors(), IsEmpty());
    EXPECT_FALSE(platform::FileExists(Socket())) << "the line was shut down";
}

TEST_F(EndToEnd, ASipCallerWhoKeysHashLeavesAMessage) {
#ifndef PORTHOLD_SIPP_PROGRAM
    GTEST_SKIP() << "sipp is not installed";
#else
    const std::uint16_t port = FreePort(SOCK_DGRAM);
    ASSERT_NE(port, 0);
    folder.Write("lines.conf",
                 "line home sip listen=127.0.0.1:" + std::to_string(port) + " ring-every=1\n");
    auto porthold = Start(kProgram, "porthold");
    // The line listens once the program has opened it at start-up.
    ASSERT_TRUE(WaitFor([&] { return platform::FileExists(folder.File("registry.reg")); }, 15000))
        << porthold->Errors();
    ChildProcess caller(PORTHOLD_SIPP_PROGRAM,
                        {"-sf", PORTHOLD_SIPP_SCENARIO, "127.0.0.1:" + std::to_string(port), "-i",
                         "127.0.0.1", "-m", "1", "-timeout", "40", "-timeout_error", "-nostdin"},
                        folder.Path(), environment, folder.File("sipp"));
    ASSERT_EQ(caller.Wait(45000), 0) << caller.Output() << caller.Errors() << porthold->Errors();

    const std::string message = ProgramFolder() + "messages/m0000000.wav";
    ASSERT_TRUE(WaitFor([&] { return MessageList().find(message) != std::string::npos; }, 5000))
        << MessageList();
    EXPECT_THAT(MessageList(), HasSubstr(message + "\r\n#\r\n"));
    porthold->Signal(SIGTERM);
    EXPECT_EQ(porthold->Wait(15000), 0);
#endif
}

TEST_F(EndToEnd, TheWindowWaitsForACallShowsTheNewMessageAndTurnsASecondCopyAway) {
    environment["LD_LIBRARY_PATH"] = kServiceLibraryFolder;
    auto porthold = Start(kObservedProgram, "observed");
    const auto shown = [&](const std::string& line) {
        return porthold->Output().find(line + "\n") != std::string::npos;
    };
    ASSERT_TRUE(WaitFor([&] { return shown("status: Waiting for call..."); }, 15000))
        << porthold->Output() << porthold->Errors();
    EXPECT_TRUE(shown("messages-button:Messages"));

    auto phone = CallAndLeaveAMessage();
    EXPECT_TRUE(WaitFor([&] { return shown("status: Recording Message..."); }, 20000))
        << porthold->Output();
    ASSERT_EQ(phone->Wait(30000), 0) << phone->Errors();
    EXPECT_TRUE(WaitFor([&] { return shown("messages-button:New\\nMessage(s)"); }, 5000))
        << porthold->Output();
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string output = porthold->Output();
            return output.rfind("status: Waiting for call...") >
                   output.find("status: Recording Message...");
        },
        5000));

    auto second = Start(kObservedProgram, "second");
    EXPECT_EQ(second->Wait(15000), 1);
    EXPECT_EQ(second->Output(), "box:An instance of this program is already running.\n");
    EXPECT_FALSE(porthold->HasEnded()) << "the running copy is left alone";

    porthold->Signal(SIGTERM);
    EXPECT_EQ(porthold->Wait(15000), 0);
    EXPECT_THAT(porthold->Errors(), IsEmpty());
}

TEST_F(EndToEnd, ACallerAddedInThePinListRingsThroughWhenKeyed) {
    folder.Write("gui-script", "");
    auto porthold = StartObserved();
    ASSERT_TRUE(WaitFor([&] { return Shows(*porthold, "status: Waiting for call..."); }, 15000))
        << porthold->Output() << porthold->Errors();

    ASSERT_TRUE(Work(*porthold, {"click pinListButton", "click addButton", "type pinField 2468",
                                 "type messageField Grandma", "click okButton", "click okButton"}))
        << porthold->Output();
    EXPECT_THAT(platform::ReadFileContents(ProgramFolder() + "PIN.lst").value_or(""),
                HasSubstr("2468\r\nIncoming call from... Grandma\r\n"));

    ChildProcess phone(kPhone,
                       {"call", "--socket", Socket(), "--ring-every", "0.5", "wait:1", "keys:2468#",
                        "wait:8", "hangup"},
                       folder.Path(), environment, folder.File("phone"));
    EXPECT_TRUE(WaitFor(
        [&] { return Shows(*porthold, "notification:Incoming call from... Grandma"); }, 20000))
        << porthold->Output();
    ASSERT_EQ(phone.Wait(30000), 0) << phone.Errors();

    porthold->Signal(SIGTERM);
    EXPECT_EQ(porthold->Wait(15000), 0) << porthold->Errors();
}

TEST_F(EndToEnd, AMessageIsPlayedAndDeletedInTheMessagesDialog) {
    folder.Write("gui-script", "");
    auto porthold = StartObserved();
    ASSERT_TRUE(WaitFor([&] { return Shows(*porthold, "status: Waiting for call..."); }, 15000))
        << porthold->Output() << porthold->Errors();
    auto phone = CallAndLeaveAMessage();
    ASSERT_EQ(phone->Wait(30000), 0) << phone->Errors();
    ASSERT_TRUE(WaitFor([&] { return Shows(*porthold, "messages-button:New\\nMessage(s)"); }, 5000))
        << porthold->Output();
    const std::string message = ProgramFolder() + "messages/m0000000.wav";

    // The playing window closes by itself at the message's end; the list is
    // found again only then.
    ASSERT_TRUE(Work(*porthold, {"click messagesButton", "select messageList 0", "click playButton",
                                 "select messageList 0"}))
        << porthold->Output();
    EXPECT_THAT(MessageList(), HasSubstr(message + "\r\n#\r\n"));
    EXPECT_THAT(MessageList(), HasSubstr("\r\n0\r\n")) << "heard";

    ASSERT_TRUE(Work(*porthold, {"click deleteButton", "click okButton"})) << porthold->Output();
    EXPECT_TRUE(Shows(*porthold,
                      "box:This will permanently delete the selected message.\\n\\n"
                      "Continue?"));
    EXPECT_TRUE(WaitFor([&] { return !platform::FileExists(message); }, 5000));
    EXPECT_THAT(MessageList(), Not(HasSubstr(message)));
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string output = porthold->Output();
            return output.rfind("messages-button:Messages") > output.find("messages-button:New");
        },
        5000))
        << porthold->Output();

    porthold->Signal(SIGTERM);
    EXPECT_EQ(porthold->Wait(15000), 0) << porthold->Errors();
}

}  // namespace
}  // namespace porthold::app::testing
