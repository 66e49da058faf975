#include "app/termination_signals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace porthold::app {

namespace {

// Standard signals do not queue, so no more than these three can be pending;
// the bound only keeps a misbehaving descriptor from holding the loop.
constexpr int kMostReadsAtOnce = 16;

sigset_t TerminationSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&set, signalNumber);
    }
    return set;
}

}  // namespace

void BlockTerminationSignals() {
    const sigset_t terminationSignals = TerminationSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &terminationSignals, nullptr);
}

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    // Blocked here as well, for a caller whose thread main did not prepare;
    // the other threads must have them blocked already.
    BlockTerminationSignals();
    const sigset_t terminationSignals = TerminationSignalSet();
    descriptor_ = ::signalfd(-1, &terminationSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (descriptor_ < 0) {
        // Unread, a blocked signal would be lost; unblocked, it at least ends
        // the program.
        ::pthread_sigmask(SIG_UNBLOCK, &terminationSignals, nullptr);
        return;
    }
    notifier_ = new QSocketNotifier(descriptor_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::OnReadable);
}

TerminationSignals::~TerminationSignals() {
    delete notifier_;
    if (descriptor_ >= 0) {
        TakePendingSignals();
        ::close(descriptor_);
    }
    const sigset_t terminationSignals = TerminationSignalSet();
    ::pthread_sigmask(SIG_UNBLOCK, &terminationSignals, nullptr);
}

bool TerminationSignals::TakePendingSignals() {
    bool taken = false;
    signalfd_siginfo information{};
    for (int attempt = 0; attempt < kMostReadsAtOnce; ++attempt) {
        if (::read(descriptor_, &information, sizeof information) != sizeof information) {
            break;
        }
        taken = true;
    }
    return taken;
}

void TerminationSignals::OnReadable() {
    if (TakePendingSignals() && onSignal_) {
        onSignal_();
    }
}

}  // namespace porthold::app
