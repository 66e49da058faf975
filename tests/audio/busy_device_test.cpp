#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "audio/telephony_format.h"
#include "audio_test_support.h"
#include "platform/multimedia/alsa_sound_card.h"
#include "platform/multimedia/wave_error_text.h"
#include "platform/system_clock.h"

namespace porthold::audio {
namespace {

using platform::MMRESULT;
using platform::WAVE_MAPPER;
using platform::WaveErrorText;
using testing::AudioFixture;
using testing::kStartTick;

// A sound card that serves one program at a time and is held by another
// program until a given clock reading (for ever without one). Its format
// query judges the format alone, so only the open finds it taken.
class ContendedSoundCard final : public platform::WaveDeviceProvider {
public:
    ContendedSoundCard(platform::Clock& clock, platform::SimulatedSoundCard& card)
        : clock_(clock), card_(card) {}

    std::optional<std::uint32_t> releaseTick;

    bool ServesDevice(std::uint32_t /*deviceId*/,
                      platform::WaveDirection /*direction*/) const override {
        return false;
    }
    MMRESULT QueryFormat(std::uint32_t deviceId, platform::WaveDirection direction,
                         const platform::WaveFormat& format) override {
        return card_.QueryFormat(deviceId, direction, format);
    }
    MMRESULT OpenOutput(std::uint32_t deviceId, const platform::WaveFormat& format,
                        std::unique_ptr<platform::WaveOutputDevice>& device) override {
        return IsHeld() ? platform::MMSYSERR_ALLOCATED : card_.OpenOutput(deviceId, format, device);
    }
    MMRESULT OpenInput(std::uint32_t deviceId, const platform::WaveFormat& format,
                       std::unique_ptr<platform::WaveInputDevice>& device) override {
        return IsHeld() ? platform::MMSYSERR_ALLOCATED : card_.OpenInput(deviceId, format, device);
    }

private:
    bool IsHeld() const {
        return !releaseTick || static_cast<std::int32_t>(clock_.TickCount() - *releaseTick) < 0;
    }

    platform::Clock& clock_;
    platform::SimulatedSoundCard& card_;
};

class BusyDeviceTest : public AudioFixture {
protected:
    BusyDeviceTest() { devices.RegisterSoundCard(contended); }

    const std::string allocated = WaveErrorText(platform::MMSYSERR_ALLOCATED);
    ContendedSoundCard contended{clock, soundCard};
};

TEST_F(BusyDeviceTest, ACardHeldByAnotherProgramIsGivenUpAfterFiveSeconds) {
    EXPECT_FALSE(player.PlayWaveOut(WritePrompt("ring.wav", 500), WAVE_MAPPER, Interruptible::Yes));
    EXPECT_EQ(Elapsed(), 5000u);
    EXPECT_EQ(log.lines, std::vector<std::string>{"PlayWaveOut " + allocated});

    log.lines.clear();
    EXPECT_FALSE(recorder.RecordSound(folder.File("temp.wav"), WAVE_MAPPER, SilenceDetection::Off));
    EXPECT_EQ(Elapsed(), 10000u);
    EXPECT_EQ(log.lines, std::vector<std::string>{"RecordSound " + allocated});
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_FALSE(recorder.HasBuffers());
}

TEST_F(BusyDeviceTest, ACardFreedWithinFiveSecondsIsUsedTheMomentItIsFree) {
    contended.releaseTick = kStartTick + 2000;
    ASSERT_TRUE(player.PlayWaveOut(WritePrompt("ring.wav", 500), WAVE_MAPPER, Interruptible::Yes));
    EXPECT_EQ(Elapsed(), 2000u);
    ASSERT_EQ(soundCard.Timeline().size(), 1u);
    EXPECT_EQ(soundCard.Timeline()[0].startTick, kStartTick + 2000);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(BusyDeviceTest, ACardThatRefusesEvenTheQueryFailsAtOnce) {
    devices.RegisterSoundCard(soundCard);
    soundCard.SetCondition(platform::SoundCardCondition::HeldByAnotherProgram);
    EXPECT_FALSE(player.PlayWaveOut(WritePrompt("ring.wav", 500), WAVE_MAPPER, Interruptible::Yes));
    EXPECT_FALSE(recorder.RecordSound(folder.File("temp.wav"), WAVE_MAPPER, SilenceDetection::Off));
    EXPECT_EQ(Elapsed(), 0u);
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"PlayWaveOut " + allocated, "RecordSound " + allocated}));
}

// The machine's own sound card through ALSA, in real time: where there is
// none, playing and recording fail at once with the device's reason.
TEST(AlsaSoundCardAudio, WithoutASoundCardPlayingAndRecordingFailCleanlyAndFast) {
    platform::AlsaSoundCard card("default");
    platform::WaveDevices devices;
    devices.RegisterSoundCard(card);
    const platform::WAVEFORMATEX format = TelephonyWaveFormat();
    const MMRESULT query =
        devices.OutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, platform::WAVE_FORMAT_QUERY);
    if (query == platform::MMSYSERR_NOERROR) {
        GTEST_SKIP() << "this machine has a sound card";
    }

    platform::SystemClock clock;
    porthold::testing::RecordingErrorLog log;
    porthold::testing::TemporaryFolder folder;
    config::Settings settings;
    testing::FakeCallFlags flags;
    Audio audio(devices, clock, log, settings, flags);
    ASSERT_TRUE(WriteTelephonyWaveFile(folder.File("beep.wav"), testing::Speech(800)));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(
        audio.Player().PlayWaveOut(folder.File("beep.wav"), WAVE_MAPPER, Interruptible::Yes));
    EXPECT_FALSE(
        audio.Recorder().RecordSound(folder.File("temp.wav"), WAVE_MAPPER, SilenceDetection::Off));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0], "PlayWaveOut " + WaveErrorText(query));
    EXPECT_EQ(log.lines[1].rfind("RecordSound ", 0), 0u);
    EXPECT_TRUE(audio.Player().IsQueueEmpty());
    EXPECT_EQ(devices.OpenOutputCount() + devices.OpenInputCount(), 0u);
}

}  // namespace
}  // namespace porthold::audio
