#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string_view>
#include <thread>
#include <type_traits>

struct mqueue;

namespace porthold::service::sip {

// libre's event loop on a thread of its own. libre keeps its poll set and
// timers per thread and is not thread-safe, so every libre object is created,
// used and freed by jobs that run on this thread; other threads hand jobs in
// through Post or RunAndWait, which wake the loop through a libre message
// queue. The loop sleeps in the kernel until a socket, timer or job needs it.
//
// Objects the jobs created must be freed by a job before Stop: once the loop
// has ended, the thread's libre state is gone.
class SipStackThread {
public:
    static constexpr std::size_t kDefaultPendingJobLimit = 256;
    static constexpr std::chrono::milliseconds kDefaultWaitLimit{5000};

    // Starts the thread and waits (bounded) until libre is ready on it.
    // Problems are written to `problems`, which must outlive this object.
    explicit SipStackThread(std::ostream& problems,
                            std::size_t pendingJobLimit = kDefaultPendingJobLimit);
    // Stops; never to be destroyed by one of its own jobs, which cannot join
    // the thread they run on.
    ~SipStackThread();
    SipStackThread(const SipStackThread&) = delete;
    SipStackThread& operator=(const SipStackThread&) = delete;

    // True from a successful start until Stop, or until the loop failed.
    bool Running() const;
    bool OnLibreThread() const { return std::this_thread::get_id() == libreThread_.load(); }

    // Queues `job` to run on the libre thread after the jobs queued before
    // it. Refused (false, reported) when the thread is not running or
    // `pendingJobLimit` jobs are already waiting.
    bool Post(std::function<void()> job);

    // Runs `job` on the libre thread and returns its result: std::optional
    // of it, or a bool for a job returning nothing. Empty or false when the
    // job was refused or did not finish within `limit`; a job that did not
    // finish still runs later, so it must not refer to the caller's locals.
    // Called on the libre thread itself, the job runs at once.
    template <typename Function>
    auto RunAndWait(Function job, std::chrono::milliseconds limit = kDefaultWaitLimit);

    // Ends the loop after the jobs already queued, and joins the thread.
    // Safe to call more than once and from several threads. Called from a
    // job, it only ends the loop; the thread is joined by a later call.
    void Stop();

private:
    enum class State { Starting, Running, Stopping, Stopped };

    static void OnWake(int id, void* data, void* arg);
    void Run(std::promise<bool>& started);
    int StartLibre();
    void FinishLibre(bool started);
    bool EnterRunning();
    void RunPendingJobs();
    bool Enqueue(std::function<void()> job);
    bool AwaitResult(std::future<void>& done, std::chrono::milliseconds limit);
    void Report(std::string_view problem);

    std::ostream& problems_;
    std::mutex problemsMutex_;
    const std::size_t pendingJobLimit_;

    mutable std::mutex mutex_;
    State state_ = State::Starting;
    std::deque<std::function<void()>> jobs_;
    bool wakePending_ = false;
    mqueue* queue_ = nullptr;

    std::mutex joinMutex_;
    std::atomic<std::thread::id> libreThread_{};
    std::thread thread_;
};

template <typename Function>
auto SipStackThread::RunAndWait(Function job, std::chrono::milliseconds limit) {
    using Result = std::invoke_result_t<Function&>;
    auto task = std::make_shared<std::packaged_task<Result()>>(std::move(job));
    std::future<Result> result = task->get_future();
    // A separate completion signal, so that the waiting below is one
    // non-template function for every result type.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> doneFuture = done->get_future();
    auto run = [task, done] {
        (*task)();
        done->set_value();
    };
    bool finished = false;
    if (OnLibreThread()) {
        run();
        finished = true;
    } else {
        finished = Post(std::move(run)) && AwaitResult(doneFuture, limit);
    }
    if constexpr (std::is_void_v<Result>) {
        if (finished) {
            result.get();
        }
        return finished;
    } else {
        return finished ? std::optional<Result>(result.get()) : std::nullopt;
    }
}

}  // namespace porthold::service::sip
