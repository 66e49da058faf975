#include "platform/local_time.h"

#include <gtest/gtest.h>

namespace porthold::platform {
namespace {

TEST(FormatDateTime, UsesTheTwelveHourClockWithFixedMarkers) {
    EXPECT_EQ(FormatDateTime({2003, 7, 15, 0, 30, 0, 0}), "07/15/2003 12:30 AM");
    EXPECT_EQ(FormatDateTime({2003, 7, 15, 12, 0, 59, 0}), "07/15/2003 12:00 PM");
    EXPECT_EQ(FormatDateTime({2003, 7, 15, 13, 5, 0, 0}), "07/15/2003 01:05 PM");
    EXPECT_EQ(FormatDateTime({2026, 12, 31, 23, 59, 0, 0}), "12/31/2026 11:59 PM");
}

}  // namespace
}  // namespace porthold::platform
