#pragma once

#include <string>

namespace porthold::platform {

// A wall-clock reading in the machine's time zone, field for field what the
// program shows to the user.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
    int hour = 0;   // 0 to 23
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

// Formats a time as "MM/DD/YYYY hh:mm AM" on the 12-hour clock. The AM and PM
// markers are fixed, whatever the locale says, because stored lists and the log
// are read back by people and tools that expect exactly this shape.
std::string FormatDateTime(const LocalTime& time);

}  // namespace porthold::platform
