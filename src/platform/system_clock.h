#pragma once

#include <chrono>
#include <optional>

#include "platform/clock.h"
#include "platform/timer_table.h"

namespace porthold::platform {

// The clock of a running program: the machine's monotonic time, real sleeps and
// the local time zone. Its timers fire when the message loop that owns it calls
// DeliverDueTimers; the loop asks MillisecondsUntilNextTimer how long it may wait.
class SystemClock final : public Clock {
public:
    SystemClock();

    std::uint32_t TickCount() const override;
    void Sleep(std::uint32_t milliseconds) override;
    LocalTime Now() const override;
    void SetTimer(TimerHandler& handler, TimerId id, std::uint32_t periodMilliseconds) override;
    void KillTimer(TimerHandler& handler, TimerId id) override;
    void DeliverDueTimers() override;

    // Time until the earliest timer falls due (0 when one is due now), or none
    // when no timer runs.
    std::optional<std::uint32_t> MillisecondsUntilNextTimer() const;

private:
    std::uint64_t ElapsedMilliseconds() const;

    std::chrono::steady_clock::time_point start_;
    TimerTable timers_;
};

}  // namespace porthold::platform
