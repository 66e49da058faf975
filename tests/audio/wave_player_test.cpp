#include "audio/wave_player.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio_test_support.h"
#include "platform/multimedia/wave_error_text.h"

namespace porthold::audio {
namespace {

using platform::PlaybackState;
using platform::PlayedSound;
using platform::WaveErrorText;
using testing::AudioFixture;
using testing::Chunk;
using testing::FormatChunk;
using testing::kLineOut;
using testing::kStartTick;
using testing::Little32;
using testing::Riff;
using testing::SampleBytes;
using testing::Speech;

using WavePlayerTest = AudioFixture;

TEST_F(WavePlayerTest, PlaysAFileWholeAndReleasesItOnTheTickAfterItEnds) {
    const std::string prompt = WritePrompt("prompt.wav", 500);
    ASSERT_TRUE(player.PlayWaveOut(prompt, kLineOut, Interruptible::No));
    EXPECT_EQ(Elapsed(), 0u) << "the call returns while the sound plays";
    ASSERT_EQ(player.Queue().size(), 1u);
    EXPECT_EQ(player.Queue().front().device, kLineOut);

    clock.Advance(499);
    EXPECT_FALSE(player.IsQueueEmpty());
    clock.Advance(10);
    EXPECT_TRUE(player.IsQueueEmpty());
    EXPECT_FALSE(line.IsOpen());

    const std::vector<PlayedSound> heard = line.Timeline();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].startTick, kStartTick);
    EXPECT_EQ(heard[0].endTick, kStartTick + 500);
    EXPECT_EQ(heard[0].state, PlaybackState::Finished);
    EXPECT_EQ(heard[0].Samples(), Speech(4000));
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(WavePlayerTest, FilesThatCannotBePlayedAreRefusedWithTheFailingStep) {
    const std::string format = FormatChunk({});
    const std::string data = Chunk("data", SampleBytes(Speech(800)));
    std::string formatBeyondTheFile = Riff(format + data);
    formatBeyondTheFile.replace(16, 4, Little32(0x7FFFFFF0u));
    std::string dataBeyondTheFile = Riff(format + data);
    dataBeyondTheFile.replace(42, 4, Little32(0xFFFFFF00u));
    const std::string badFormat = "PlayWaveOut " + WaveErrorText(platform::WAVERR_BADFORMAT);

    struct Case {
        std::string name;
        std::string bytes;
        std::string logged;
    };
    const std::vector<Case> cases = {
        {"not RIFF", "RIFX" + Riff(format + data).substr(4),
         "PlayWaveOut: mmioDescend parent findriff"},
        {"no format", Riff(data), "PlayWaveOut: mmioDescend parent findchunk"},
        {"no data", Riff(format), "PlayWaveOut: mmioDescend parent findchunk"},
        {"data before format", Riff(data + format), "PlayWaveOut: mmioDescend parent findchunk"},
        {"empty data", Riff(format + Chunk("data", "")), "PlayWaveOut: null data size"},
        {"format larger than the file", formatBeyondTheFile, "PlayWaveOut: format size mismatch"},
        {"data larger than the file", dataBeyondTheFile, "PlayWaveOut: data size mismatch"},
        {"stereo on the line", Riff(FormatChunk({.channels = 2}) + data), badFormat},
        {"format of 14 bytes", Riff(Chunk("fmt ", FormatChunk({}).substr(8, 14)) + data),
         badFormat},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        log.lines.clear();
        EXPECT_FALSE(
            player.PlayWaveOut(WriteFile("bad.wav", test.bytes), kLineOut, Interruptible::Yes));
        EXPECT_EQ(log.lines, std::vector<std::string>{test.logged});
        EXPECT_TRUE(player.IsQueueEmpty());
        EXPECT_FALSE(line.IsOpen());
    }

    log.lines.clear();
    EXPECT_FALSE(player.PlayWaveOut(folder.File("missing.wav"), kLineOut, Interruptible::Yes));
    EXPECT_TRUE(log.lines.empty()) << "a missing file is not logged";
}

TEST_F(WavePlayerTest, AFileWithASixteenByteFormatChunkPlays) {
    const std::string path = WriteFile(
        "short.wav", Riff(FormatChunk({}, false) + Chunk("data", SampleBytes(Speech(800)))));
    ASSERT_TRUE(player.PlayWaveOut(path, kLineOut, Interruptible::Yes));
    ASSERT_EQ(line.Timeline().size(), 1u);
    EXPECT_EQ(line.Timeline()[0].Samples(), Speech(800));
}

TEST_F(WavePlayerTest, ASoundOnABusyLineStartsExactlyWhenThePromptBeforeItEnds) {
    const std::string prompt = WritePrompt("prompt.wav", 437);
    const std::string beep = WritePrompt("beep.wav", 250);
    ASSERT_TRUE(player.PlayWaveOut(prompt, kLineOut, Interruptible::No));
    ASSERT_TRUE(player.PlayWaveOut(beep, kLineOut, Interruptible::No));
    EXPECT_EQ(Elapsed(), 437u) << "the second call waits for the first prompt";

    const std::vector<PlayedSound> heard = line.Timeline();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].state, PlaybackState::Finished);
    EXPECT_EQ(heard[1].startTick, heard[0].endTick);
    EXPECT_EQ(player.Queue().size(), 1u);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(WavePlayerTest, AnInterruptibleSoundGivesWayToTheNextAtOnce) {
    const std::string greeting = WritePrompt("greeting.wav", 3000);
    const std::string prompt = WritePrompt("prompt.wav", 500);
    ASSERT_TRUE(player.PlayWaveOut(greeting, kLineOut, Interruptible::Yes));
    clock.Advance(200);
    ASSERT_TRUE(player.PlayWaveOut(prompt, kLineOut, Interruptible::No));
    EXPECT_EQ(Elapsed(), 200u);

    const std::vector<PlayedSound> heard = line.Timeline();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].state, PlaybackState::CutShort);
    EXPECT_EQ(heard[0].endTick, kStartTick + 200);
    EXPECT_EQ(heard[1].startTick, kStartTick + 200);
}

