// porthold-bench-probe: the real program with a watcher in its event loop,
// for scripts/bench. It prints, one a line with the monotonic time in
// milliseconds (see event_log.h), every new status text and caption of the
// Messages button, and answers any message box with its default button.
//
// The watcher looks only when the event loop is about to block, or when the
// status line is painted, never on a timer of its own: an idle probe wakes
// exactly as often as the program does. On request, through the environment:
//   PORTHOLD_BENCH_TICKS=1   a 10 ms window timer on a clock of the program's
//                            kind, from the first " Waiting for call...", and
//                            how late it fired ("ticks") when the program ends;
//   PORTHOLD_BENCH_WORK=1    the window worked as a user would (WindowWorker)
//                            from the answer of the first call on.

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <memory>

#include "app/desktop_program.h"
#include "app/qt_message_filter.h"
#include "app/termination_signals.h"
#include "event_log.h"
#include "tick_meter.h"
#include "window_worker.h"

namespace {

using porthold::bench::PrintEvent;

const QString kWaitingStatus = QStringLiteral(" Waiting for call...");
const QString kConnectedStatus = QStringLiteral(" Prompting for PIN...");

bool Requested(const char* variable) {
    return qEnvironmentVariable(variable) == QStringLiteral("1");
}

class Watcher final : public QObject {
public:
    Watcher() {
        if (Requested("PORTHOLD_BENCH_TICKS")) {
            ticks_ = std::make_unique<porthold::bench::TickMeter>();
        }
        if (Requested("PORTHOLD_BENCH_WORK")) {
            worker_ = std::make_unique<porthold::bench::WindowWorker>();
        }
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { Look(); });
    }

    void Finish() {
        if (ticks_) {
            ticks_->Stop();
            ticks_->Report();
        }
        if (worker_) {
            worker_->Stop();
            worker_->Report();
        }
    }

protected:
    // The program paints the status line at once when it changes, as the
    // thread may block right after; the change is seen in that paint.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            LookAtTexts();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Look() {
        if (status_ == nullptr) {
            Attach();
        }
        LookAtTexts();
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr && box != answeredBox_ && box->defaultButton() != nullptr) {
            answeredBox_ = box;
            PrintEvent("box", box->text());
            // Posted: the box's loop ends once this pass of it is over.
            QMetaObject::invokeMethod(box->defaultButton(), &QAbstractButton::click,
                                      Qt::QueuedConnection);
        }
    }

    void Attach() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QStringLiteral("MainDialog")) {
                status_ = window->findChild<QLabel*>(QStringLiteral("statusLabel"));
                messagesButton_ = window->findChild<QPushButton*>(QStringLiteral("messagesButton"));
            }
        }
        if (status_ != nullptr) {
            status_->installEventFilter(this);
        }
    }

    void LookAtTexts() {
        if (status_ != nullptr && status_->text() != statusText_) {
            statusText_ = status_->text();
            PrintEvent("status", statusText_);
            OnStatus();
        }
        if (messagesButton_ != nullptr && messagesButton_->text() != messagesCaption_) {
            messagesCaption_ = messagesButton_->text();
            PrintEvent("messages-button", messagesCaption_);
        }
    }

    void OnStatus() {
        if (statusText_ == kWaitingStatus && ticks_) {
            ticks_->Start();
        } else if (statusText_ == kConnectedStatus && worker_) {
            // Not before the answer: a management dialog open at the ring
            // would keep the call from being answered. During the call the
            // window offers only its menus; after it, its dialogs too, until
            // the program ends.
            worker_->Start();
        }
    }

    std::unique_ptr<porthold::bench::TickMeter> ticks_;
    std::unique_ptr<porthold::bench::WindowWorker> worker_;
    QPointer<QLabel> status_;
    QPointer<QPushButton> messagesButton_;
    QPointer<QMessageBox> answeredBox_;
    QString statusText_;
    QString messagesCaption_;
};

}  // namespace

int main(int argc, char** argv) {
    // As the program does: before any thread starts.
    porthold::app::BlockTerminationSignals();
    porthold::app::SilenceQtMessages();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Porthold"));
    PrintEvent("started", QString());
    Watcher watcher;
    const int status = porthold::app::RunDesktopProgram();
    watcher.Finish();
    return status;
}
