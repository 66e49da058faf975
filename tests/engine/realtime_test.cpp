// End to end in real time: porthold-engine-host runs the engine against the
// telephony service library while porthold-phone calls its simulated line
// from another process. Each test has its own folder, configuration and socket.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <sstream>
#include <thread>

#include "audio/wave_layout.h"
#include "platform/files.h"
#include "store/message_list.h"
#include "support/temporary_folder.h"

extern char** environ;

namespace porthold::telephony::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kHost = PORTHOLD_ENGINE_HOST;
const std::string kPhone = PORTHOLD_PHONE_PROGRAM;
const std::string kService = PORTHOLD_SERVICE_LIBRARY;
const std::string kSounds = PORTHOLD_SOUNDS_FOLDER;

// A program run as a child process, its output going to a file.
class ChildProcess {
public:
    ChildProcess(std::vector<std::string> arguments, const std::string& outputFile)
        : outputFile_(outputFile) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0)
            << argv[0];
        posix_spawn_file_actions_destroy(&actions);
    }

    ~ChildProcess() {
        if (pid_ > 0 && !HasEnded()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status_, 0);
        }
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool HasEnded() {
        if (ended_) {
            return true;
        }
        if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
            ended_ = true;
        }
        return ended_;
    }

    // The exit code, or -1 when it did not end within `limit`.
    int Wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!HasEnded()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

    void Signal(int signal) { ::kill(pid_, signal); }

    std::string Output() const { return platform::ReadFileContents(outputFile_).value_or(""); }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
    std::string outputFile_;
};

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The time porthold-phone printed for an event, in milliseconds from the dial.
std::int64_t TimeOf(const std::string& output, const std::string& event) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos && line.substr(blank + 1) == event) {
            return std::stoll(line.substr(0, blank));
        }
    }
    ADD_FAILURE() << "no \"" << event << "\" in\n" << output;
    return 0;
}

class RealTime : public ::testing::Test {
protected:
    RealTime() {
        folder.Write("lines.conf", "line test simulated-modem socket=" + Socket() + "\n");
        ::setenv("PORTHOLD_LINES_FILE", folder.File("lines.conf").c_str(), 1);
        ::unsetenv("PORTHOLD_LINE_SOCKET");
        platform::CreateDirectory(ProgramFolder());
        host = std::make_unique<ChildProcess>(
            std::vector<std::string>{kHost, "--service", kService, "--folder", ProgramFolder(),
                                     "--sounds", kSounds},
            folder.File("host.txt"));
    }

    ~RealTime() override {
        if (host) {
            host->Signal(SIGTERM);
            host->Wait(std::chrono::seconds(15));
        }
    }

    std::string Socket() const { return folder.File("line.sock"); }
    std::string ProgramFolder() const { return folder.File("program/"); }

    void WaitUntilReady() {
        ASSERT_TRUE(WaitFor([&] { return host->Output().find("ready") != std::string::npos; },
                            std::chrono::seconds(10)))
            << host->Output();
    }

    std::unique_ptr<ChildProcess> Call(std::vector<std::string> steps) {
        std::vector<std::string> arguments{kPhone,   "call",         "--socket",
                                           Socket(), "--ring-every", "0.3"};
        arguments.insert(arguments.end(), steps.begin(), steps.end());
        return std::make_unique<ChildProcess>(arguments, folder.File("phone.txt"));
    }

    // Stops the host as the desktop would at its end, and waits for it.
    void StopHost() {
        host->Signal(SIGTERM);
        EXPECT_EQ(host->Wait(std::chrono::seconds(15)), 0) << host->Output();
    }

    porthold::testing::TemporaryFolder folder;
    std::unique_ptr<ChildProcess> host;
};

TEST_F(RealTime, ACallerKeysHashAndLeavesASpokenMessage) {
    WaitUntilReady();
    // Three seconds of a voice-like tone, said once the beep has sounded.
    std::vector<std::int16_t> words(24000);
    for (std::size_t index = 0; index < words.size(); ++index) {
        words[index] = static_cast<std::int16_t>(9000 * std::sin(index * 2 * 3.14159265 / 37) *
                                                 (0.6 + 0.4 * std::sin(index / 900.0)));
    }
    ASSERT_TRUE(audio::WriteTelephonyWaveFile(folder.File("words.wav"), words));
    auto phone = Call({"wait:1", "keys:#", "wait:7", "say:" + folder.File("words.wav"), "hangup"});
    ASSERT_EQ(phone->Wait(std::chrono::seconds(40)), 0) << phone->Output();
    // The hang-up reaches the engine on a tick; the recording is then complete.
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::string output = host->Output();
            const std::size_t disconnecting = output.find("status:  Disconnecting...");
            return disconnecting != std::string::npos &&
                   output.find("status:  Waiting for call...", disconnecting) != std::string::npos;
        },
        std::chrono::seconds(10)))
        << host->Output();
    StopHost();

    store::MessageList messages(ProgramFolder() + "messages/");
    ASSERT_TRUE(messages.LoadList());
    ASSERT_EQ(messages.NodeCount(), 1);
    std::string path;
    std::string pin;
    std::string dateTime;
    bool isNew = false;
    ASSERT_TRUE(messages.GetNode(0, path, pin, dateTime, isNew));
    EXPECT_EQ(path, ProgramFolder() + "messages/m0000000.wav");
    EXPECT_EQ(pin, "#");
    EXPECT_TRUE(isNew);

    const auto recorded = audio::ReadWaveSamples(path);
    ASSERT_TRUE(recorded.has_value());
    EXPECT_EQ(recorded->format.samplesPerSecond, 8000u);
    EXPECT_EQ(recorded->format.channels, 1u);
    EXPECT_EQ(recorded->format.bitsPerSample, 16u);
    EXPECT_EQ(recorded->formatChunkSize, 18u);
    // The silence before the words is left out; the words are there, loud.
    EXPECT_GE(recorded->samples.size(), words.size() * 8 / 10);
    EXPECT_LE(recorded->samples.size(), words.size() + 4000);
    double energy = 0;
    for (const std::int16_t sample : recorded->samples) {
        energy += static_cast<double>(sample) * sample;
    }
    EXPECT_GT(std::sqrt(energy / std::max<std::size_t>(recorded->samples.size(), 1)), 3000.0);
    EXPECT_THAT(host->Output(), HasSubstr("status:  Recording Message..."));
}

TEST_F(RealTime, ACallerWhoKeysNothingIsHungUpOnAfterThirtySeconds) {
    WaitUntilReady();
    auto phone = Call({});
    ASSERT_EQ(phone->Wait(std::chrono::seconds(60)), 0) << phone->Output();
    const std::string output = phone->Output();
    const std::int64_t held = TimeOf(output, "hangup by program") - TimeOf(output, "answered");
    EXPECT_GE(held, 29900);
    EXPECT_LE(held, 33000);
    StopHost();
    EXPECT_THAT(host->Output(), HasSubstr("status:  Prompting for PIN..."));
    EXPECT_THAT(host->Output(), HasSubstr("stopped"));
}

}  // namespace
}  // namespace porthold::telephony::testing