TEST_F(WavePlayerTest, InterruptWaveOutStopsOnlyInterruptibleSounds) {
    ASSERT_TRUE(player.PlayWaveOut(WritePrompt("prompt.wav", 500), kLineOut, Interruptible::No));
    ASSERT_TRUE(player.PlayWaveOut(WritePrompt("ring.wav", 2000), platform::WAVE_MAPPER,
                                   Interruptible::Yes));
    clock.Advance(100);
    player.InterruptWaveOut();

    ASSERT_EQ(player.Queue().size(), 1u);
    EXPECT_EQ(player.Queue().front().device, kLineOut);
    EXPECT_EQ(line.Timeline()[0].state, PlaybackState::Playing);
    EXPECT_EQ(soundCard.Timeline()[0].state, PlaybackState::CutShort);
    EXPECT_EQ(soundCard.OpenOutputCount(), 0u);
}

TEST_F(WavePlayerTest, SoundsOnTwoDevicesPlayTogetherAndAreReleasedEachAtItsEnd) {
    ASSERT_TRUE(player.PlayWaveOut(WritePrompt("ring.wav", 500), kLineOut, Interruptible::Yes));
    ASSERT_TRUE(player.PlayWaveOut(WritePrompt("caller.wav", 250), platform::WAVE_MAPPER,
                                   Interruptible::Yes));
    EXPECT_EQ(Elapsed(), 0u);

    clock.Advance(300);
    ASSERT_EQ(player.Queue().size(), 1u);
    EXPECT_EQ(player.Queue().front().device, kLineOut);
    EXPECT_EQ(soundCard.OpenOutputCount(), 0u);
    clock.Advance(300);
    EXPECT_TRUE(player.IsQueueEmpty());
    EXPECT_FALSE(line.IsOpen());
}

TEST_F(WavePlayerTest, ReleasingASoundWhileAMessageIsRetrievedFinishesTheMessage) {
    const std::string message = WritePrompt("message.wav", 500);
    ASSERT_TRUE(player.PlayWaveOut(message, kLineOut, Interruptible::No));
    clock.Advance(600);
    EXPECT_EQ(flags.messageFinishedCount, 0) << "no retrieval under way";

    flags.retrieving = true;
    flags.messagePlaying = true;
    ASSERT_TRUE(player.PlayWaveOut(message, kLineOut, Interruptible::No));
    clock.Advance(600);
    EXPECT_EQ(flags.messageFinishedCount, 1);

    ASSERT_TRUE(player.PlayWaveOut(message, kLineOut, Interruptible::Yes));
    player.InterruptWaveOut();
    EXPECT_EQ(flags.messageFinishedCount, 2) << "also when released by interruption";

    flags.messagePlaying = false;
    ASSERT_TRUE(player.PlayWaveOut(message, kLineOut, Interruptible::No));
    clock.Advance(600);
    EXPECT_EQ(flags.messageFinishedCount, 2) << "the end of a beep finishes no message";
}

TEST_F(WavePlayerTest, PlayingOnTheLineStopsARecordingOnItFirst) {
    line.CallerSpeaks(kStartTick, Speech(8000));
    ASSERT_TRUE(recorder.RecordSound(folder.File("m.wav"), testing::kLineIn, SilenceDetection::On));
    clock.Advance(300);
    ASSERT_TRUE(player.PlayWaveOut(WritePrompt("prompt.wav", 500), kLineOut, Interruptible::No));

    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_FALSE(recorder.HasBuffers());
    EXPECT_EQ(RecordedSamples(folder.File("m.wav")), Speech(2400));
    EXPECT_EQ(line.Timeline().back().startTick, kStartTick + 300);
}

TEST_F(WavePlayerTest, ProbeSoundCardIsFalseOnlyWhileAnotherProgramHoldsTheCard) {
    EXPECT_TRUE(player.ProbeSoundCard());
    EXPECT_EQ(soundCard.OpenOutputCount(), 0u);
    soundCard.SetCondition(platform::SoundCardCondition::HeldByAnotherProgram);
    EXPECT_FALSE(player.ProbeSoundCard());
    soundCard.SetCondition(platform::SoundCardCondition::Absent);
    EXPECT_TRUE(player.ProbeSoundCard());
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(WavePlayerTest, TeardownStopsEverySoundAndFinishesTheRecording) {
    ASSERT_TRUE(player.PlayWaveOut(WritePrompt("ring.wav", 2000), platform::WAVE_MAPPER,
                                   Interruptible::No));
    line.CallerSpeaks(kStartTick, Speech(8000));
    ASSERT_TRUE(recorder.RecordSound(folder.File("m.wav"), testing::kLineIn, SilenceDetection::On));
    clock.Advance(300);

    audio.Teardown();
    EXPECT_TRUE(player.IsQueueEmpty());
    EXPECT_FALSE(recorder.HasBuffers());
    EXPECT_EQ(devices.OpenOutputCount() + devices.OpenInputCount(), 0u);
    EXPECT_EQ(soundCard.Timeline()[0].state, PlaybackState::CutShort);
    EXPECT_EQ(RecordedSamples(folder.File("m.wav")), Speech(2400));
    audio.Teardown();
}

}  // namespace
}  // namespace porthold::audio
