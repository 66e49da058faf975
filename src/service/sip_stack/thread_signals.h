#pragma once

#include <signal.h>

namespace porthold::service::sip {

// While alive, blocks every asynchronous signal in the calling thread, then
// puts the previous mask back. A thread started meanwhile inherits the
// blocked mask from its first instruction, so no process-directed signal can
// ever be delivered to it: the program reads its termination signals on the
// main thread, and a helper thread that took one would swallow it.
class AsynchronousSignalsBlocked {
public:
    AsynchronousSignalsBlocked();
    ~AsynchronousSignalsBlocked();
    AsynchronousSignalsBlocked(const AsynchronousSignalsBlocked&) = delete;
    AsynchronousSignalsBlocked& operator=(const AsynchronousSignalsBlocked&) = delete;

private:
    sigset_t previous_{};
};

// While alive, remembers how the process handles SIGPIPE and restores that on
// destruction. libre_init installs its own SIGPIPE handler process-wide; the
// program decides that for itself (it writes with MSG_NOSIGNAL), and libre's
// own writes do not need the handler (it sends with MSG_NOSIGNAL and its
// thread blocks SIGPIPE).
class BrokenPipeDispositionKept {
public:
    BrokenPipeDispositionKept();
    ~BrokenPipeDispositionKept();
    BrokenPipeDispositionKept(const BrokenPipeDispositionKept&) = delete;
    BrokenPipeDispositionKept& operator=(const BrokenPipeDispositionKept&) = delete;

private:
    struct sigaction previous_ {};
    bool saved_ = false;
};

}  // namespace porthold::service::sip
