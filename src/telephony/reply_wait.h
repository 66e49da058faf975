#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "telephony/tapi.h"
#include "telephony/tapi_interface.h"

namespace porthold::telephony {

// Polls the line application's message queue for the LINE_REPLY of the
// request just issued, one poll per Step. The reply's request identifier and
// result are not examined: the engine issues one request at a time.
//
// Every other message taken from the queue meanwhile is kept, in order, for
// the engine to handle after the wait: a service may report the answered
// call's LINECALLSTATE_CONNECTED before the reply, and losing it would leave
// the caller in silence.
//
// Safe to share between the main thread and a waiter thread.
class ReplyWaiter {
public:
    // The waiter stops polling once more than this has passed, so that it is
    // done before the main thread stops waiting.
    static constexpr std::uint32_t kGiveUpAfterMilliseconds = 9999;

    enum class Progress { Polling, Replied, GaveUp };

    // The start time is taken now. `tapi` and `clock` must outlive every Step.
    ReplyWaiter(Tapi& tapi, HLINEAPP lineApp, platform::Clock& clock);

    // One poll with a zero time-out.
    Progress Step();

    // The main thread has stopped waiting: later steps give up without
    // polling, so no message is taken that nobody would keep.
    void Abandon();

    // The messages other than the reply taken so far, oldest first.
    std::vector<LINEMESSAGE> TakeKeptMessages();

private:
    Tapi& tapi_;
    HLINEAPP lineApp_;
    platform::Clock& clock_;
    const std::uint32_t startTick_;
    std::mutex mutex_;
    bool abandoned_ = false;
    std::vector<LINEMESSAGE> kept_;
};

// How the main thread waits while a ReplyWaiter polls: blocked for at most
// kMainThreadLimitMilliseconds by the clock.
class ReplyWaitStrategy {
public:
    static constexpr std::uint32_t kMainThreadLimitMilliseconds = 10000;
    // Between two polls of the waiter.
    static constexpr std::uint32_t kPollPauseMilliseconds = 1;

    virtual ~ReplyWaitStrategy() = default;

    // True when the waiter saw the reply in time.
    virtual bool Await(const std::shared_ptr<ReplyWaiter>& waiter) = 0;
};

// The waiter's polls run on the calling thread, with a clock sleep between
// them; after the waiter gives up, the thread sleeps out the rest of the
// limit. On a virtual clock this is the threaded wait made deterministic.
class InterleavedReplyWait final : public ReplyWaitStrategy {
public:
    explicit InterleavedReplyWait(platform::Clock& clock) : clock_(clock) {}
    bool Await(const std::shared_ptr<ReplyWaiter>& waiter) override;

private:
    platform::Clock& clock_;
};

// The running program's wait: a waiter thread polls while the main thread
// waits on an event. The thread is not stopped when the main thread gives
// up, but it stops polling then; threads are joined before the next wait
// and when the strategy goes, so none outlives the telephony binding.
class ThreadedReplyWait final : public ReplyWaitStrategy {
public:
    explicit ThreadedReplyWait(platform::Clock& clock) : clock_(clock) {}
    ~ThreadedReplyWait() override;
    ThreadedReplyWait(const ThreadedReplyWait&) = delete;
    ThreadedReplyWait& operator=(const ThreadedReplyWait&) = delete;

    bool Await(const std::shared_ptr<ReplyWaiter>& waiter) override;

private:
    // The event the waiter thread signals, shared so that it stays valid for
    // whichever side finishes last.
    struct Event {
        std::mutex mutex;
        std::condition_variable changed;
        bool finished = false;
        bool replied = false;
    };

    void JoinFinishedWaiters();

    platform::Clock& clock_;
    std::vector<std::pair<std::shared_ptr<Event>, std::thread>> waiters_;
};

}  // namespace porthold::telephony
