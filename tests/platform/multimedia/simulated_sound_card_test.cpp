#include "platform/multimedia/simulated_sound_card.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/multimedia/wave_devices.h"
#include "platform/virtual_clock.h"
#include "wave_test_support.h"

namespace porthold::platform {
namespace {

using testing::LineFormatBlock;
using testing::TestBuffer;

class SimulatedSoundCardTest : public ::testing::Test {
protected:
    SimulatedSoundCardTest() { devices.RegisterSoundCard(card); }

    const WAVEFORMATEX format = LineFormatBlock();
    VirtualClock clock;
    SimulatedSoundCard card{clock};
    WaveDevices devices;
};

TEST_F(SimulatedSoundCardTest, PlaysSeveralSoundsAtOnce) {
    const WAVEFORMATEX stereo{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
    HWAVEOUT ring{};
    HWAVEOUT notification{};
    ASSERT_EQ(devices.OutOpen(&ring, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutOpen(&notification, WAVE_MAPPER, &stereo, 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    TestBuffer ringSound(16000);          // 1 s
    TestBuffer notificationSound(44100);  // 0.5 s
    ASSERT_EQ(devices.OutPrepareHeader(ring, &ringSound.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutWrite(ring, &ringSound.header), MMSYSERR_NOERROR);
    clock.Advance(100);
    ASSERT_EQ(devices.OutPrepareHeader(notification, &notificationSound.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutWrite(notification, &notificationSound.header), MMSYSERR_NOERROR);

    clock.Advance(500);
    EXPECT_TRUE(notificationSound.IsDone());
    EXPECT_FALSE(ringSound.IsDone());
    EXPECT_EQ(devices.OutClose(notification), MMSYSERR_NOERROR);
    clock.Advance(400);
    EXPECT_TRUE(ringSound.IsDone());
    EXPECT_EQ(devices.OutClose(ring), MMSYSERR_NOERROR);

    const std::vector<PlayedSound> timeline = card.Timeline();
    ASSERT_EQ(timeline.size(), 2u);
    EXPECT_EQ(timeline[0].deviceId, WAVE_MAPPER);
    EXPECT_EQ(timeline[0].endTick, 1000u);
    EXPECT_EQ(timeline[1].startTick, 100u);
    EXPECT_EQ(timeline[1].endTick, 600u);
    EXPECT_EQ(timeline[1].format.channels, 2);
}

TEST_F(SimulatedSoundCardTest, AnAbsentOrHeldCardRefusesEveryOpen) {
    HWAVEOUT output{};
    HWAVEIN input{};
    card.SetCondition(SoundCardCondition::Absent);
    EXPECT_EQ(devices.OutOpen(&output, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL),
              MMSYSERR_NODRIVER);
    EXPECT_EQ(devices.OutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY),
              MMSYSERR_NODRIVER);
    EXPECT_EQ(devices.InOpen(&input, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);

    card.SetCondition(SoundCardCondition::HeldByAnotherProgram);
    EXPECT_EQ(devices.OutOpen(&output, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL),
              MMSYSERR_ALLOCATED);
    EXPECT_EQ(devices.InOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY),
              MMSYSERR_ALLOCATED);
    EXPECT_EQ(devices.OpenOutputCount(), 0u);

    card.SetCondition(SoundCardCondition::Available);
    EXPECT_EQ(devices.OutOpen(&output, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    EXPECT_EQ(devices.OutClose(output), MMSYSERR_NOERROR);
}

TEST_F(SimulatedSoundCardTest, RecordsTheMicrophoneInTheRequestedFormat) {
    const WAVEFORMATEX eightBitStereo{WAVE_FORMAT_PCM, 2, 8000, 16000, 2, 8, 0};
    HWAVEIN input{};
    ASSERT_EQ(devices.InOpen(&input, WAVE_MAPPER, &eightBitStereo, 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    card.UserSpeaks(clock.TickCount(), {0x4000, -0x4000});
    TestBuffer buffer(2000);
    ASSERT_EQ(devices.InPrepareHeader(input, &buffer.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.InAddBuffer(input, &buffer.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.InStart(input), MMSYSERR_NOERROR);
    clock.Advance(125);
    ASSERT_TRUE(buffer.IsDone());
    // Unsigned 8-bit samples, each in both channels; silence is 0x80.
    const std::vector<unsigned char> start(buffer.data.begin(), buffer.data.begin() + 6);
    EXPECT_EQ(start, (std::vector<unsigned char>{0xC0, 0xC0, 0x40, 0x40, 0x80, 0x80}));
    EXPECT_EQ(devices.InClose(input), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace porthold::platform
