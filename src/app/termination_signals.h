#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace porthold::app {

// Blocks SIGTERM, SIGINT and SIGHUP in the calling thread and so in every
// thread it starts from then on. Call it first in main, before any thread
// starts (Qt's, the sound card's, the telephony service's): a thread that let
// one of them through would be ended by it, bypassing the orderly shutdown.
void BlockTerminationSignals();

// Turns SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C in the terminal that
// started the program) into a call of `onSignal` from the Qt event loop, so
// that the program closes its window and shuts down in order: an active call
// is dropped and the line closed. The signals are read from a signal
// descriptor rather than caught by a handler, so nothing runs inside a
// signal; they must be blocked in every thread (BlockTerminationSignals).
// One object at a time, made on the thread that runs the event loop.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    // Drops the signals that came but were not handled (the shutdown they ask
    // for is under way), then unblocks them in this thread, so that one coming
    // later ends the process as it would by default.
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void OnReadable();
    // Reads the pending signals; whether there was one.
    bool TakePendingSignals();

    std::function<void()> onSignal_;
    int descriptor_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace porthold::app
