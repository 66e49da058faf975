#include "service/sip_stack/thread_signals.h"

#include <pthread.h>

namespace porthold::service::sip {

namespace {

// Signals the kernel sends to the thread that caused them. Blocking these
// would turn a crash into a hang or a silent kill, so they stay deliverable.
constexpr int kSynchronousSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};

}  // namespace

AsynchronousSignalsBlocked::AsynchronousSignalsBlocked() {
    sigset_t blocked;
    sigfillset(&blocked);
    for (int signalNumber : kSynchronousSignals) {
        sigdelset(&blocked, signalNumber);
    }
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previous_);
}

AsynchronousSignalsBlocked::~AsynchronousSignalsBlocked() {
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

BrokenPipeDispositionKept::BrokenPipeDispositionKept() {
    saved_ = ::sigaction(SIGPIPE, nullptr, &previous_) == 0;
}

BrokenPipeDispositionKept::~BrokenPipeDispositionKept() {
    if (saved_) {
        ::sigaction(SIGPIPE, &previous_, nullptr);
    }
}

}  // namespace porthold::service::sip
