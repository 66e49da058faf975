// The modem line on a pseudo-terminal, with a scripted modem on its far side
// and the telephony service above it.

#include "service/modem_line/voice_modem_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/multimedia/wave_format.h"
#include "platform/virtual_clock.h"
#include "service/modem_line/serial_port.h"
#include "service/service_constants.h"
#include "service/telephony_service.h"
#include "support/child_process.h"

namespace porthold::service {
namespace {

using namespace telephony;
using porthold::testing::WaitFor;
using ::testing::HasSubstr;

constexpr std::uint32_t kWaitLimit = 5000;

// The far side of a pseudo-terminal, playing a modem that says OK to every
// command until told to fall silent.
class ScriptedModem {
public:
    ScriptedModem() {
        std::array<char, 128> name{};
        if (::openpty(&master_, &slave_, name.data(), nullptr, nullptr) == 0) {
            device_ = name.data();
            thread_ = std::jthread([this](const std::stop_token& stop) { Serve(stop); });
        }
    }
    ~ScriptedModem() { Unplug(); }

    // As a USB modem pulled out: the port's other end is gone.
    void Unplug() {
        thread_.request_stop();
        if (thread_.joinable()) {
            thread_.join();
        }
        if (master_ >= 0) {
            ::close(std::exchange(master_, -1));
            ::close(std::exchange(slave_, -1));
        }
    }

    const std::string& Device() const { return device_; }
    void SetAnswering(bool answering) { answering_ = answering; }
    void Send(const std::string& bytes) {
        [[maybe_unused]] const ssize_t written = ::write(master_, bytes.data(), bytes.size());
    }
    std::size_t TimesSeen(const std::string& command) const {
        const std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(std::count(commands_.begin(), commands_.end(), command));
    }

private:
    void Serve(const std::stop_token& stop) {
        std::string line;
        while (!stop.stop_requested()) {
            pollfd descriptor{master_, POLLIN, 0};
            if (::poll(&descriptor, 1, 20) <= 0) {
                continue;
            }
            std::array<char, 512> buffer{};
            const ssize_t count = ::read(master_, buffer.data(), buffer.size());
            for (ssize_t index = 0; index < count; ++index) {
                if (buffer[index] != '\r') {
                    line.push_back(buffer[index]);
                    continue;
                }
                Answer(std::exchange(line, {}));
            }
        }
    }

