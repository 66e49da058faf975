#include "tick_meter.h"

#include <algorithm>

#include "event_log.h"

namespace porthold::bench {
namespace {

constexpr double kLateMilliseconds = 20.0;

}  // namespace

TickMeter::TickMeter() : driver_(clock_) {}

TickMeter::~TickMeter() {
    Stop();
}

void TickMeter::Start() {
    if (running_) {
        return;
    }
    running_ = true;
    lastFired_.reset();
    clock_.SetTimer(*this, 0, kPeriodMilliseconds);
    driver_.Reschedule();
}

void TickMeter::Stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    clock_.KillTimer(*this, 0);
    driver_.Reschedule();
}

void TickMeter::OnTimer(platform::TimerId) {
    const auto now = std::chrono::steady_clock::now();
    if (lastFired_) {
        const double gap = std::chrono::duration<double, std::milli>(now - *lastFired_).count();
        // The clock counts whole milliseconds, so a tick may come a fraction early.
        const double delay = std::max(0.0, gap - kPeriodMilliseconds);
        delaysMilliseconds_.push_back(delay);
        // A long delay is told at once, stamped when it ended, so that it can
        // be set against what the program did then.
        if (delay >= kLateMilliseconds) {
            PrintEvent("late-tick", QString::number(delay, 'f', 3));
        }
    }
    lastFired_ = now;
}

void TickMeter::Report() const {
    if (delaysMilliseconds_.empty()) {
        PrintEvent("ticks", QStringLiteral("count=0"));
        return;
    }
    std::vector<double> sorted = delaysMilliseconds_;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t percentile = (sorted.size() - 1) * 99 / 100;
    PrintEvent("ticks", QStringLiteral("count=%1 worst=%2 p99=%3")
                            .arg(sorted.size())
                            .arg(sorted.back(), 0, 'f', 3)
                            .arg(sorted[percentile], 0, 'f', 3));
}

}  // namespace porthold::bench
