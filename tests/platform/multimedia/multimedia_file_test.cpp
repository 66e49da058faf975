#include "platform/multimedia/multimedia_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/multimedia/wave_types.h"
#include "support/temporary_folder.h"
#include "support/wave_bytes.h"

namespace porthold::platform {
namespace {

using porthold::testing::Chunk;
using porthold::testing::Little32;
using porthold::testing::Riff;
using porthold::testing::TemporaryFolder;

constexpr FOURCC kWave = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC kFormat = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');

const WAVEFORMATEX kLineFormat{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 18};

std::string FormatBytes() {
    return std::string(reinterpret_cast<const char*>(&kLineFormat), sizeof kLineFormat);
}

// Reads a file the way the player does: RIFF "WAVE", "fmt " from the start of
// its data, then "data" from the end of "fmt ". Returns the data, or the
// first failing result.
struct PlayerRead {
    MMRESULT result = MMSYSERR_NOERROR;
    std::string format;
    std::string data;
};

PlayerRead ReadLikeThePlayer(const std::string& path) {
    PlayerRead read;
    MultimediaFile file;
    read.result = file.Open(path, MMIO_READ | MMIO_ALLOCBUF);
    if (read.result != MMSYSERR_NOERROR) {
        return read;
    }
    MMCKINFO riff{};
    riff.fccType = kWave;
    if ((read.result = file.Descend(riff, nullptr, MMIO_FINDRIFF)) != MMSYSERR_NOERROR) {
        return read;
    }
    MMCKINFO chunk{};
    chunk.ckid = kFormat;
    if ((read.result = file.Descend(chunk, &riff, MMIO_FINDCHUNK)) != MMSYSERR_NOERROR) {
        return read;
    }
    read.format.resize(chunk.cksize);
    if (file.Read(read.format.data(), static_cast<std::int32_t>(chunk.cksize)) !=
        static_cast<std::int32_t>(chunk.cksize)) {
        read.result = MMIOERR_CANNOTREAD;
        return read;
    }
    if ((read.result = file.Ascend(chunk)) != MMSYSERR_NOERROR) {
        return read;
    }
    chunk.ckid = kData;
    if ((read.result = file.Descend(chunk, &riff, MMIO_FINDCHUNK)) != MMSYSERR_NOERROR) {
        return read;
    }
    read.data.resize(chunk.cksize);
    const std::int32_t got = file.Read(read.data.data(), static_cast<std::int32_t>(chunk.cksize));
    read.data.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    read.result = file.Close();
    return read;
}

// Writes a recording the way the recorder does, with `buffers` buffers of
// 2000 bytes.
void WriteLikeTheRecorder(const std::string& path, int buffers) {
    MultimediaFile file;
    ASSERT_EQ(file.Open(path, MMIO_CREATE | MMIO_WRITE | MMIO_EXCLUSIVE | MMIO_ALLOCBUF),
              MMSYSERR_NOERROR);
    MMCKINFO riff{};
    riff.fccType = kWave;
    ASSERT_EQ(file.CreateChunk(riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
    MMCKINFO format{};
    format.ckid = kFormat;
    format.cksize = 36;
    ASSERT_EQ(file.CreateChunk(format, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(file.Write(&kLineFormat, 18), 18);
    ASSERT_EQ(file.Ascend(format), MMSYSERR_NOERROR);
    MMCKINFO data{};
    data.ckid = kData;
    ASSERT_EQ(file.CreateChunk(data, 0), MMSYSERR_NOERROR);
    for (int index = 0; index < buffers; ++index) {
        const std::string buffer(2000, static_cast<char>('a' + index));
        ASSERT_EQ(file.Write(buffer.data(), 2000), 2000);
    }
    ASSERT_EQ(file.Ascend(data), MMSYSERR_NOERROR);
    ASSERT_EQ(file.Ascend(riff), MMSYSERR_NOERROR);
    ASSERT_EQ(file.Close(), MMSYSERR_NOERROR);
}

TEST(MultimediaFile, AscendFixesTheSizesOfCreatedChunks) {
    TemporaryFolder folder;
    WriteLikeTheRecorder(folder.File("m.wav"), 3);
    const std::string bytes = folder.Read("m.wav");
    ASSERT_EQ(bytes.size(), 6046u);
    const std::string expectedHeader = "RIFF" + Little32(6038) + "WAVE" + "fmt " + Little32(18) +
                                       FormatBytes() + "data" + Little32(6000);
    EXPECT_EQ(bytes.substr(0, 46), expectedHeader);
    EXPECT_EQ(bytes.substr(46, 2000), std::string(2000, 'a'));
    EXPECT_EQ(bytes.substr(4046), std::string(2000, 'c'));

    const PlayerRead read = ReadLikeThePlayer(folder.File("m.wav"));
    EXPECT_EQ(read.result, MMSYSERR_NOERROR);
    EXPECT_EQ(read.format, FormatBytes());
    EXPECT_EQ(read.data.size(), 6000u);

    // A recording without samples has an empty data chunk.
    WriteLikeTheRecorder(folder.File("empty.wav"), 0);
    const std::string empty = folder.Read("empty.wav");
    ASSERT_EQ(empty.size(), 46u);
    EXPECT_EQ(empty.substr(4, 4), Little32(38));
    EXPECT_EQ(empty.substr(42, 4), Little32(0));
}

TEST(MultimediaFile, AnOddSizedChunkIsPaddedAndSkippedOverTheirPad) {
    TemporaryFolder folder;
    const std::string path = folder.File("odd.wav");
    {
        MultimediaFile file;
        ASSERT_EQ(file.Open(path, MMIO_CREATE | MMIO_READWRITE), MMSYSERR_NOERROR);
        MMCKINFO riff{};
        riff.fccType = kWave;
        ASSERT_EQ(file.CreateChunk(riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
        MMCKINFO note{};
        note.ckid = mmioFOURCC('n', 'o', 't', 'e');
        ASSERT_EQ(file.CreateChunk(note, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(file.Write("abc", 3), 3);
        ASSERT_EQ(file.Ascend(note), MMSYSERR_NOERROR);
        EXPECT_EQ(note.cksize, 3u);
        MMCKINFO format{};
        format.ckid = kFormat;
        format.cksize = 18;  // right from the start: no size to fix
        ASSERT_EQ(file.CreateChunk(format, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(file.Write(&kLineFormat, 18), 18);
        ASSERT_EQ(file.Ascend(format), MMSYSERR_NOERROR);
        MMCKINFO data{};
        data.ckid = kData;
        ASSERT_EQ(file.CreateChunk(data, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(file.Write("xyz", 3), 3);
        ASSERT_EQ(file.Ascend(data), MMSYSERR_NOERROR);
        ASSERT_EQ(file.Ascend(riff), MMSYSERR_NOERROR);
        ASSERT_EQ(file.Close(), MMSYSERR_NOERROR);
    }
    const std::string expected =
        Riff(Chunk("note", "abc") + Chunk("fmt ", FormatBytes()) + Chunk("data", "xyz"));
    EXPECT_EQ(folder.Read("odd.wav"), expected);
    const PlayerRead read = ReadLikeThePlayer(path);
    EXPECT_EQ(read.result, MMSYSERR_NOERROR);
    EXPECT_EQ(read.data, "xyz");
}

TEST(MultimediaFile, DescendFindsChunksInOrderAndSkipsOthers) {
    TemporaryFolder folder;
    const std::string format16 = FormatBytes().substr(0, 16);
    folder.Write("a.wav", Riff(Chunk("LIST", "INFOx") + Chunk("fmt ", format16) +
                               Chunk("fact", "1234") + Chunk("data", "samples!")));
    const PlayerRead read = ReadLikeThePlayer(folder.File("a.wav"));
    EXPECT_EQ(read.result, MMSYSERR_NOERROR);
    EXPECT_EQ(read.format, format16);
    EXPECT_EQ(read.data, "samples!");

    // A plain descend enters whatever chunk comes next, reporting where its
    // data starts; a RIFF or LIST chunk reports its form type.
    MultimediaFile file;
    ASSERT_EQ(file.Open(folder.File("a.wav"), MMIO_READ), MMSYSERR_NOERROR);
    MMCKINFO riff{};
    ASSERT_EQ(file.Descend(riff, nullptr, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(riff.ckid, FOURCC_RIFF);
    EXPECT_EQ(riff.fccType, kWave);
    EXPECT_EQ(riff.dwDataOffset, 8u);
    MMCKINFO list{};
    ASSERT_EQ(file.Descend(list, &riff, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(list.ckid, FOURCC_LIST);
    EXPECT_EQ(list.cksize, 5u);
    EXPECT_EQ(list.fccType, mmioFOURCC('I', 'N', 'F', 'O'));
    ASSERT_EQ(file.Ascend(list), MMSYSERR_NOERROR);
    MMCKINFO next{};
    ASSERT_EQ(file.Descend(next, &riff, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(next.ckid, kFormat);
    EXPECT_EQ(next.dwDataOffset, 12u + 14u + 8u);
}

TEST(MultimediaFile, DataBeforeFormatIsNotFound) {
    TemporaryFolder folder;
    folder.Write("a.wav", Riff(Chunk("data", "samples!") + Chunk("fmt ", FormatBytes())));
    EXPECT_EQ(ReadLikeThePlayer(folder.File("a.wav")).result, MMIOERR_CHUNKNOTFOUND);
}

TEST(MultimediaFile, MalformedFilesFailCleanly) {
    TemporaryFolder folder;
    const std::string fmt = Chunk("fmt ", FormatBytes());
    struct Case {
        const char* name;
        std::string contents;
    };
    const std::vector<Case> cases{
        {"empty", ""},
        {"text", "This is not a sound file at all.\n"},
        {"truncated RIFF header", "RIFF\x10"},
        {"RIFF without form type", "RIFF" + Little32(4)},
        {"another form type", Riff(fmt + Chunk("data", "ab"), "AVI ")},
        {"format chunk header cut", Riff("fmt \x12")},
        {"no data chunk", Riff(fmt)},
        {"chunk size beyond the end before data",
         Riff(fmt + "junk" + Little32(0xFFFFFFF0u) + Chunk("data", "ab"))},
        {"data outside a RIFF chunk that is too short",
         "RIFF" + Little32(4 + static_cast<std::uint32_t>(fmt.size())) + "WAVE" + fmt +
             Chunk("data", "ab")},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        folder.Write("bad.wav", test.contents);
        EXPECT_EQ(ReadLikeThePlayer(folder.File("bad.wav")).result, MMIOERR_CHUNKNOTFOUND);
    }

    // A chunk that claims more than the file holds yields what there is.
    folder.Write("cut.wav", Riff("fmt " + Little32(5000) + "xx"));
    EXPECT_EQ(ReadLikeThePlayer(folder.File("cut.wav")).result, MMIOERR_CANNOTREAD);
    folder.Write("short.wav", Riff(fmt + "data" + Little32(1000) + "0123456789"));
    const PlayerRead read = ReadLikeThePlayer(folder.File("short.wav"));
    EXPECT_EQ(read.data, "0123456789");
}

TEST(MultimediaFile, OpenFlagsAndClosedFiles) {
    TemporaryFolder folder;
    folder.Write("there.wav", "x");
    MultimediaFile file;
    EXPECT_EQ(file.Open(folder.File("there.wav"), MMIO_EXIST), MMSYSERR_NOERROR);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Open(folder.File("missing.wav"), MMIO_EXIST), MMIOERR_FILENOTFOUND);
    EXPECT_EQ(file.Open(folder.File("missing.wav"), MMIO_READ | MMIO_ALLOCBUF),
              MMIOERR_FILENOTFOUND);
    EXPECT_EQ(file.Open(folder.File("missing/new.wav"), MMIO_CREATE | MMIO_WRITE),
              MMIOERR_FILENOTFOUND);

    char byte = 0;
    MMCKINFO chunk{};
    EXPECT_EQ(file.Read(&byte, 1), -1);
    EXPECT_EQ(file.Write(&byte, 1), -1);
    EXPECT_EQ(file.Descend(chunk, nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(file.Close(), MMSYSERR_INVALHANDLE);

    EXPECT_EQ(file.Open(folder.Path(), MMIO_READ), MMIOERR_CANNOTOPEN);
    EXPECT_FALSE(file.IsOpen());

    // Creating empties an existing file.
    ASSERT_EQ(file.Open(folder.File("there.wav"), MMIO_CREATE | MMIO_WRITE), MMSYSERR_NOERROR);
    EXPECT_EQ(file.Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(folder.Read("there.wav"), "");
}

TEST(MultimediaFile, HandlesRecordingsOfSeveralMegabytes) {
    TemporaryFolder folder;
    const std::string path = folder.File("long.wav");
    constexpr int kBuffers = 1500;  // over three minutes of line sound, 3 MB
    WriteLikeTheRecorder(path, kBuffers);
    const PlayerRead read = ReadLikeThePlayer(path);
    ASSERT_EQ(read.result, MMSYSERR_NOERROR);
    ASSERT_EQ(read.data.size(), kBuffers * 2000u);
    EXPECT_EQ(read.data[0], 'a');
    EXPECT_EQ(read.data[(kBuffers - 1) * 2000u], static_cast<char>('a' + kBuffers - 1));
}

}  // namespace
}  // namespace porthold::platform
