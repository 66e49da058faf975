#include <gtest/gtest.h>
#include <pthread.h>

#include <chrono>
#include <csignal>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "service/sip_stack/sip_stack_thread.h"

namespace porthold::service::sip {
namespace {

using namespace std::chrono_literals;

TEST(SipStackThread, RunsJobsFromSeveralThreadsInOrderOnItsOwnThread) {
    std::ostringstream problems;
    SipStackThread stack(problems);
    ASSERT_TRUE(stack.Running());
    const std::thread::id libreThread =
        *stack.RunAndWait([] { return std::this_thread::get_id(); });
    EXPECT_NE(libreThread, std::this_thread::get_id());

    std::vector<std::pair<int, int>> ran;  // touched on the libre thread only
    bool allOnLibreThread = true;
    auto poster = [&](int source) {
        for (int sequence = 0; sequence < 100; ++sequence) {
            // Two hundred jobs stay within the default limit.
            EXPECT_TRUE(stack.Post([&, source, sequence] {
                allOnLibreThread &= std::this_thread::get_id() == libreThread;
                ran.emplace_back(source, sequence);
            }));
        }
    };
    std::thread first(poster, 0);
    std::thread second(poster, 1);
    first.join();
    second.join();
    ASSERT_TRUE(stack.RunAndWait([] {}));

    EXPECT_TRUE(allOnLibreThread);
    ASSERT_EQ(ran.size(), 200u);
    int next[2] = {0, 0};
    for (const auto& [source, sequence] : ran) {
        EXPECT_EQ(sequence, next[source]++);
    }
}

TEST(SipStackThread, StopsPromptlyOnceAndRefusesLaterJobs) {
    std::ostringstream problems;
    SipStackThread stack(problems);
    // With nothing to do, the loop sleeps without a timeout; Stop must wake it.
    const auto before = std::chrono::steady_clock::now();
    stack.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    stack.Stop();
    EXPECT_FALSE(stack.Running());
    EXPECT_FALSE(stack.Post([] {}));
    EXPECT_FALSE(stack.RunAndWait([] { return 1; }).has_value());
}

TEST(SipStackThread, RefusesJobsPastTheLimitAndGivesUpWaitingInTime) {
    // Declared before the stack, so that they outlive its jobs even when an
    // assertion ends the test early.
    std::promise<void> blocking;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> drained;
    std::ostringstream problems;
    SipStackThread stack(problems, 2);
    ASSERT_TRUE(stack.Post([&blocking, released] {
        blocking.set_value();
        released.wait_for(5s);
    }));
    ASSERT_EQ(blocking.get_future().wait_for(5s), std::future_status::ready);
    // This job stays queued behind the blocking one, so one more fits.
    EXPECT_FALSE(stack.RunAndWait([] {}, 50ms));
    EXPECT_TRUE(stack.Post([&drained] { drained.set_value(); }));
    EXPECT_FALSE(stack.Post([] {}));
    release.set_value();
    ASSERT_EQ(drained.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_EQ(stack.RunAndWait([] { return 7; }), 7);
    EXPECT_NE(problems.str().find("refused"), std::string::npos);
    EXPECT_NE(problems.str().find("did not finish in time"), std::string::npos);
}

// The program reads its termination signals on the main thread; the libre
// thread must never take one, and libre must not change how the process
// handles any signal. This test's own thread leaves every signal unblocked.
TEST(SipStackThread, KeepsOutOfTheProgramsSignals) {
    struct sigaction pipeBefore {};
    ::sigaction(SIGPIPE, nullptr, &pipeBefore);
    std::ostringstream problems;
    SipStackThread stack(problems);
    const auto mask = stack.RunAndWait([] {
        sigset_t current;
        ::pthread_sigmask(SIG_BLOCK, nullptr, &current);
        return current;
    });
    ASSERT_TRUE(mask.has_value());
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP, SIGALRM, SIGPIPE}) {
        EXPECT_EQ(sigismember(&*mask, signalNumber), 1) << signalNumber;
    }
    EXPECT_EQ(sigismember(&*mask, SIGSEGV), 0);
    struct sigaction pipeAfter {};
    ::sigaction(SIGPIPE, nullptr, &pipeAfter);
    EXPECT_EQ(pipeAfter.sa_handler, pipeBefore.sa_handler);
    for (int signalNumber : {SIGTERM, SIGINT, SIGALRM}) {
        struct sigaction action {};
        ::sigaction(signalNumber, nullptr, &action);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << signalNumber;
    }
}

}  // namespace
}  // namespace porthold::service::sip
