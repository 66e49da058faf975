#include "ui/qt_timer_driver.h"

#include <QAbstractEventDispatcher>
#include <QTimerEvent>
#include <chrono>

namespace porthold::ui {

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
    if (armedTimer_ != 0 && static_cast<std::int32_t>(armedDue_ - due) <= 0) {
        return;
    }
    if (armedTimer_ != 0) {
        killTimer(armedTimer_);
    }
    armedTimer_ = startTimer(std::chrono::milliseconds(*wait), Qt::PreciseTimer);
    armedDue_ = due;
}

void QtTimerDriver::timerEvent(QTimerEvent* event) {
    if (event->timerId() != armedTimer_) {
        QObject::timerEvent(event);
        return;
    }
    // Dropped before the delivery, so a loop nested in a handler arms a new one.
    killTimer(armedTimer_);
    armedTimer_ = 0;
    clock_.DeliverDueTimers();
    Reschedule();
}

}  // namespace porthold::ui
