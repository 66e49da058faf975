#include "platform/system_clock.h"

#include <ctime>
#include <thread>

namespace porthold::platform {

SystemClock::SystemClock() : start_(std::chrono::steady_clock::now()) {}

std::uint64_t SystemClock::ElapsedMilliseconds() const {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start_)
                                          .count());
}

std::uint32_t SystemClock::TickCount() const {
    return static_cast<std::uint32_t>(ElapsedMilliseconds());
}

void SystemClock::Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

LocalTime SystemClock::Now() const {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm fields{};
    localtime_r(&seconds, &fields);
    const auto sinceEpoch = now.time_since_epoch();
    const auto millisecond =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
    return LocalTime{fields.tm_year + 1900,
                     fields.tm_mon + 1,
                     fields.tm_mday,
                     fields.tm_hour,
                     fields.tm_min,
                     fields.tm_sec,
                     static_cast<int>(millisecond)};
}

void SystemClock::SetTimer(TimerHandler& handler, TimerId id, std::uint32_t periodMilliseconds) {
    timers_.Set(handler, id, periodMilliseconds, ElapsedMilliseconds());
}

void SystemClock::KillTimer(TimerHandler& handler, TimerId id) {
    timers_.Kill(handler, id);
}

void SystemClock::DeliverDueTimers() {
    timers_.DeliverDue(ElapsedMilliseconds());
}

std::optional<std::uint32_t> SystemClock::MillisecondsUntilNextTimer() const {
    const auto due = timers_.NextDue();
    if (!due) {
        return std::nullopt;
    }
    const std::uint64_t now = ElapsedMilliseconds();
    return *due <= now ? 0 : static_cast<std::uint32_t>(*due - now);
}

}  // namespace porthold::platform
