#pragma once

#include <cstdint>

#include "platform/local_time.h"

namespace porthold::platform {

using TimerId = unsigned int;

// Receives the expiry of window timers; the owner dispatches on the identifier
// the way a window procedure dispatches its timer messages.
class TimerHandler {
public:
    virtual ~TimerHandler() = default;
    virtual void OnTimer(TimerId id) = 0;
};

// Whether the clock reading `now` is at or after `moment`. Readings wrap, so
// they are compared by their signed distance, which holds for moments less
// than about 24.8 days apart.
inline bool HasReached(std::uint32_t now, std::uint32_t moment) {
    return static_cast<std::int32_t>(now - moment) >= 0;
}

// The one source of time for the whole program. Every wait, sleep and timer goes
// through it, so tests can run the program's long time limits in virtual time.
class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds since the clock started. Wraps after about 49.7 days, so
    // callers compare readings by unsigned subtraction.
    virtual std::uint32_t TickCount() const = 0;

    // Blocks the calling thread. Timers are not delivered while it sleeps, just
    // as a window's timers wait while its thread is blocked.
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // The local calendar time.
    virtual LocalTime Now() const = 0;

    // Starts a window timer, or restarts it with the new period when the handler
    // already has a timer of that identifier. A timer repeats until killed.
    virtual void SetTimer(TimerHandler& handler, TimerId id, std::uint32_t periodMilliseconds) = 0;

    // Stops a timer; killing a timer that does not run is harmless.
    virtual void KillTimer(TimerHandler& handler, TimerId id) = 0;

    // The timer step of a message loop: calls every handler whose timer is due,
    // once each. May be re-entered from a handler that runs a nested loop (a
    // modal dialog), and the timer whose handler is still running is then
    // delivered again, so the program's tick keeps going beneath the dialog.
    virtual void DeliverDueTimers() = 0;
};

}  // namespace porthold::platform
