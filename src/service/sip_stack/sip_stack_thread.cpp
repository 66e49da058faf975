#include "service/sip_stack/sip_stack_thread.h"

#include <sys/resource.h>

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "service/sip_stack/libre.h"
#include "service/sip_stack/thread_signals.h"

namespace porthold::service::sip {

namespace {

// libre indexes its poll set by descriptor number and refuses descriptors at
// or past its size, which defaults to FD_SETSIZE; a program with many files
// open could pass that, so the set covers the descriptor limit, within reason.
constexpr rlim_t kFewestDescriptors = 1024;
constexpr rlim_t kMostDescriptors = 65536;

int PollSetSize() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return static_cast<int>(kMostDescriptors);
    }
    return static_cast<int>(std::clamp(limit.rlim_cur, kFewestDescriptors, kMostDescriptors));
}

std::string LibreError(std::string_view what, int error) {
    return std::string(what) + " failed with error " + std::to_string(error);
}

}  // namespace

SipStackThread::SipStackThread(std::ostream& problems, std::size_t pendingJobLimit)
    : problems_(problems), pendingJobLimit_(pendingJobLimit) {
    std::promise<bool> started;
    std::future<bool> startedFuture = started.get_future();
    {
        const AsynchronousSignalsBlocked blocked;
        // The promise moves into the thread, so that setting it never races
        // with its destruction here.
        thread_ = std::thread([this, promise = std::move(started)]() mutable { Run(promise); });
    }
    if (startedFuture.wait_for(kDefaultWaitLimit) != std::future_status::ready) {
        // The thread sees Stopping when its start ends and leaves without
        // entering the loop; Stop waits for that.
        Report("libre did not start in time");
        Stop();
    } else if (!startedFuture.get()) {
        Stop();
    }
}

SipStackThread::~SipStackThread() {
    Stop();
}

bool SipStackThread::Running() const {
    std::lock_guard lock(mutex_);
    return state_ == State::Running;
}

void SipStackThread::Run(std::promise<bool>& started) {
    libreThread_.store(std::this_thread::get_id());
    const int error = StartLibre();
    // Running before the constructor returns, so that Post works at once.
    const bool running = error == 0 && EnterRunning();
    started.set_value(running);
    if (running) {
        // No signal handler: with one, re_main would install process-wide
        // handlers for SIGINT, SIGALRM and SIGTERM.
        const int result = re_main(nullptr);
        if (result != 0) {
            Report(LibreError("libre's event loop", result));
        }
    }
    FinishLibre(error == 0);
}

int SipStackThread::StartLibre() {
    // Own poll set and timers for this thread, rather than libre's
    // process-wide default, which belongs to whichever thread used it first.
    int error = re_thread_init();
    if (error != 0) {
        Report(LibreError("re_thread_init", error));
        return error;
    }
    {
        const BrokenPipeDispositionKept disposition;
        error = libre_init();
    }
    if (error == 0) {
        error = fd_setsize(PollSetSize());
    }
    mqueue* queue = nullptr;
    if (error == 0) {
        error = mqueue_alloc(&queue, &SipStackThread::OnWake, this);
    }
    if (error != 0) {
        Report(LibreError("Starting libre", error));
        libre_close();
        re_thread_close();
        return error;
    }
    std::lock_guard lock(mutex_);
    queue_ = queue;
    return 0;
}

bool SipStackThread::EnterRunning() {
    std::lock_guard lock(mutex_);
    if (state_ != State::Starting) {
        return false;
    }
    state_ = State::Running;
    return true;
}

void SipStackThread::FinishLibre(bool started) {
    mqueue* queue = nullptr;
    std::deque<std::function<void()>> abandoned;
    {
        std::lock_guard lock(mutex_);
        state_ = State::Stopped;
        queue = std::exchange(queue_, nullptr);
        abandoned = std::move(jobs_);
        jobs_.clear();
    }
    if (!abandoned.empty()) {
        Report(std::to_string(abandoned.size()) + " libre jobs were dropped as the loop ended");
    }
    abandoned.clear();
    if (started) {
        mem_deref(queue);
        libre_close();
        re_thread_close();
    }
}

void SipStackThread::OnWake(int /*id*/, void* /*data*/, void* arg) {
    static_cast<SipStackThread*>(arg)->RunPendingJobs();
}

void SipStackThread::RunPendingJobs() {
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(mutex_);
            if (jobs_.empty()) {
                wakePending_ = false;
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        // An exception must not unwind through libre's C frames.
        try {
            job();
        } catch (const std::exception& exception) {
            Report(std::string("A libre job failed: ") + exception.what());
        } catch (...) {
            Report("A libre job failed");
        }
    }
}

bool SipStackThread::Post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Running) {
            return false;
        }
        if (jobs_.size() < pendingJobLimit_) {
            return Enqueue(std::move(job));
        }
    }
    Report("A libre job was refused: " + std::to_string(pendingJobLimit_) + " are waiting");
    return false;
}

// Called with mutex_ held, which keeps the queue's pipe open while writing.
// One wake-up covers every job queued until the loop has run them all, so
// the pipe never holds more than one message and never fills.
bool SipStackThread::Enqueue(std::function<void()> job) {
    jobs_.push_back(std::move(job));
    if (wakePending_) {
        return true;
    }
    const int error = mqueue_push(queue_, 0, nullptr);
    if (error != 0) {
        jobs_.pop_back();
        return false;
    }
    wakePending_ = true;
    return true;
}

void SipStackThread::Stop() {
    if (OnLibreThread()) {
        std::lock_guard lock(mutex_);
        state_ = State::Stopping;
        re_cancel();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Running) {
            // Queued past the limit: stopping must never be refused.
            if (!Enqueue([] { re_cancel(); })) {
                Report("The libre loop could not be told to stop");
            }
        }
        if (state_ != State::Stopped) {
            state_ = State::Stopping;
        }
    }
    std::lock_guard joinLock(joinMutex_);
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool SipStackThread::AwaitResult(std::future<void>& done, std::chrono::milliseconds limit) {
    if (done.wait_for(limit) != std::future_status::ready) {
        Report("A libre job did not finish in time");
        return false;
    }
    try {
        done.get();
        return true;
    } catch (const std::future_error&) {
        // The loop ended before the job could run.
        return false;
    }
}

void SipStackThread::Report(std::string_view problem) {
    std::lock_guard lock(problemsMutex_);
    problems_ << "SIP stack: " << problem << '\n';
}

}  // namespace porthold::service::sip
