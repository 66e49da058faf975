#include "telephony/tapi_buffer.h"

#include <gtest/gtest.h>

namespace porthold::telephony {
namespace {

TEST(TapiBuffer, KeepsItsTotalSizeAndReadsNothingBeyondItsEnd) {
    TapiBuffer buffer(32);
    EXPECT_EQ(buffer.Field(offsetof(LINEDEVCAPS, dwTotalSize)), 32u);
    buffer.SetField(offsetof(LINEDEVCAPS, dwMediaModes), 0xFF);  // offset 60: beyond the end
    EXPECT_EQ(buffer.Field(offsetof(LINEDEVCAPS, dwMediaModes)), 0u);
    EXPECT_EQ(buffer.Field(28), 0u);
    EXPECT_EQ(buffer.Field(29), 0u) << "a field that only starts inside the buffer";

    EXPECT_EQ(TapiBuffer().Field(0), 0u) << "an empty buffer has no fields at all";
}

TEST(TapiBuffer, ResizingKeepsTheContentAndZeroFillsWhatIsNew) {
    TapiBuffer buffer(64);
    buffer.SetField(12, 0x11111111);
    buffer.SetField(56, 0x22222222);

    buffer.Resize(58);  // cuts the field at 56 in half
    EXPECT_EQ(buffer.Field(0), 58u);
    EXPECT_EQ(buffer.Field(12), 0x11111111u);
    EXPECT_EQ(buffer.Field(56), 0u);

    buffer.Resize(96);
    EXPECT_EQ(buffer.Field(0), 96u);
    EXPECT_EQ(buffer.Field(12), 0x11111111u);
    // The two bytes the short buffer kept stay; the two it cut off come back
    // as zero (little-endian: the kept bytes are the low half).
    EXPECT_EQ(buffer.Field(56), 0x00002222u);
    EXPECT_EQ(buffer.Field(92), 0u);
}

}  // namespace
}  // namespace porthold::telephony
