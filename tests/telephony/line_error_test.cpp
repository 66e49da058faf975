#include "telephony/line_error.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/recording_error_log.h"

namespace porthold::telephony {
namespace {

using testing::RecordingErrorLog;

constexpr std::string_view kUnutilized = " Unutilized TAPI Error";
constexpr std::string_view kUndocumented = " Undocumented TAPI Error";

TEST(LogLineError, AppendsTheCodesTextToTheContext) {
    struct Case {
        DWORD code;
        std::string_view text;
    };
    const Case cases[] = {
        {0x80000001, " ALLOCATED"},      {0x8000000F, " INUSE"},
        {0x80000043, " NODRIVER"},       {0x80000049, " OPERATIONUNAVAIL"},
        {0x80000053, " ADDRESSBLOCKED"}, {0x80000005, kUnutilized},
        {0x8000000B, kUnutilized},       {0x80000030, kUnutilized},
        {0x8000004F, kUnutilized},       {0x8000005B, kUnutilized},
        {0x80000004, kUndocumented},     {0x80000031, kUndocumented},
        {0x80000054, kUndocumented},     {0x80000000, kUndocumented},
        {0x8000005C, kUndocumented},     {0x90000001, kUndocumented},
        {0x9000001D, kUndocumented},     {0x00000000, kUndocumented},
        {0x7FFFFFFF, kUndocumented},     {0xFFFFFFFF, kUndocumented},
    };
    for (const Case& test : cases) {
        RecordingErrorLog log;
        LogLineError(log, static_cast<LONG>(test.code), "LineInit: lineOpen");
        EXPECT_EQ(log.lines,
                  std::vector<std::string>{"LineInit: lineOpen" + std::string(test.text)})
            << std::hex << test.code;
    }
}

// Across the service's whole line-error range every code has a text of its
// own but the unutilized ones and the eight the service leaves undefined or
// the program never met.
TEST(LineErrorText, NamesEachLineErrorOrGroupsIt) {
    int named = 0;
    int unutilized = 0;
    std::set<DWORD> undocumented;
    std::set<std::string_view> names;
    for (DWORD code = 0x80000001; code <= 0x8000005B; ++code) {
        const std::string_view text = LineErrorText(static_cast<LONG>(code));
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.front(), ' ') << std::hex << code;
        if (text == kUnutilized) {
            ++unutilized;
        } else if (text == kUndocumented) {
            undocumented.insert(code);
        } else {
            ++named;
            names.insert(text);
        }
    }
    EXPECT_EQ(named, 39);
    EXPECT_EQ(names.size(), 39u) << "every named code has a text of its own";
    EXPECT_EQ(unutilized, 44);
    EXPECT_EQ(undocumented, (std::set<DWORD>{0x80000004, 0x80000024, 0x80000025, 0x80000029,
                                             0x80000031, 0x80000033, 0x8000004C, 0x80000054}));
}

}  // namespace
}  // namespace porthold::telephony
