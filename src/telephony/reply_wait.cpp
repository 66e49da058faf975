#include "telephony/reply_wait.h"

#include <chrono>

namespace porthold::telephony {

ReplyWaiter::ReplyWaiter(Tapi& tapi, HLINEAPP lineApp, platform::Clock& clock)
    : tapi_(tapi), lineApp_(lineApp), clock_(clock), startTick_(clock.TickCount()) {}

ReplyWaiter::Progress ReplyWaiter::Step() {
    // The poll runs under the lock, so a message is either kept before the
    // main thread abandons the wait or not taken at all.
    const std::lock_guard lock(mutex_);
    if (abandoned_ || clock_.TickCount() - startTick_ > kGiveUpAfterMilliseconds) {
        return Progress::GaveUp;
    }
    LINEMESSAGE message{};
    if (tapi_.lineGetMessage(lineApp_, &message, 0) != 0) {
        return Progress::Polling;
    }
    if (message.dwMessageID == LINE_REPLY) {
        return Progress::Replied;
    }
    kept_.push_back(message);
    return Progress::Polling;
}

void ReplyWaiter::Abandon() {
    const std::lock_guard lock(mutex_);
    abandoned_ = true;
}

std::vector<LINEMESSAGE> ReplyWaiter::TakeKeptMessages() {
    const std::lock_guard lock(mutex_);
    return std::exchange(kept_, {});
}

bool InterleavedReplyWait::Await(const std::shared_ptr<ReplyWaiter>& waiter) {
    const std::uint32_t start = clock_.TickCount();
    for (;;) {
        const ReplyWaiter::Progress progress = waiter->Step();
        if (progress == ReplyWaiter::Progress::Replied) {
            return true;
        }
        if (progress == ReplyWaiter::Progress::GaveUp) {
            break;
        }
        clock_.Sleep(kPollPauseMilliseconds);
    }
    const std::uint32_t waited = clock_.TickCount() - start;
    if (waited < kMainThreadLimitMilliseconds) {
        clock_.Sleep(kMainThreadLimitMilliseconds - waited);
    }
    return false;
}

ThreadedReplyWait::~ThreadedReplyWait() {
    for (auto& [event, thread] : waiters_) {
        thread.join();
    }
}

void ThreadedReplyWait::JoinFinishedWaiters() {
    std::erase_if(waiters_, [](auto& waiter) {
        bool finished = false;
        {
            const std::lock_guard lock(waiter.first->mutex);
            finished = waiter.first->finished;
        }
        if (finished) {
            waiter.second.join();
        }
        return finished;
    });
}

bool ThreadedReplyWait::Await(const std::shared_ptr<ReplyWaiter>& waiter) {
    JoinFinishedWaiters();
    auto event = std::make_shared<Event>();
    const std::uint32_t start = clock_.TickCount();
    waiters_.emplace_back(event, std::thread([waiter, event, &clock = clock_] {
                              ReplyWaiter::Progress progress = waiter->Step();
                              while (progress == ReplyWaiter::Progress::Polling) {
                                  clock.Sleep(kPollPauseMilliseconds);
                                  progress = waiter->Step();
                              }
                              const std::lock_guard lock(event->mutex);
                              event->finished = true;
                              event->replied = progress == ReplyWaiter::Progress::Replied;
                              event->changed.notify_all();
                          }));

    std::unique_lock lock(event->mutex);
    for (;;) {
        if (event->replied) {
            return true;
        }
        const std::uint32_t waited = clock_.TickCount() - start;
        if (waited >= kMainThreadLimitMilliseconds) {
            return false;
        }
        const std::uint32_t remaining = kMainThreadLimitMilliseconds - waited;
        if (event->finished) {
            // The waiter gave up just before the limit; the main thread waits
            // the limit out as it would for an event that never comes.
            lock.unlock();
            clock_.Sleep(remaining);
            lock.lock();
            continue;
        }
        event->changed.wait_for(lock, std::chrono::milliseconds(remaining));
    }
}

}  // namespace porthold::telephony
