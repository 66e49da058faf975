#include "ui/qt_timer_driver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "modal_closer.h"
#include "platform/system_clock.h"
#include "ui/qt_message_boxes.h"

namespace porthold::ui {
namespace {

using platform::TimerId;
using testing::WhenModalOpens;

class Handler final : public platform::TimerHandler {
public:
    std::function<void(TimerId)> onTimer;
    void OnTimer(TimerId id) override { onTimer(id); }
};

class TimerEventCounter final : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Timer) {
            ++count;
        }
        return QObject::eventFilter(watched, event);
    }
};

void RunEventLoop(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The reason the driver exists: a QTimer is skipped while its own handler runs
// a nested loop, so a tick driven that way stops beneath a modal dialog.
TEST(QtTimerPitfallTest, ATimerIsNotDeliveredAgainWhileItsHandlerRunsANestedLoop) {
    QTimer timer;
    timer.setInterval(10);
    int calls = 0;
    int callsWhileNested = 0;
    bool nested = false;
    QEventLoop outer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++calls;
        if (nested) {
            ++callsWhileNested;
            return;
        }
        if (calls > 1) {
            return;
        }
        nested = true;
        RunEventLoop(200);
        nested = false;
        outer.quit();
    });
    timer.start();
    outer.exec();
    EXPECT_EQ(callsWhileNested, 0);
}

TEST(QtTimerDriverTest, TheTickRunsNestedBeneathAModalDialogOpenedFromTheTick) {
    platform::SystemClock clock;
    QtTimerDriver driver(clock);
    Handler tick;
    QEventLoop outer;
    int ticks = 0;
    int ticksWhileOpen = 0;
    int depth = 0;
    int deepest = 0;
    bool dialogOpen = false;
    std::string order;
    tick.onTimer = [&](TimerId) {
        ++ticks;
        deepest = std::max(deepest, ++depth);
        order += '(';
        if (dialogOpen) {
            ++ticksWhileOpen;
        }
        if (ticks == 1) {
            QDialog dialog;
            QTimer::singleShot(300, &dialog, &QDialog::accept);
            dialogOpen = true;
            dialog.exec();
            dialogOpen = false;
            outer.quit();
        }
        order += ')';
        --depth;
    };
    clock.SetTimer(tick, 0, 10);
    outer.exec();
    clock.KillTimer(tick, 0);

    ::testing::Test::RecordProperty("ticksWhileDialogOpen", ticksWhileOpen);
    EXPECT_GE(ticksWhileOpen, 10);
    // Each nested tick ran to its end before the next began: never deeper
    // than one tick inside the suspended one.
    EXPECT_EQ(deepest, 2);
    std::string expected = "(";
    for (int nested = 0; nested < ticks - 1; ++nested) {
        expected += "()";
    }
    EXPECT_EQ(order, expected + ")");
}

TEST(QtTimerDriverTest, TimersFireBeneathAMessageBoxOpenedInsideADialog) {
    platform::SystemClock clock;
    QtTimerDriver driver(clock);
    QtMessageBoxes boxes;
    Handler handler;
    QEventLoop outer;
    constexpr TimerId kTick = 0;
    constexpr TimerId kOneShot = 3;
    int ticks = 0;
    int ticksWhileBoxOpen = 0;
    bool boxOpen = false;
    bool oneShotFiredWhileBoxOpen = false;
    handler.onTimer = [&](TimerId id) {
        if (id == kOneShot) {
            clock.KillTimer(handler, kOneShot);
            oneShotFiredWhileBoxOpen = boxOpen;
            return;
        }
        ++ticks;
        if (boxOpen) {
            ++ticksWhileBoxOpen;
        }
        if (ticks != 1) {
            return;
        }
        QDialog dialog;
        // From the dialog's own loop, the way a dialog button would: a timer
        // set outside any timer handler, then a message box over the dialog.
        QTimer::singleShot(20, &dialog, [&] {
            clock.SetTimer(handler, kOneShot, 100);
            WhenModalOpens("QMessageBox", [](QWidget& box) {
                QTimer::singleShot(300, &box, [&box] {
                    static_cast<QMessageBox&>(box).button(QMessageBox::Ok)->click();
                });
            });
            boxOpen = true;
            boxes.Show("Pick up the receiver", "Porthold", platform::MessageBoxButtons::Ok,
                       platform::MessageBoxIcon::Information);
            boxOpen = false;
            dialog.accept();
        });
        dialog.exec();
        outer.quit();
    };
    clock.SetTimer(handler, kTick, 10);
    outer.exec();
    clock.KillTimer(handler, kTick);
    clock.KillTimer(handler, kOneShot);

    ::testing::Test::RecordProperty("ticksWhileBoxOpen", ticksWhileBoxOpen);
    EXPECT_GE(ticksWhileBoxOpen, 10);
    EXPECT_TRUE(oneShotFiredWhileBoxOpen);
}

TEST(QtTimerDriverTest, KeepsTheTickNearItsPeriod) {
    platform::SystemClock clock;
    QtTimerDriver driver(clock);
    Handler tick;
    int ticks = 0;
    tick.onTimer = [&](TimerId) { ++ticks; };
    // Every Qt timer event that reaches the driver is a wake-up of the thread.
    TimerEventCounter wakes;
    driver.installEventFilter(&wakes);
    clock.SetTimer(tick, 0, 10);
    RunEventLoop(500);
    clock.KillTimer(tick, 0);
    ::testing::Test::RecordProperty("ticksIn500Milliseconds", ticks);
    // Each delivery re-arms the tick a whole period later, so 50 is the most;
    // the lower bound leaves room for a loaded machine and the sanitizers.
    EXPECT_LE(ticks, 50);
    EXPECT_GE(ticks, 30);
    // The repeating Qt timer kept for the tick must not fire ahead of it and
    // wake the thread for nothing.
    EXPECT_LE(wakes.count, ticks + ticks / 2 + 2);
}

TEST(QtTimerDriverTest, ArmsAQtTimerOnlyWhileTheClockHasOne) {
    platform::SystemClock clock;
    QtTimerDriver driver(clock);
    Handler handler;
    handler.onTimer = [](TimerId) {};
    auto* dispatcher = QAbstractEventDispatcher::instance();
    EXPECT_TRUE(dispatcher->registeredTimers(&driver).isEmpty());

    clock.SetTimer(handler, 2, 15000);
    driver.Reschedule();
    ASSERT_EQ(dispatcher->registeredTimers(&driver).size(), 1);
    EXPECT_GT(dispatcher->registeredTimers(&driver).front().interval, 14000);

    // A sooner timer replaces the armed one rather than adding a second.
    clock.SetTimer(handler, 3, 100);
    driver.Reschedule();
    ASSERT_EQ(dispatcher->registeredTimers(&driver).size(), 1);
    EXPECT_LE(dispatcher->registeredTimers(&driver).front().interval, 100);

    clock.KillTimer(handler, 2);
    clock.KillTimer(handler, 3);
    driver.Reschedule();
    EXPECT_TRUE(dispatcher->registeredTimers(&driver).isEmpty());
}

}  // namespace
}  // namespace porthold::ui
