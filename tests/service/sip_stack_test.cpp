#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "service/sip_stack/libre.h"
#include "service/sip_stack/sip_stack_thread.h"

namespace porthold::service::sip {
namespace {

using namespace std::chrono_literals;

// A plain POSIX UDP socket on the loopback, as a peer outside libre.
class LoopbackPeer {
public:
    LoopbackPeer() : socket_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        const timeval limit{5, 0};
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    }
    ~LoopbackPeer() { ::close(socket_); }

    void SendTo(std::uint16_t port, const std::string& text) const {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(socket_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&address),
                 sizeof(address));
    }
    std::string Receive() const {
        char buffer[2048];
        const ssize_t count = ::recv(socket_, buffer, sizeof(buffer), 0);
        return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : std::string();
    }

private:
    int socket_;
};

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

struct Received {
    std::promise<std::pair<std::string, std::thread::id>> payload;
};

void OnDatagram(const struct sa*, struct mbuf* buffer, void* arg) {
    std::string text(reinterpret_cast<const char*>(mbuf_buf(buffer)), mbuf_get_left(buffer));
    static_cast<Received*>(arg)->payload.set_value({std::move(text), std::this_thread::get_id()});
}

std::uint16_t LoopbackPort(SipStackThread& stack, const std::function<int(struct sa*)>& open) {
    return stack
        .RunAndWait([&open] {
            struct sa local;
            sa_set_str(&local, "127.0.0.1", 0);
            return open(&local) == 0 ? sa_port(&local) : std::uint16_t{0};
        })
        .value_or(0);
}

TEST(SipStackThread, ReceivesADatagramOnTheLibreThread) {
    std::ostringstream problems;
    SipStackThread stack(problems);
    Received received;
    udp_sock* socket = nullptr;
    const std::uint16_t port = LoopbackPort(stack, [&](struct sa* local) {
        const int error = udp_listen(&socket, local, OnDatagram, &received);
        return error != 0 ? error : udp_local_get(socket, local);
    });
    ASSERT_NE(port, 0);

    LoopbackPeer peer;
    peer.SendTo(port, "hello libre");
    auto arrival = received.payload.get_future();
    ASSERT_EQ(arrival.wait_for(5s), std::future_status::ready);
    const auto [text, thread] = arrival.get();
    EXPECT_EQ(text, "hello libre");
    EXPECT_EQ(thread, *stack.RunAndWait([] { return std::this_thread::get_id(); }));
    EXPECT_TRUE(stack.RunAndWait([socket] { mem_deref(socket); }));
}

bool AnswerOptions(const struct sip_msg* message, void* arg) {
    if (pl_strcmp(&message->met, "OPTIONS") != 0) {
        return false;
    }
    sip_reply(static_cast<struct sip*>(arg), message, 200, "OK");
    return true;
}

// A whole SIP stack parses a request and answers it: this only works when
// the headers agree with the library about its structures.
TEST(SipStackThread, SipStackAnswersAnOptionsRequest) {
    std::ostringstream problems;
    SipStackThread stack(problems);
    struct sip* sipStack = nullptr;
    sip_lsnr* listener = nullptr;
    const std::uint16_t port = LoopbackPort(stack, [&](struct sa* local) {
        int error = sip_alloc(&sipStack, nullptr, 4, 4, 4, "porthold-test", nullptr, nullptr);
        error = error ? error : sip_transp_add(sipStack, SIP_TRANSP_UDP, local);
        error = error ? error : sip_listen(&listener, sipStack, true, AnswerOptions, sipStack);
        return error ? error : sip_transp_laddr(sipStack, local, SIP_TRANSP_UDP, nullptr);
    });
    ASSERT_NE(port, 0);

    LoopbackPeer peer;
    const std::string target = "sip:line@127.0.0.1:" + std::to_string(port);
    peer.SendTo(port, "OPTIONS " + target + " SIP/2.0\r\n" +
                          "Via: SIP/2.0/UDP 127.0.0.1:9;rport;branch=z9hG4bK-porthold1\r\n"
                          "Max-Forwards: 70\r\nFrom: <sip:test@127.0.0.1>;tag=one\r\n"
                          "To: <" +
                          target +
                          ">\r\nCall-ID: options-check@porthold\r\n"
                          "CSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n");
    const std::string response = peer.Receive();
    EXPECT_EQ(response.rfind("SIP/2.0 200 OK\r\n", 0), 0u) << response;
    EXPECT_NE(response.find("Call-ID: options-check@porthold"), std::string::npos);
    EXPECT_TRUE(stack.RunAndWait([&] {
        mem_deref(listener);
        sip_close(sipStack, true);
        mem_deref(sipStack);
    }));
}

}  // namespace
}  // namespace porthold::service::sip
