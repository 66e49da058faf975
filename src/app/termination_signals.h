#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace porthold::app {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C in the terminal that
// started the program) into a call of `onSignal` from the Qt event loop, so
// that the program closes its window and shuts down in order: an active call
// is dropped and the line closed. One object at a time.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    // Gives the signals their default handling back.
    ~TerminationSignals() override;

private:
    void OnReadable();

    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace porthold::app
