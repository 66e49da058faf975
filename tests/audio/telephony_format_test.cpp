#include "audio/telephony_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio_test_support.h"
#include "support/scripted_message_boxes.h"
#include "support/temporary_folder.h"

namespace porthold::audio {
namespace {

using testing::Chunk;
using testing::FormatChunk;
using testing::Little32;
using testing::Riff;
using testing::SampleBytes;
using testing::Speech;

const std::string kData = Chunk("data", SampleBytes(Speech(100)));

class TelephonyFormatTest : public ::testing::Test {
protected:
    bool Test(const std::string& bytes) {
        folder.Write("sound.wav", bytes);
        return IsTelephonyFormat(folder.File("sound.wav"), boxes);
    }

    porthold::testing::TemporaryFolder folder;
    porthold::testing::ScriptedMessageBoxes boxes;
};

TEST_F(TelephonyFormatTest, TelephonyFilesPassWithOrWithoutTheExtraSizeField) {
    EXPECT_TRUE(Test(Riff(FormatChunk({}) + kData)));
    EXPECT_TRUE(Test(Riff(FormatChunk({}, false) + kData)));
    EXPECT_TRUE(Test(Riff(FormatChunk({}) + Chunk("LIST", "INFO") + kData)));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(TelephonyFormatTest, OtherFormatsFailWithTheNotice) {
    const std::vector<std::string> files = {
        Riff(FormatChunk({.channels = 2}) + kData),
        Riff(FormatChunk({.rate = 11025}) + kData),
        Riff(FormatChunk({.bits = 8}) + kData),
        Riff(Chunk("fmt ", FormatChunk({}).substr(8, 14)) + kData),
    };
    for (const std::string& file : files) {
        EXPECT_FALSE(Test(file));
    }
    ASSERT_EQ(boxes.shown().size(), files.size());
    for (const auto& shown : boxes.shown()) {
        EXPECT_EQ(shown.text,
                  "The selected sound file is not a valid telephony format.\nPlease see the "
                  "documentation for the valid formatspec"
                  "ifications.");
        EXPECT_EQ(shown.caption, "Porthold");
        EXPECT_EQ(shown.buttons, platform::MessageBoxButtons::Ok);
        EXPECT_EQ(shown.icon, platform::MessageBoxIcon::Information);
    }
}

TEST_F(TelephonyFormatTest, FilesThatAreNotWaveFailWithoutANotice) {
    std::string formatBeyondTheFile = Riff(FormatChunk({}) + kData);
    formatBeyondTheFile.replace(16, 4, Little32(0xFFFFFFF0u));
    EXPECT_FALSE(Test("RIFX" + Riff(FormatChunk({}) + kData).substr(4)));
    EXPECT_FALSE(Test(Riff(kData + FormatChunk({}))));
    EXPECT_FALSE(Test(Riff(FormatChunk({}))));
    EXPECT_FALSE(Test(formatBeyondTheFile));
    EXPECT_FALSE(Test(""));
    EXPECT_FALSE(IsTelephonyFormat(folder.File("missing.wav"), boxes));
    EXPECT_TRUE(boxes.shown().empty());
}

}  // namespace
}  // namespace porthold::audio
