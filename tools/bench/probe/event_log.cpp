#include "event_log.h"

#include <chrono>
#include <cstdio>

namespace porthold::bench {

double MonotonicMilliseconds() {
    // Not the program's Clock: its tick count starts with the program, and the
    // readings must line up with those of other processes.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double, std::milli>(now).count();
}

void PrintEvent(const char* kind, QString text) {
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    std::printf("%.3f %s %s\n", MonotonicMilliseconds(), kind, text.toUtf8().constData());
    // The script reads the events while the program runs.
    std::fflush(stdout);
}

}  // namespace porthold::bench