    void Answer(const std::string& command) {
        {
            const std::lock_guard lock(mutex_);
            commands_.push_back(command);
        }
        if (!answering_) {
            return;
        }
        Send(command == "AT+VSM=?" ? "\r\n128,\"8-BIT LINEAR\",(7200,8000,11025)\r\n\r\nOK\r\n"
                                   : "\r\nOK\r\n");
    }

    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    std::atomic<bool> answering_{true};
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::jthread thread_;
};

// The log, written by the line's thread and read by the test.
class LockedLog final : public std::streambuf {
public:
    std::string Text() const {
        const std::lock_guard lock(mutex_);
        return text_;
    }

protected:
    int overflow(int character) override {
        const std::lock_guard lock(mutex_);
        text_.push_back(static_cast<char>(character));
        return character;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

TEST(ModemLineSerialPort, APortInUseIsRefusedWithTheReason) {
    ScriptedModem modem;
    ASSERT_FALSE(modem.Device().empty());
    std::string problem;
    auto first = modem::SerialPort::Open(modem.Device(), 115200, FlowControl::RtsCts, problem);
    ASSERT_TRUE(first) << problem;
    EXPECT_FALSE(modem::SerialPort::Open(modem.Device(), 115200, FlowControl::None, problem));
    EXPECT_THAT(problem, HasSubstr("is in use by another program (ModemManager probes modems"));
    first.reset();
    EXPECT_TRUE(modem::SerialPort::Open(modem.Device(), 9600, FlowControl::None, problem));
}

TEST(ModemLineChannel, HalfDuplexAndNoBufferWaitsOnACallThatIsGone) {
    platform::VirtualClock clock;
    int wakes = 0;
    modem::ModemVoiceChannel channel(clock, 100, 101, [&wakes] { ++wakes; });
    const platform::WaveFormat format = platform::LineVoiceFormat();
    std::unique_ptr<platform::WaveOutputDevice> output;
    std::unique_ptr<platform::WaveInputDevice> input;
    ASSERT_EQ(channel.OpenOutput(100, format, output), platform::MMSYSERR_NOERROR);
    EXPECT_EQ(channel.OpenInput(101, format, input), platform::MMSYSERR_ALLOCATED);
    EXPECT_EQ(channel.OpenOutput(100, format, output), platform::MMSYSERR_ALLOCATED);

    std::vector<char> samples(2 * 300, 0);
    platform::WAVEHDR header{};
    header.lpData = samples.data();
    header.dwBufferLength = static_cast<std::uint32_t>(samples.size());
    header.dwFlags = platform::WHDR_PREPARED | platform::WHDR_INQUEUE;
    ASSERT_EQ(output->Write(header), platform::MMSYSERR_NOERROR);
    EXPECT_NE(header.dwFlags & platform::WHDR_DONE, 0u);  // no call: done at once

    channel.SetCallAudio(modem::CallAudioState::On);
    header.dwFlags = platform::WHDR_PREPARED | platform::WHDR_INQUEUE;
    ASSERT_EQ(output->Write(header), platform::MMSYSERR_NOERROR);
    EXPECT_EQ(wakes, 1);
    std::array<std::int16_t, 160> frame{};
    EXPECT_EQ(channel.TakePlayback(frame), 160u);
    EXPECT_EQ(header.dwFlags & platform::WHDR_DONE, 0u);
    EXPECT_EQ(channel.TakePlayback(frame), 140u);
    EXPECT_NE(header.dwFlags & platform::WHDR_DONE, 0u);  // its last sample went out

    header.dwFlags = platform::WHDR_PREPARED | platform::WHDR_INQUEUE;
    ASSERT_EQ(output->Write(header), platform::MMSYSERR_NOERROR);
    channel.SetCallAudio(modem::CallAudioState::Off);  // the call ends mid-buffer
    EXPECT_NE(header.dwFlags & platform::WHDR_DONE, 0u);
    EXPECT_FALSE(channel.HasPlayback());
    output.reset();
    EXPECT_EQ(channel.OpenInput(101, format, input), platform::MMSYSERR_NOERROR);
}

class ModemLineService : public ::testing::Test {
protected:
    ModemLineService() : log(&logBuffer) {
        VoiceModemSettings settings;
        settings.device = modem.Device();
        line = &service.AddLine(
            std::make_unique<VoiceModemLine>(clock, "landline", settings, 100, 101, log));
        LINEINITIALIZEEXPARAMS parameters{};
        parameters.dwTotalSize = sizeof parameters;
        parameters.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
        DWORD devices = 0;
        DWORD version = TAPI_VERSION2_1;
        EXPECT_EQ(
            service.lineInitializeExW(&app, 0, nullptr, nullptr, &devices, &version, &parameters),
            0);
        EXPECT_EQ(service.lineOpenW(app, 0, &handle, TAPI_VERSION2_1, 0, 0, LINECALLPRIVILEGE_OWNER,
                                    LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
                  0);
        EXPECT_EQ(service.lineSetStatusMessages(handle, 0x010F1F8F, 0), 0);
    }

    std::vector<LINEMESSAGE> Messages() {
        std::vector<LINEMESSAGE> messages;
        LINEMESSAGE message{};
        while (service.lineGetMessage(app, &message, 0) == 0) {
            messages.push_back(message);
        }
        return messages;
    }

    bool InService() {
        LINEDEVSTATUS status{};
        status.dwTotalSize = sizeof status;
        EXPECT_EQ(service.lineGetLineDevStatus(handle, &status), 0);
        return (status.dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE) != 0;
    }

    ScriptedModem modem;
    LockedLog logBuffer;
    std::ostream log;
    platform::VirtualClock clock;
    TelephonyService service{clock};
    VoiceModemLine* line = nullptr;
    HLINEAPP app = 0;
    HLINE handle = 0;
};

TEST_F(ModemLineService, RingsOfferTheCallAndASilentModemTakesTheLineOutOfService) {
    ASSERT_TRUE(WaitFor([&] { return modem.TimesSeen("AT+FCLASS=0") == 1; }, kWaitLimit));
    EXPECT_EQ(line->MediaModes(), LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_DATAMODEM);
    modem.Send("\r\nRING\r\n\r\nNMBR = 5551234\r\n\r\nRING\r\n");
    std::vector<LINEMESSAGE> messages;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const LINEMESSAGE& message : Messages()) {
                messages.push_back(message);
            }
            // Waiting rings are merged: the second ring's count is 1.
            return !messages.empty() && messages.back().dwMessageID == LINE_LINEDEVSTATE &&
                   messages.back().dwParam1 == LINEDEVSTATE_RINGING &&
                   messages.back().dwParam3 == 1;
        },
        kWaitLimit));
    EXPECT_EQ(messages[0].dwMessageID, LINE_APPNEWCALL);
    EXPECT_EQ(line->LastCallerId().number.text, "5551234");

