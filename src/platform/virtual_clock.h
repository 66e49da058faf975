#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/timer_table.h"

namespace porthold::platform {

// Told of every move of a VirtualClock's time, so a simulated device can finish
// what the new time completes. Called from the thread that moves time; an
// observer must not add or remove observers from within the call.
class TimeObserver {
public:
    virtual ~TimeObserver() = default;
    virtual void OnTimeChanged(std::uint32_t tickCount) = 0;
};

// A clock whose time moves only when told to. Tests run the program's long
// limits (seconds to minutes) in an instant and get the same result every run.
//
// Sleep moves time forward without delivering timers, as a blocked thread would
// see it; Advance runs the message loop's timer step through a stretch of time.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(LocalTime startTime = LocalTime{2026, 1, 5, 9, 0, 0, 0},
                          std::uint32_t startTickCount = 0);

    std::uint32_t TickCount() const override;
    void Sleep(std::uint32_t milliseconds) override;
    LocalTime Now() const override;
    void SetTimer(TimerHandler& handler, TimerId id, std::uint32_t periodMilliseconds) override;
    void KillTimer(TimerHandler& handler, TimerId id) override;
    void DeliverDueTimers() override;

    // Moves time forward by `milliseconds`, stopping at every timer that falls
    // due on the way to deliver it. Handlers may call Advance themselves (a
    // modal loop in a test); time then moves on beneath them.
    void Advance(std::uint32_t milliseconds);

    // Advances in steps of `stepMilliseconds` until `condition` holds or
    // `limitMilliseconds` have passed; returns whether the condition held.
    bool AdvanceUntil(const std::function<bool()>& condition, std::uint32_t limitMilliseconds,
                      std::uint32_t stepMilliseconds = 10);

    // Milliseconds on the clock's own 64-bit scale, for tests that measure.
    std::uint64_t ElapsedMilliseconds() const { return elapsed_.load(); }

    bool IsTimerRunning(const TimerHandler& handler, TimerId id) const;

    // Observers are told after every change of time: after Sleep, and at each
    // step of Advance before the timers due at that time are delivered, so a
    // program polling a device from its timer sees the device up to date.
    // An observer must be removed before it is destroyed.
    void AddTimeObserver(TimeObserver& observer);
    void RemoveTimeObserver(TimeObserver& observer);

private:
    void NotifyTimeObservers();

    LocalTime startTime_;
    std::uint32_t startTickCount_;
    std::atomic<std::uint64_t> elapsed_{0};
    TimerTable timers_;
    std::mutex observersMutex_;
    std::vector<TimeObserver*> observers_;
};

}  // namespace porthold::platform
