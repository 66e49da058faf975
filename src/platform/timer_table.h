#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/clock.h"

namespace porthold::platform {

// The bookkeeping of window timers, shared by the real and the virtual clock.
// Times are milliseconds on the owning clock's 64-bit scale.
class TimerTable {
public:
    void Set(TimerHandler& handler, TimerId id, std::uint32_t periodMilliseconds,
             std::uint64_t now);
    void Kill(TimerHandler& handler, TimerId id);
    void KillAll(TimerHandler& handler);

    // The earliest time at which a timer falls due, if any timer runs.
    std::optional<std::uint64_t> NextDue() const;

    // Delivers each timer that is due at `now`, earliest first. A delivered
    // timer is re-armed one period after `now` before its handler runs, so a
    // handler may kill or restart any timer and may re-enter this function.
    void DeliverDue(std::uint64_t now);

    bool IsRunning(const TimerHandler& handler, TimerId id) const;

private:
    struct Entry {
        TimerHandler* handler;
        TimerId id;
        std::uint32_t period;
        std::uint64_t due;
        std::uint64_t sequence;  // keeps delivery order stable among equal due times
    };

    std::vector<Entry>::iterator Find(const TimerHandler& handler, TimerId id);
    std::vector<Entry>::const_iterator Find(const TimerHandler& handler, TimerId id) const;

    std::vector<Entry> entries_;
    std::uint64_t nextSequence_ = 0;
};

}  // namespace porthold::platform