    // The answer only asks the line's thread; the modem's silence costs the
    // service nothing until the command's time is up.
    modem.SetAnswering(false);
    EXPECT_GT(service.lineAnswer(static_cast<HCALL>(messages[0].dwParam2), nullptr, 0), 0);
    ASSERT_TRUE(WaitFor([&] { return modem.TimesSeen("AT+FCLASS=8") == 2; }, kWaitLimit));
    EXPECT_TRUE(InService());
    clock.Advance(3000);
    ASSERT_TRUE(WaitFor([&] { return !InService(); }, kWaitLimit));
    EXPECT_THAT(logBuffer.Text(),
                HasSubstr("modem landline on " + modem.Device() +
                          " stopped answering (AT+FCLASS=8); the line is out of service"));
    const std::vector<LINEMESSAGE> afterwards = Messages();
    EXPECT_TRUE(std::any_of(afterwards.begin(), afterwards.end(), [](const LINEMESSAGE& message) {
        return message.dwMessageID == LINE_LINEDEVSTATE &&
               message.dwParam1 == LINEDEVSTATE_OUTOFSERVICE;
    }));
    EXPECT_TRUE(std::any_of(afterwards.begin(), afterwards.end(), [](const LINEMESSAGE& message) {
        return message.dwMessageID == LINE_CALLSTATE &&
               message.dwParam1 == LINECALLSTATE_DISCONNECTED;
    }));

    // Ten seconds on, the line tries again, and finds the modem back.
    modem.SetAnswering(true);
    clock.Advance(10000);
    ASSERT_TRUE(WaitFor([&] { return InService(); }, kWaitLimit));
    EXPECT_EQ(modem.TimesSeen("ATZ"), 2u);
    EXPECT_EQ(modem.TimesSeen("AT+VSM=?"), 1u);  // probed once
    EXPECT_THAT(logBuffer.Text(), HasSubstr("back in service"));
}

TEST_F(ModemLineService, AnUnpluggedModemTakesTheLineOutOfService) {
    ASSERT_TRUE(WaitFor([&] { return modem.TimesSeen("AT+FCLASS=0") == 1; }, kWaitLimit));
    modem.Unplug();
    ASSERT_TRUE(WaitFor([&] { return !InService(); }, kWaitLimit));
    EXPECT_THAT(logBuffer.Text(), HasSubstr("went away"));
    clock.Advance(10000);  // the device is gone for good: the line stays out
    EXPECT_FALSE(InService());
    EXPECT_EQ(line->Service(), LineService::OutOfService);
}

}  // namespace
}  // namespace porthold::service
