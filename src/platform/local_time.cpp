#include "platform/local_time.h"

#include <cstdio>

namespace porthold::platform {

std::string FormatDateTime(const LocalTime& time) {
    const int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
    const char* marker = time.hour < 12 ? "AM" : "PM";
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d %s", time.month, time.day, time.year,
                  hour12, time.minute, marker);
    return text;
}

}  // namespace porthold::platform
