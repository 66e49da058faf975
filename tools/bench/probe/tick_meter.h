#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "platform/system_clock.h"
#include "ui/qt_timer_driver.h"

namespace porthold::bench {

// How late a 10 ms window timer fires on the main thread: a clock of the
// program's kind (SystemClock) whose timers a QtTimerDriver delivers, exactly
// as the engine's tick is delivered, beneath modal dialogs included. Each
// delivery is compared with the previous one; the clock re-arms a timer from
// the moment it fired, so anything beyond the period is delay.
class TickMeter final : public platform::TimerHandler {
public:
    static constexpr std::uint32_t kPeriodMilliseconds = 10;

    TickMeter();
    ~TickMeter() override;
    TickMeter(const TickMeter&) = delete;
    TickMeter& operator=(const TickMeter&) = delete;

    // Starts measuring; until then the meter has no timer and costs nothing.
    void Start();
    void Stop();
    // Prints "ticks" with the count, the worst and the 99th percentile delay.
    // Each delay of 20 ms or more is printed as it ends ("late-tick").
    void Report() const;

    void OnTimer(platform::TimerId id) override;

private:
    platform::SystemClock clock_;
    ui::QtTimerDriver driver_;
    bool running_ = false;
    std::optional<std::chrono::steady_clock::time_point> lastFired_;
    std::vector<double> delaysMilliseconds_;
};

}  // namespace porthold::bench
