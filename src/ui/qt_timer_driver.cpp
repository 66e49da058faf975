#include "ui/qt_timer_driver.h"

#include <QAbstractEventDispatcher>
#include <QTimerEvent>
#include <chrono>
#include <utility>

namespace porthold::ui {
namespace {

// How much later than the clock needs it a repeating timer may fire and
// still be kept: the Qt timer and the clock count milliseconds apart, so
// their readings of one moment may differ by one.
constexpr std::uint32_t kRepeatTolerance = 1;

}  // namespace

QtTimerDriver::QtTimerDriver(platform::SystemClock& clock, QObject* parent)
    : QObject(parent), clock_(clock) {
    // Each loop, the nested ones of modal dialogs too, says so before it
    // blocks; that is the moment to make sure it will wake for the clock.
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &QtTimerDriver::Reschedule);
    }
    Reschedule();
}

void QtTimerDriver::Reschedule() {
    const auto wait = clock_.MillisecondsUntilNextTimer();
    if (!wait) {
        if (armedTimer_ != 0) {
            killTimer(armedTimer_);
            armedTimer_ = 0;
        }
        return;
    }
    const std::uint32_t due = clock_.TickCount() + *wait;
    // An armed timer that fires no later than needed is kept: firing early
    // costs one look at the clock, re-arming on every loop pass would cost more.
    if (armedTimer_ != 0 && platform::HasReached(due, armedDue_)) {
        return;
    }
    if (armedTimer_ != 0) {
        killTimer(armedTimer_);
    }
    Arm(*wait, due);
}

void QtTimerDriver::Arm(std::uint32_t wait, std::uint32_t due) {
    armedTimer_ = startTimer(std::chrono::milliseconds(wait), Qt::PreciseTimer);
    armedInterval_ = wait;
    armedDue_ = due;
}

void QtTimerDriver::timerEvent(QTimerEvent* event) {
    if (event->timerId() != armedTimer_) {
        QObject::timerEvent(event);
        return;
    }
    // Taken out of the armed slot before the delivery, so that a loop nested
    // in a handler arms a timer of its own: Qt does not deliver this one again
    // while its handler runs.
    const int fired = std::exchange(armedTimer_, 0);
    const std::uint32_t repeatDue = armedDue_ + armedInterval_;
    clock_.DeliverDueTimers();
    if (armedTimer_ == 0) {
        // The Qt timer repeats with its interval. When it repeats when the
        // clock needs it next, as it does for a steady tick, it stays armed:
        // an idle program then registers no timer on each tick. One that
        // would repeat early is not kept, as it would go on repeating early;
        // nor is one whose delivery ran past the repeat, since Qt then counts
        // the interval from now.
        const std::uint32_t now = clock_.TickCount();
        const auto wait = clock_.MillisecondsUntilNextTimer();
        if (wait && !platform::HasReached(now, repeatDue) &&
            repeatDue - (now + *wait) <= kRepeatTolerance) {
            armedTimer_ = fired;
            armedDue_ = repeatDue;
            return;
        }
    }
    killTimer(fired);
    Reschedule();
}

}  // namespace porthold::ui
