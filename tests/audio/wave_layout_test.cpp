#include "audio/wave_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "support/temporary_folder.h"

namespace porthold::audio {
namespace {

using namespace porthold::audio::testing;
using porthold::testing::TemporaryFolder;

// The samples of the golden recording of three buffers: a ramp that crosses
// zero, so that both bytes of negative and positive samples are exercised.
std::vector<std::int16_t> ThreeBuffersOfSamples() {
    std::vector<std::int16_t> samples;
    for (int index = 0; index < 3000; ++index) {
        samples.push_back(static_cast<std::int16_t>(index * 7 - 10000));
    }
    return samples;
}

TEST(TelephonyWaveLayout, HeadersMatchTheGoldenRecordings) {
    const std::string threeBuffers = Golden("three_buffers.wav");
    ASSERT_EQ(threeBuffers.size(), 6046u);
    const TelephonyWaveHeader header = BuildTelephonyWaveHeader(6000);
    EXPECT_EQ(std::string(header.begin(), header.end()), threeBuffers.substr(0, 46));

    const std::string empty = Golden("empty.wav");
    ASSERT_EQ(empty.size(), 46u);
    const TelephonyWaveHeader emptyHeader = BuildTelephonyWaveHeader(0);
    EXPECT_EQ(std::string(emptyHeader.begin(), emptyHeader.end()), empty);
}

TEST(TelephonyWaveLayout, WriterProducesTheGoldenFilesByteForByte) {
    TemporaryFolder folder;
    ASSERT_TRUE(WriteTelephonyWaveFile(folder.File("three.wav"), ThreeBuffersOfSamples()));
    EXPECT_EQ(folder.Read("three.wav"), Golden("three_buffers.wav"));

    ASSERT_TRUE(WriteTelephonyWaveFile(folder.File("three.wav"), {}));
    EXPECT_EQ(folder.Read("three.wav"), Golden("empty.wav"));
}

TEST(TelephonyWaveLayout, WriterFailsWhenTheFolderIsMissing) {
    TemporaryFolder folder;
    EXPECT_FALSE(
        WriteTelephonyWaveFile(folder.File("missing/prompt.wav"), ThreeBuffersOfSamples()));
}

TEST(WaveReader, ReadsBackTheGoldenRecording) {
    const std::optional<WaveSamples> read = ParseWaveSamples(Golden("three_buffers.wav"));
    ASSERT_TRUE(read.has_value());
    const platform::WaveFormat telephony{.formatTag = 1,
                                         .channels = 1,
                                         .samplesPerSecond = 8000,
                                         .averageBytesPerSecond = 16000,
                                         .blockAlign = 2,
                                         .bitsPerSample = 16};
    EXPECT_EQ(read->format, telephony);
    EXPECT_EQ(read->formatChunkSize, 18u);
    EXPECT_EQ(read->extraSize, std::optional<std::uint16_t>(18));
    EXPECT_EQ(read->samples, ThreeBuffersOfSamples());

    const std::optional<WaveSamples> empty = ParseWaveSamples(Golden("empty.wav"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->samples.empty());
}

TEST(WaveReader, ReadsFilesOfOtherWritersWithShortFormatsAndExtraChunks) {
    const std::vector<std::int16_t> samples = {1, -1, 32767, -32768};
    const std::string list = Chunk("LIST", "INFOx");
    const std::string stale = Chunk("data", SampleBytes({9, 9}));
    const std::string file =
        Riff(list + stale + FormatChunk({}, false) + list + Chunk("data", SampleBytes(samples)));

    TemporaryFolder folder;
    folder.Write("other.wav", file);
    const std::optional<WaveSamples> read = ReadWaveSamples(folder.File("other.wav"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->formatChunkSize, 16u);
    EXPECT_FALSE(read->extraSize.has_value());
    EXPECT_EQ(read->samples, samples);

    const std::string stereo =
        Riff(FormatChunk({.channels = 2, .rate = 44100}) + Chunk("data", SampleBytes(samples)));
    const std::optional<WaveSamples> stereoRead = ParseWaveSamples(stereo);
    ASSERT_TRUE(stereoRead.has_value());
    EXPECT_EQ(stereoRead->format.channels, 2);
    EXPECT_EQ(stereoRead->format.samplesPerSecond, 44100u);
    EXPECT_EQ(stereoRead->extraSize, std::optional<std::uint16_t>(18));
    EXPECT_EQ(stereoRead->samples, samples);

    std::string streamed = Golden("three_buffers.wav");
    streamed.replace(4, 4, Little32(0xFFFFFFFFu));
    ASSERT_TRUE(ParseWaveSamples(streamed).has_value());
    EXPECT_EQ(ParseWaveSamples(streamed)->samples, ThreeBuffersOfSamples());
}

TEST(WaveReader, RefusesForeignAndDamagedFiles) {
    const std::string data = Chunk("data", SampleBytes({1, 2, 3, 4}));
    std::string oversized = Riff(FormatChunk({}, false) + data);
    oversized.replace(40, 4, Little32(0xFFFFFFFFu));
    std::string riffTooSmall = Golden("three_buffers.wav");
    riffTooSmall.replace(4, 4, Little32(30));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"empty input", ""},
        {"not RIFF", "RIFX" + Riff(FormatChunk({}, false) + data).substr(4)},
        {"not WAVE", "RIFF" + Little32(4) + "AVI "},
        {"no data", Riff(FormatChunk({}, false))},
        {"data before format only", Riff(data + FormatChunk({}, false))},
        {"format of 14 bytes", Riff(Chunk("fmt ", std::string(14, '\1')) + data)},
        {"floating point", Riff(FormatChunk({.tag = 3, .bits = 32}, false) + data)},
        {"8 bits", Riff(FormatChunk({.bits = 8}, false) + data)},
        {"stereo with half a frame",
         Riff(FormatChunk({.channels = 2}, false) + Chunk("data", SampleBytes({1, 2, 3})))},
        {"odd data size", Riff(FormatChunk({}, false) + Chunk("data", "abc"))},
        {"chunk larger than the file", oversized},
        {"RIFF size cutting off the data", riffTooSmall},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_FALSE(ParseWaveSamples(bytes).has_value()) << name;
    }
    EXPECT_FALSE(ReadWaveSamples("/nonexistent/porthold/sound.wav").has_value());
}

TEST(WaveReader, RefusesEveryTruncatedCopyOfARecording) {
    const std::string whole = Golden("three_buffers.wav");
    for (std::size_t length = 0; length < whole.size(); ++length) {
        ASSERT_FALSE(ParseWaveSamples(std::string_view(whole).substr(0, length)).has_value())
            << length;
    }
}

}  // namespace
}  // namespace porthold::audio
