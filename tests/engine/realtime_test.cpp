// End to end in real time: porthold-engine-host runs the engine against the
// telephony service library while porthold-phone calls its simulated line
// from another process. Each test has its own folder, configuration and socket.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sstream>

#include "audio/wave_layout.h"
#include "platform/files.h"
#include "store/message_list.h"
#include "support/child_process.h"
#include "support/temporary_folder.h"

namespace porthold::telephony::testing {
namespace {

using porthold::testing::ChildProcess;
using porthold::testing::WaitFor;
using ::testing::HasSubstr;

const std::string kHost = PORTHOLD_ENGINE_HOST;
const std::string kPhone = PORTHOLD_PHONE_PROGRAM;
const std::string kService = PORTHOLD_SERVICE_LIBRARY;
const std::string kSounds = PORTHOLD_SOUNDS_FOLDER;

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
        environment = porthold::testing::CurrentEnvironment();
        environment["PORTHOLD_LINES_FILE"] = folder.File("lines.conf");
        environment.erase("PORTHOLD_LINE_SOCKET");
        platform::CreateDirectory(ProgramFolder());
        host = std::make_unique<ChildProcess>(
            kHost,
            std::vector<std::string>{"--service", kService, "--folder", ProgramFolder(), "--sounds",
                                     kSounds},
            folder.Path(), environment, folder.File("host"));
    }

    ~RealTime() override {
        if (host) {
            host->Signal(SIGTERM);
            host->Wait(15000);
        }
    }

    std::string Socket() const { return folder.File("line.sock"); }
    std::string ProgramFolder() const { return folder.File("program/"); }

    void WaitUntilReady() {
        ASSERT_TRUE(
            WaitFor([&] { return host->Output().find("ready") != std::string::npos; }, 10000))
            << host->Output() << host->Errors();
    }

    std::unique_ptr<ChildProcess> Call(std::vector<std::string> steps) {
        std::vector<std::string> arguments{"call", "--socket", Socket(), "--ring-every", "0.3"};
        arguments.insert(arguments.end(), steps.begin(), steps.end());
        return std::make_unique<ChildProcess>(kPhone, arguments, folder.Path(), environment,
                                              folder.File("phone"));
    }

    // Stops the host as the desktop would at its end, and waits for it.
    void StopHost() {
        host->Signal(SIGTERM);
        EXPECT_EQ(host->Wait(15000), 0) << host->Output() << host->Errors();
    }

    porthold::testing::TemporaryFolder folder;
    std::map<std::string, std::string> environment;
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
    ASSERT_EQ(phone->Wait(40000), 0) << phone->Output() << phone->Errors();
    // The hang-up reaches the engine on a tick; the recording is then complete.
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::string output = host->Output();
            const std::size_t disconnecting = output.find("status:  Disconnecting...");
            return disconnecting != std::string::npos &&
                   output.find("status:  Waiting for call...", disconnecting) != std::string::npos;
        },
        10000))
        << host->Output() << host->Errors();
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
    ASSERT_EQ(phone->Wait(60000), 0) << phone->Output() << phone->Errors();
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
