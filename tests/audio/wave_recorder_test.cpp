#include "audio/wave_recorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio_test_support.h"
#include "support/file_size_limit.h"
#include "unpluggable_sound_card.h"

namespace porthold::audio {
namespace {

using platform::PlaybackState;
using testing::AudioFixture;
using testing::Concatenate;
using testing::Golden;
using testing::kBufferSamples;
using testing::kLineIn;
using testing::kLineOut;
using testing::kStartTick;
using testing::Speech;

std::vector<std::int16_t> Silence(std::size_t count) {
    return std::vector<std::int16_t>(count, 0);
}

class WaveRecorderTest : public AudioFixture {
protected:
    std::string MessagePath() const { return folder.File("m0000000.wav"); }

    void StartMessage(SilenceDetection detection = SilenceDetection::On) {
        ASSERT_TRUE(recorder.RecordSound(MessagePath(), kLineIn, detection));
        ASSERT_TRUE(recorder.IsRecording());
    }

    bool RunUntilHangUp(std::uint32_t limitMilliseconds) {
        return clock.AdvanceUntil([&] { return flags.hangUpRequestCount > 0; }, limitMilliseconds);
    }
};

TEST_F(WaveRecorderTest, ThreeBuffersOfSoundGiveTheGoldenFileAndPlayBackAsRecorded) {
    std::vector<std::int16_t> ramp;
    for (int index = 0; index < 3000; ++index) {
        ramp.push_back(static_cast<std::int16_t>(index * 7 - 10000));
    }
    line.CallerSpeaks(kStartTick, ramp);
    StartMessage();
    clock.Advance(2000);
    EXPECT_TRUE(recorder.StopRecording());
    EXPECT_EQ(folder.Read("m0000000.wav"), Golden("three_buffers.wav"));
    EXPECT_EQ(recorder.WrittenBufferCount(), 3);

    ASSERT_TRUE(player.PlayWaveOut(MessagePath(), kLineOut, Interruptible::No));
    EXPECT_EQ(line.Timeline().back().Samples(), ramp);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(WaveRecorderTest, ACallerWhoSaysNothingLeavesAnEmptyFileThePlayerRefuses) {
    StartMessage();
    ASSERT_TRUE(RunUntilHangUp(20000));
    EXPECT_EQ(Elapsed(), 80u * 125u) << "80 silent buffers end the message";
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_TRUE(recorder.StopRecording());
    EXPECT_EQ(folder.Read("m0000000.wav"), Golden("empty.wav"));

    EXPECT_FALSE(player.PlayWaveOut(MessagePath(), kLineOut, Interruptible::No));
    EXPECT_EQ(log.lines, std::vector<std::string>{"PlayWaveOut: null data size"});
}

TEST_F(WaveRecorderTest, ABufferIsSilentFromNineteenHundredFiftyQuietBytesOn) {
    // 25 samples far from zero make 50 loud bytes (1950 quiet); one more byte
    // above the level makes 1949.
    std::vector<std::int16_t> silent = Silence(kBufferSamples);
    std::fill_n(silent.begin(), 25, static_cast<std::int16_t>(0x4040));
    std::vector<std::int16_t> sound = silent;
    sound[25] = 0x0040;
    line.CallerSpeaks(kStartTick, Concatenate({silent, sound}));
    StartMessage();
    clock.Advance(250);
    EXPECT_EQ(recorder.WrittenBufferCount(), 1);
    EXPECT_EQ(recorder.SilentRunCount(), 0) << "the sound buffer ends the run";
    EXPECT_TRUE(recorder.StopRecording());
    EXPECT_EQ(RecordedSamples(MessagePath()), sound);
}

TEST_F(WaveRecorderTest, AtLevelOneOnlyZeroBytesAreQuiet) {
    // Bytes of 1 and -1: loud at level 1, quiet at level 2.
    std::vector<std::int16_t> whisper(kBufferSamples, 0x0101);
    std::fill_n(whisper.begin(), 500, static_cast<std::int16_t>(-1));
    for (const std::int32_t level : {1, 2}) {
        SCOPED_TRACE(level);
        settings.SilenceLevel = level;
        line.ClearCallerSpeech();
        line.CallerSpeaks(clock.TickCount(), Concatenate({whisper, Silence(kBufferSamples)}));
        recorder.ResetCounts();
        StartMessage();
        clock.Advance(250);
        EXPECT_TRUE(recorder.StopRecording());
        EXPECT_EQ(RecordedSamples(MessagePath()), level == 1 ? whisper : Silence(0));
        EXPECT_EQ(recorder.SilentRunCount(), level == 1 ? 1 : 2);
    }
}

TEST_F(WaveRecorderTest, PausesShorterThanTenSecondsAreLeftOutAndTheNextSoundResetsTheRun) {
    const std::vector<std::int16_t> word = Speech(kBufferSamples);
    const std::vector<std::int16_t> pause = Silence(79 * kBufferSamples);
    line.CallerSpeaks(kStartTick, Concatenate({word, pause, word, pause, word}));
    StartMessage();
    ASSERT_TRUE(RunUntilHangUp(60000));
    // The third word is buffer 160; the 80th silent buffer after it ends the
    // message, on the tick that finds it done.
    EXPECT_EQ(Elapsed(), 241u * 125u + 5u);
    EXPECT_EQ(flags.hangUpRequestCount, 1);
    EXPECT_EQ(recorder.WrittenBufferCount(), 3);
    EXPECT_EQ(recorder.SilentRunCount(), 80);
    EXPECT_TRUE(recorder.StopRecording());
    EXPECT_EQ(RecordedSamples(MessagePath()), Concatenate({word, word, word}));
}

TEST_F(WaveRecorderTest, TwoMinutesOfKeptSoundEndTheMessage) {
    line.CallerSpeaks(kStartTick, Speech(125 * 8000));
    StartMessage();
    ASSERT_TRUE(RunUntilHangUp(200000));
    EXPECT_EQ(Elapsed(), 120000u);
    EXPECT_EQ(recorder.WrittenBufferCount(), 960);
    clock.Advance(500);
    EXPECT_TRUE(recorder.StopRecording());
    EXPECT_EQ(RecordedSamples(MessagePath()).size(), 960u * kBufferSamples)
        << "nothing after the limit is kept";
}

TEST_F(WaveRecorderTest, WithoutALevelOrWithoutDetectionNothingEndsTheRecording) {
    for (const auto& [level, detection] :
         {std::pair{0, SilenceDetection::On}, std::pair{10, SilenceDetection::Off}}) {
        SCOPED_TRACE(level);
        settings.SilenceLevel = level;
        recorder.ResetCounts();
        StartMessage(detection);
        clock.Advance(130000);
        EXPECT_TRUE(recorder.IsRecording());
        EXPECT_EQ(flags.hangUpRequestCount, 0);
        EXPECT_EQ(recorder.WrittenBufferCount(), 1040) << "silence is kept too";
        EXPECT_TRUE(recorder.StopRecording());
    }
}

TEST_F(WaveRecorderTest, WithoutALevelHalfAnHourStillEndsAMessageButNotARecordingTheUserStops) {
    settings.SilenceLevel = 0;
    StartMessage();
    ASSERT_TRUE(RunUntilHangUp(1900000));
    EXPECT_EQ(Elapsed(), 1800000u);
    EXPECT_EQ(recorder.WrittenBufferCount(), WaveRecorder::kLongestMessageBuffers);
    EXPECT_TRUE(recorder.StopRecording());

    recorder.ResetCounts();
    StartMessage(SilenceDetection::Off);
    clock.Advance(1900000);
    EXPECT_TRUE(recorder.IsRecording());
    EXPECT_TRUE(recorder.StopRecording());
}

TEST_F(WaveRecorderTest, StoppingKeepsTheLastWordsInTheOrderTheyWereRecorded) {
    line.CallerSpeaks(kStartTick, Speech(8000));
    StartMessage();
    // The third buffer is complete but no tick has taken it yet; the fourth
    // holds 2 milliseconds.
    clock.Advance(377);
    EXPECT_EQ(recorder.WrittenBufferCount(), 2);
    EXPECT_TRUE(recorder.StopRecording());
    EXPECT_EQ(RecordedSamples(MessagePath()), Speech(3016));
    const std::string bytes = folder.Read("m0000000.wav");
    EXPECT_EQ(bytes.size(), 46u + 6032u);
    EXPECT_EQ(bytes.substr(4, 4), testing::Little32(38 + 6032));
    EXPECT_EQ(bytes.substr(42, 4), testing::Little32(6032));
    EXPECT_FALSE(line.IsOpen());
}

TEST_F(WaveRecorderTest, AStoppedPauseIsDroppedUnderDetectionAndKeptWithout) {
    for (const SilenceDetection detection : {SilenceDetection::On, SilenceDetection::Off}) {
        line.ClearCallerSpeech();
        line.CallerSpeaks(clock.TickCount(), Speech(3 * kBufferSamples));
        StartMessage(detection);
        clock.Advance(435);
        EXPECT_TRUE(recorder.StopRecording());
        const std::vector<std::int16_t> expected = detection == SilenceDetection::On
                                                       ? Speech(3000)
                                                       : Concatenate({Speech(3000), Silence(480)});
        EXPECT_EQ(RecordedSamples(MessagePath()), expected);
    }
}

TEST_F(WaveRecorderTest, RecordingWaitsForAPromptOnTheLineButCutsAGreetingShort) {
    ASSERT_TRUE(
        player.PlayWaveOut(WritePrompt("greeting.wav", 5000), kLineOut, Interruptible::Yes));
    ASSERT_TRUE(player.PlayWaveOut(WritePrompt("beep.wav", 500), kLineOut, Interruptible::No));
    EXPECT_EQ(Elapsed(), 0u);
    StartMessage();
    EXPECT_EQ(Elapsed(), 500u) << "the beep is heard in full";
    EXPECT_TRUE(player.IsQueueEmpty());

    const std::vector<platform::PlayedSound> heard = line.Timeline();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].state, PlaybackState::CutShort);
    EXPECT_EQ(heard[1].state, PlaybackState::Finished);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(WaveRecorderTest, ANewRecordingFinishesTheOneStillRunningEvenIntoTheSameFile) {
    line.CallerSpeaks(kStartTick, Speech(16000));
    ASSERT_TRUE(recorder.RecordSound(folder.File("temp.wav"), platform::WAVE_MAPPER,
                                     SilenceDetection::Off));
    clock.Advance(300);
    ASSERT_TRUE(recorder.RecordSound(folder.File("first.wav"), kLineIn, SilenceDetection::Off));
    EXPECT_TRUE(RecordedSamples(folder.File("temp.wav")).size() == 2400u);
    clock.Advance(300);
    ASSERT_TRUE(recorder.RecordSound(folder.File("first.wav"), kLineIn, SilenceDetection::Off));
    clock.Advance(250);
    EXPECT_TRUE(recorder.StopRecording());
    EXPECT_EQ(RecordedSamples(folder.File("first.wav")), Speech(2000, 4800));
    EXPECT_EQ(recorder.WrittenBufferCount(), 2 + 2 + 2) << "the counts carry over";
}

TEST_F(WaveRecorderTest, AFullDiskEndsTheMessageWithTheBuffersWrittenInAValidFile) {
    line.CallerSpeaks(kStartTick, Speech(16000));
    {
        // Room for the header and three and a half buffers.
        porthold::testing::FileSizeLimit limit(46 + 7000);
        StartMessage();
        ASSERT_TRUE(RunUntilHangUp(3000));
        EXPECT_FALSE(recorder.IsRecording());
        clock.Advance(500);
        EXPECT_TRUE(recorder.StopRecording());
    }
    EXPECT_EQ(RecordedSamples(MessagePath()), Speech(3000));
    const std::string bytes = folder.Read("m0000000.wav");
    EXPECT_EQ(bytes.size(), 46u + 6000u);
    EXPECT_EQ(bytes.substr(4, 4), testing::Little32(38 + 6000));
    EXPECT_EQ(bytes.substr(42, 4), testing::Little32(6000));
    EXPECT_EQ(log.lines, std::vector<std::string>{"Rebuffer: mmioWrite"});

    // Once there is room again the next message is whole.
    line.ClearCallerSpeech();
    line.CallerSpeaks(clock.TickCount(), Speech(2000));
    ASSERT_TRUE(recorder.RecordSound(folder.File("m0000001.wav"), kLineIn, SilenceDetection::On));
    clock.Advance(400);
    EXPECT_TRUE(recorder.StopRecording());
    EXPECT_EQ(RecordedSamples(folder.File("m0000001.wav")), Speech(2000));
}

TEST_F(WaveRecorderTest, ADiskWithoutRoomForTheHeaderRecordsNothing) {
    {
        // Room for the format chunk but not for the header of the samples.
        porthold::testing::FileSizeLimit limit(40);
        EXPECT_FALSE(recorder.RecordSound(MessagePath(), kLineIn, SilenceDetection::On));
    }
    EXPECT_FALSE(recorder.HasBuffers());
    EXPECT_EQ(log.lines, std::vector<std::string>{"RecordSound: mmioWrite"});
}

TEST_F(WaveRecorderTest, ASoundCardPulledOutDuringAGreetingKeepsWhatWasRecorded) {
    porthold::testing::UnpluggableSoundCard card(soundCard);
    devices.RegisterSoundCard(card);
    soundCard.UserSpeaks(kStartTick, Speech(16000));
    recorder.SetRecordingFlag();
    ASSERT_TRUE(recorder.RecordSound(folder.File("greeting.wav"), platform::WAVE_MAPPER,
                                     SilenceDetection::Off));
    clock.Advance(300);
    card.Unplug();
    clock.Advance(1000);
    EXPECT_EQ(log.lines.size(), 1u);
    EXPECT_TRUE(recorder.StopRecording());
    EXPECT_EQ(RecordedSamples(folder.File("greeting.wav")), Speech(2400));
    EXPECT_EQ(devices.OpenInputCount(), 0u);
}

}  // namespace
}  // namespace porthold::audio
