#pragma once

#include <QObject>
#include <cstdint>

#include "platform/system_clock.h"

namespace porthold::ui {

// Drives the window timers of a SystemClock from the Qt event loop, including
// the loops that modal dialogs and message boxes run inside a timer handler.
//
// Qt never delivers a timer again while the handler of that same timer still
// runs, so one repeating QTimer would stall the program's tick beneath any
// dialog opened from the tick. The driver therefore arms a fresh single-shot
// Qt timer for the clock's next due time each time an event loop is about to
// wait, and takes the one that fired out of the armed slot before handing the
// due timers to the clock: a nested loop always finds an armed timer that is
// not the one being handled. Afterwards the fired timer, which repeats, stays
// armed when its next firing is soon enough, so a steady tick costs no timer
// registration. Nothing is armed while the clock has no timers, so an idle program
// sleeps. Make it after the application object, on the thread of the clock's
// handlers.
class QtTimerDriver final : public QObject {
    Q_OBJECT

public:
    explicit QtTimerDriver(platform::SystemClock& clock, QObject* parent = nullptr);

    // Looks at the clock's timers again. Every event loop does this before it
    // waits; a caller that polls events without waiting calls it itself.
    void Reschedule();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void Arm(std::uint32_t wait, std::uint32_t due);

    platform::SystemClock& clock_;
    int armedTimer_ = 0;               // the Qt timer for the next due time, 0 for none
    std::uint32_t armedInterval_ = 0;  // its interval in milliseconds
    std::uint32_t armedDue_ = 0;       // the clock's tick count at which it fires next
};

}  // namespace porthold::ui
