#include "platform/virtual_clock.h"

#include <algorithm>
#include <chrono>

namespace porthold::platform {

VirtualClock::VirtualClock(LocalTime startTime, std::uint32_t startTickCount)
    : startTime_(startTime), startTickCount_(startTickCount) {}

std::uint32_t VirtualClock::TickCount() const {
    return static_cast<std::uint32_t>(startTickCount_ + elapsed_.load());
}

void VirtualClock::Sleep(std::uint32_t milliseconds) {
    elapsed_ += milliseconds;
    NotifyTimeObservers();
}

LocalTime VirtualClock::Now() const {
    using namespace std::chrono;
    const sys_days startDay = year{startTime_.year} /
                              month{static_cast<unsigned>(startTime_.month)} /
                              day{static_cast<unsigned>(startTime_.day)};
    const auto start = startDay + hours{startTime_.hour} + minutes{startTime_.minute} +
                       seconds{startTime_.second} + milliseconds{startTime_.millisecond};
    const auto now = start + milliseconds{static_cast<std::int64_t>(elapsed_.load())};
    const sys_days today = floor<days>(now);
    const year_month_day date{today};
    const hh_mm_ss<milliseconds> clockTime{floor<milliseconds>(now - today)};
    return LocalTime{static_cast<int>(date.year()),
                     static_cast<int>(static_cast<unsigned>(date.month())),
                     static_cast<int>(static_cast<unsigned>(date.day())),
                     static_cast<int>(clockTime.hours().count()),
                     static_cast<int>(clockTime.minutes().count()),
                     static_cast<int>(clockTime.seconds().count()),
                     static_cast<int>(clockTime.subseconds().count())};
}

void VirtualClock::SetTimer(TimerHandler& handler, TimerId id, std::uint32_t periodMilliseconds) {
    timers_.Set(handler, id, periodMilliseconds, elapsed_.load());
}

void VirtualClock::KillTimer(TimerHandler& handler, TimerId id) {
    timers_.Kill(handler, id);
}

void VirtualClock::DeliverDueTimers() {
    timers_.DeliverDue(elapsed_.load());
}

void VirtualClock::Advance(std::uint32_t milliseconds) {
    const std::uint64_t target = elapsed_.load() + milliseconds;
    for (;;) {
        const auto due = timers_.NextDue();
        if (!due || *due > target) {
            break;
        }
        // A nested Advance inside a handler may already have moved time past `due`.
        elapsed_ = std::max(elapsed_.load(), *due);
        NotifyTimeObservers();
        timers_.DeliverDue(elapsed_.load());
    }
    if (elapsed_.load() < target) {
        elapsed_ = target;
        NotifyTimeObservers();
    }
}

bool VirtualClock::AdvanceUntil(const std::function<bool()>& condition,
                                std::uint32_t limitMilliseconds, std::uint32_t stepMilliseconds) {
    const std::uint64_t limit = elapsed_.load() + limitMilliseconds;
    while (!condition()) {
        if (elapsed_.load() >= limit) {
            return false;
        }
        Advance(static_cast<std::uint32_t>(
            std::min<std::uint64_t>(stepMilliseconds, limit - elapsed_.load())));
    }
    return true;
}

bool VirtualClock::IsTimerRunning(const TimerHandler& handler, TimerId id) const {
    return timers_.IsRunning(handler, id);
}

void VirtualClock::AddTimeObserver(TimeObserver& observer) {
    const std::lock_guard lock(observersMutex_);
    if (std::find(observers_.begin(), observers_.end(), &observer) == observers_.end()) {
        observers_.push_back(&observer);
    }
}

void VirtualClock::RemoveTimeObserver(TimeObserver& observer) {
    const std::lock_guard lock(observersMutex_);
    std::erase(observers_, &observer);
}

void VirtualClock::NotifyTimeObservers() {
    // The lock is held through the calls so that an observer being removed on
    // another thread is never called after RemoveTimeObserver has returned.
    const std::lock_guard lock(observersMutex_);
    const std::uint32_t now = TickCount();
    for (TimeObserver* observer : observers_) {
        observer->OnTimeChanged(now);
    }
}

}  // namespace porthold::platform
