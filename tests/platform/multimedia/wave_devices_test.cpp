#include "platform/multimedia/wave_devices.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/multimedia/simulated_line_channel.h"
#include "platform/multimedia/simulated_sound_card.h"
#include "platform/virtual_clock.h"
#include "wave_test_support.h"

namespace porthold::platform {
namespace {

using testing::LineFormatBlock;
using testing::TestBuffer;

constexpr std::uint32_t kCallbackFunction = 0x00030000u;

class WaveDevicesTest : public ::testing::Test {
protected:
    const WAVEFORMATEX format = LineFormatBlock();
    VirtualClock clock;
    SimulatedLineVoiceChannel line{clock, 3, 4};
    WaveDevices devices;
};

TEST_F(WaveDevicesTest, RoutesIdentifiersToTheirProviders) {
    HWAVEOUT output{};
    EXPECT_EQ(devices.OutOpen(&output, 3, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(devices.OutOpen(&output, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL),
              MMSYSERR_NODRIVER);
    devices.RegisterProvider(line);
    // A failed identifier look-up leaves 0, which names no device.
    EXPECT_EQ(devices.OutOpen(&output, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    // The line's input identifier is not an output.
    EXPECT_EQ(devices.OutOpen(&output, 4, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(devices.OutOpen(&output, 3, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_NE(output, HWAVEOUT{});

    SimulatedSoundCard card(clock);
    devices.RegisterSoundCard(card);
    HWAVEOUT soundCardOutput{};
    EXPECT_EQ(devices.OutOpen(&soundCardOutput, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    EXPECT_EQ(card.OpenOutputCount(), 1u);
    EXPECT_EQ(devices.OutClose(soundCardOutput), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.OutClose(output), MMSYSERR_NOERROR);
    devices.UnregisterProvider(card);
}

TEST_F(WaveDevicesTest, RefusesBadOpenArguments) {
    devices.RegisterProvider(line);
    HWAVEOUT output{};
    EXPECT_EQ(devices.OutOpen(&output, 3, &format, 1234, 0, kCallbackFunction), MMSYSERR_INVALFLAG);
    EXPECT_EQ(devices.OutOpen(&output, 3, &format, 1234, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
    EXPECT_EQ(devices.OutOpen(&output, 3, nullptr, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
    EXPECT_EQ(devices.OutOpen(nullptr, 3, &format, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
    HWAVEIN input{};
    EXPECT_EQ(devices.InOpen(&input, 4, &format, 0, 0, kCallbackFunction), MMSYSERR_INVALFLAG);
    EXPECT_FALSE(line.IsOpen());
}

TEST_F(WaveDevicesTest, StaleAndForeignHandlesAreRefused) {
    devices.RegisterProvider(line);
    TestBuffer buffer(2000);
    HWAVEOUT output{};
    ASSERT_EQ(devices.OutOpen(&output, 3, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutClose(output), MMSYSERR_NOERROR);

    // Closed, never opened, or an input handle's value used for an output.
    HWAVEIN input{};
    ASSERT_EQ(devices.InOpen(&input, 4, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    const HWAVEOUT foreign{static_cast<std::uintptr_t>(input)};
    for (const HWAVEOUT handle : {output, HWAVEOUT{}, HWAVEOUT{987654}, foreign}) {
        EXPECT_EQ(devices.OutPrepareHeader(handle, &buffer.header), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(devices.OutWrite(handle, &buffer.header), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(devices.OutUnprepareHeader(handle, &buffer.header), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(devices.OutReset(handle), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(devices.OutClose(handle), MMSYSERR_INVALHANDLE);
    }
    EXPECT_EQ(devices.InStart(HWAVEIN{static_cast<std::uintptr_t>(output)}), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(devices.InClose(input), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.InClose(input), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(buffer.header.dwFlags.load(), 0u);
}

TEST_F(WaveDevicesTest, KeepsTheHeaderBookkeeping) {
    devices.RegisterProvider(line);
    HWAVEOUT output{};
    ASSERT_EQ(devices.OutOpen(&output, 3, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    TestBuffer buffer(2000);
    EXPECT_EQ(devices.OutWrite(output, &buffer.header), WAVERR_UNPREPARED);
    EXPECT_EQ(devices.OutWrite(output, nullptr), MMSYSERR_INVALPARAM);
    ASSERT_EQ(devices.OutPrepareHeader(output, &buffer.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutWrite(output, &buffer.header), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.OutWrite(output, &buffer.header), WAVERR_STILLPLAYING);
    clock.Advance(125);
    EXPECT_EQ(devices.OutUnprepareHeader(output, &buffer.header), MMSYSERR_NOERROR);
    EXPECT_EQ(buffer.header.dwFlags.load(), WHDR_DONE);
    EXPECT_EQ(devices.OutClose(output), MMSYSERR_NOERROR);
}

TEST_F(WaveDevicesTest, UnregisteringAProviderStopsItsDevices) {
    devices.RegisterProvider(line);
    HWAVEOUT output{};
    ASSERT_EQ(devices.OutOpen(&output, 3, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    TestBuffer buffer(16000);
    ASSERT_EQ(devices.OutPrepareHeader(output, &buffer.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutWrite(output, &buffer.header), MMSYSERR_NOERROR);
    devices.UnregisterProvider(line);
    EXPECT_TRUE(buffer.IsDone());
    EXPECT_FALSE(line.IsOpen());
    EXPECT_EQ(devices.OutClose(output), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(devices.OutOpen(&output, 3, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
}

TEST(WaveErrorTexts, AreReadableAndFitTheBuffer) {
    WaveDevices devices;
    char text[MAXERRORLENGTH];
    ASSERT_EQ(devices.OutGetErrorText(MMSYSERR_ALLOCATED, text, sizeof text), MMSYSERR_NOERROR);
    EXPECT_NE(std::string(text).find("already in use"), std::string::npos);
    for (const MMRESULT code :
         {MMSYSERR_ERROR, MMSYSERR_BADDEVICEID, MMSYSERR_INVALHANDLE, MMSYSERR_NODRIVER,
          MMSYSERR_NOMEM, WAVERR_BADFORMAT, WAVERR_STILLPLAYING, WAVERR_UNPREPARED}) {
        ASSERT_EQ(devices.InGetErrorText(code, text, sizeof text), MMSYSERR_NOERROR);
        EXPECT_GT(std::strlen(text), 20u) << code;
    }
    EXPECT_EQ(devices.OutGetErrorText(4711, text, sizeof text), MMSYSERR_BADERRNUM);
    EXPECT_NE(std::string(text).find("4711"), std::string::npos);

    char small[8];
    ASSERT_EQ(devices.OutGetErrorText(MMSYSERR_NODRIVER, small, sizeof small), MMSYSERR_NOERROR);
    EXPECT_EQ(std::strlen(small), 7u);
    EXPECT_EQ(devices.OutGetErrorText(MMSYSERR_NODRIVER, nullptr, 0), MMSYSERR_INVALPARAM);
}

TEST(VirtualClockTimeObserver, IsToldOfEveryMoveBeforeTimersAreDelivered) {
    struct Recorder final : TimeObserver, TimerHandler {
        void OnTimeChanged(std::uint32_t tickCount) override {
            events.push_back("time " + std::to_string(tickCount));
        }
        void OnTimer(TimerId) override { events.push_back("timer"); }
        std::vector<std::string> events;
    };
    VirtualClock clock;
    Recorder recorder;
    clock.AddTimeObserver(recorder);
    clock.SetTimer(recorder, 0, 10);
    clock.Sleep(4);
    clock.Advance(21);
    clock.RemoveTimeObserver(recorder);
    clock.Sleep(1);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"time 4", "time 10", "timer", "time 20",
                                                         "timer", "time 25"}));
    clock.KillTimer(recorder, 0);
}

}  // namespace
}  // namespace porthold::platform
