#include "platform/multimedia/alsa_sound_card.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/multimedia/wave_devices.h"
#include "platform/multimedia/wave_error_text.h"
#include "wave_test_support.h"

namespace porthold::platform {
namespace {

using testing::LineFormatBlock;
using testing::TestBuffer;

struct Attempt {
    MMRESULT query;
    MMRESULT output;
    MMRESULT input;
};

Attempt OpenBothWays(const std::string& pcmName) {
    AlsaSoundCard card(pcmName);
    WaveDevices devices;
    devices.RegisterSoundCard(card);
    const WAVEFORMATEX format = LineFormatBlock();
    Attempt attempt{};
    attempt.query = devices.OutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY);
    HWAVEOUT output{};
    attempt.output = devices.OutOpen(&output, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (attempt.output == MMSYSERR_NOERROR) {
        devices.OutReset(output);
        devices.OutClose(output);
    }
    HWAVEIN input{};
    attempt.input = devices.InOpen(&input, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (attempt.input == MMSYSERR_NOERROR) {
        devices.InReset(input);
        devices.InClose(input);
    }
    return attempt;
}

// Runs the attempt on a thread of its own and gives up waiting after 20
// seconds, so that a device that blocks fails the test instead of hanging it.
std::optional<Attempt> OpenBothWaysInBoundedTime(const std::string& pcmName) {
    auto task = std::make_shared<std::packaged_task<Attempt()>>(
        [pcmName] { return OpenBothWays(pcmName); });
    std::future<Attempt> result = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        return std::nullopt;
    }
    return result.get();
}

TEST(AlsaSoundCard, AMissingDeviceIsACleanNoDriverFailure) {
    const std::optional<Attempt> finished = OpenBothWaysInBoundedTime("porthold_no_such_device");
    ASSERT_TRUE(finished.has_value()) << "opening a missing device did not return";
    const Attempt& attempt = *finished;
    EXPECT_EQ(attempt.query, MMSYSERR_NODRIVER);
    EXPECT_EQ(attempt.output, MMSYSERR_NODRIVER);
    EXPECT_EQ(attempt.input, MMSYSERR_NODRIVER);
    EXPECT_FALSE(WaveErrorText(attempt.output).empty());
}

TEST(AlsaSoundCard, FormatsItCannotPlayAreRefusedBeforeTheDeviceIsTouched) {
    AlsaSoundCard card("porthold_no_such_device");
    WaveDevices devices;
    devices.RegisterSoundCard(card);
    const WAVEFORMATEX compressed{2, 1, 8000, 4096, 256, 4, 32};
    const WAVEFORMATEX inconsistent{WAVE_FORMAT_PCM, 1, 8000, 12345, 2, 16, 0};
    HWAVEOUT output{};
    EXPECT_EQ(devices.OutOpen(&output, WAVE_MAPPER, &compressed, 0, 0, CALLBACK_NULL),
              WAVERR_BADFORMAT);
    EXPECT_EQ(devices.OutOpen(nullptr, WAVE_MAPPER, &inconsistent, 0, 0, WAVE_FORMAT_QUERY),
              WAVERR_BADFORMAT);
}

// On a machine without a sound card (as on the build servers) the default
// device fails cleanly; where a card exists there is nothing to assert.
TEST(AlsaSoundCard, TheDefaultDeviceOpensOrFailsWithoutHanging) {
    const std::optional<Attempt> finished = OpenBothWaysInBoundedTime("default");
    ASSERT_TRUE(finished.has_value()) << "opening the default device did not return";
    const Attempt& attempt = *finished;
    if (attempt.output == MMSYSERR_NOERROR || attempt.output == MMSYSERR_ALLOCATED) {
        GTEST_SKIP() << "a sound card is present";
    }
    EXPECT_EQ(attempt.output, MMSYSERR_NODRIVER);
    EXPECT_EQ(attempt.query, MMSYSERR_NODRIVER);
}

// ALSA's "null" device needs no sound card, so the playing and recording
// threads can be exercised everywhere.
class AlsaNullDeviceTest : public ::testing::Test {
protected:
    AlsaNullDeviceTest() { devices.RegisterSoundCard(card); }

    template <typename Condition>
    static bool WaitFor(Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    const WAVEFORMATEX format = LineFormatBlock();
    AlsaSoundCard card{"null"};
    WaveDevices devices;
};

TEST_F(AlsaNullDeviceTest, PlaysBuffersAndResetsAtOnce) {
    HWAVEOUT output{};
    const MMRESULT opened = devices.OutOpen(&output, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (opened == MMSYSERR_NODRIVER) {
        GTEST_SKIP() << "this ALSA has no null device";
    }
    ASSERT_EQ(opened, MMSYSERR_NOERROR);
    TestBuffer beep(1600);  // 50 ms
    ASSERT_EQ(devices.OutPrepareHeader(output, &beep.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutWrite(output, &beep.header), MMSYSERR_NOERROR);
    EXPECT_TRUE(WaitFor([&] { return beep.IsDone(); }));
    EXPECT_EQ(devices.OutUnprepareHeader(output, &beep.header), MMSYSERR_NOERROR);

    TestBuffer message(1600000);  // 100 s
    ASSERT_EQ(devices.OutPrepareHeader(output, &message.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutWrite(output, &message.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutReset(output), MMSYSERR_NOERROR);
    EXPECT_TRUE(message.IsDone());
    EXPECT_EQ(devices.OutUnprepareHeader(output, &message.header), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.OutClose(output), MMSYSERR_NOERROR);
}

TEST_F(AlsaNullDeviceTest, RecordsIntoQueuedBuffers) {
    HWAVEIN input{};
    const MMRESULT opened = devices.InOpen(&input, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (opened == MMSYSERR_NODRIVER) {
        GTEST_SKIP() << "this ALSA has no null device";
    }
    ASSERT_EQ(opened, MMSYSERR_NOERROR);
    TestBuffer first(2000, 'x');
    TestBuffer second(2000, 'x');
    for (TestBuffer* buffer : {&first, &second}) {
        ASSERT_EQ(devices.InPrepareHeader(input, &buffer->header), MMSYSERR_NOERROR);
        ASSERT_EQ(devices.InAddBuffer(input, &buffer->header), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(devices.InStart(input), MMSYSERR_NOERROR);
    EXPECT_TRUE(WaitFor([&] { return first.IsDone(); }));
    EXPECT_EQ(first.header.dwBytesRecorded, 2000u);
    ASSERT_EQ(devices.InReset(input), MMSYSERR_NOERROR);
    EXPECT_TRUE(second.IsDone());
    EXPECT_EQ(devices.InClose(input), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace porthold::platform
