// A far end that rings or keys without pause, or dials and hangs up without
// pause, must not make the service's memory or the program's backlog grow
// without bound, and must never cost the program a change of a call's state.

#include <fcntl.h>
#include <poll.h>

#include <vector>

#include "service/message_queue.h"
#include "service_test_support.h"

namespace porthold::service::testing {
namespace {

using ::testing::ElementsAre;

constexpr DWORD kCall = 0x10001;

LINEMESSAGE Digit(DWORD index) {
    return LINEMESSAGE{kCall, LINE_MONITORDIGITS, 0, index, LINEDIGITMODE_DTMF, 0};
}

TEST(MessageQueueBound, AFloodOfDigitsMakesRoomFromItsOldestAndKeepsTheCallStatesInOrder) {
    MessageQueue queue;
    constexpr DWORD kDigits = 1000000;
    constexpr std::size_t kCapacity = MessageQueue::kCapacity;
    queue.Push(LINEMESSAGE{0, LINE_REPLY, 0, 7, 0, 0}, 100, true);
    std::size_t overflowsBegun = 0;
    for (DWORD index = 0; index < kDigits; ++index) {
        overflowsBegun += queue.Push(Digit(index), 0, false) == MessageQueue::Overflow::Began;
    }
    queue.Push(LINEMESSAGE{kCall, LINE_CALLSTATE, 0, LINECALLSTATE_DISCONNECTED, 0, 0}, 0, false);
    EXPECT_EQ(overflowsBegun, 1u) << "one log line for the whole flood";

    EXPECT_FALSE(queue.Pop(99)) << "the delayed reply still holds back what follows it";
    std::vector<LINEMESSAGE> popped;
    while (const auto message = queue.Pop(100)) {
        popped.push_back(*message);
    }
    ASSERT_EQ(popped.size(), kCapacity);
    EXPECT_EQ(popped.front().dwMessageID, LINE_REPLY);
    EXPECT_EQ(popped[1].dwParam1, kDigits - (kCapacity - 2)) << "the newest digits are kept";
    EXPECT_EQ(popped[kCapacity - 2].dwParam1, kDigits - 1);
    EXPECT_EQ(popped.back().dwParam1, LINECALLSTATE_DISCONNECTED);
}

class MessageFlood : public ServiceTest {
protected:
    MessageFlood() { OpenAsTheProgram(); }
};

TEST_F(MessageFlood, AMillionRingsWaitAsOneRingWithTheLatestCount) {
    const HCALL call = DialAndOffer();
    for (int ring = 0; ring < 1000000; ++ring) {
        line.Ring();
    }
    EXPECT_THAT(Messages(), ElementsAre(Ring(lineHandle, 999999)));

    line.Ring();
    line.HangUp();
    EXPECT_THAT(Messages(), ElementsAre(CallState(call, LINECALLSTATE_DISCONNECTED, 1),
                                        CallState(call, LINECALLSTATE_IDLE)))
        << "the ring of a call given up is stale";
}

TEST_F(MessageFlood, AnOwnerThatFallsBehindIsOfferedNoMoreCallsUntilItCatchesUp) {
    std::size_t offered = 0;
    for (int attempt = 0; attempt < 10000; ++attempt) {
        offered += line.Dial() == DialResult::Offered;
        line.HangUp();
    }
    EXPECT_LE(offered, MessageQueue::kCapacity / 4 + 1);
    EXPECT_EQ(Messages().size(), 4 * offered) << "each offered call is told in full";
    EXPECT_EQ(line.Dial(), DialResult::Offered);
}

bool IsReadable(int descriptor) {
    pollfd watched{.fd = descriptor, .events = POLLIN, .revents = 0};
    return ::poll(&watched, 1, 0) == 1 && (watched.revents & POLLIN) != 0;
}

// The application's event wakes it for news and lets it sleep once it has
// read everything, however much came; it goes with the application.
TEST_F(ServiceTest, TheEventIsSetByNewsAndClearedByAnEmptyQueue) {
    const Initialization initialization = TryInitialize(TAPI_VERSION2_1);
    app = initialization.application;
    lineHandle = Open(app);
    const int event = static_cast<int>(initialization.parameters.Handles.hEvent);
    ASSERT_GT(event, 2);
    EXPECT_FALSE(IsReadable(event));

    const HCALL call = DialAndOffer();
    for (int ring = 0; ring < 1000; ++ring) {
        line.Ring();
    }
    EXPECT_TRUE(IsReadable(event));
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_FALSE(IsReadable(event)) << "read to the end";

    line.HangUp();
    Messages();
    EXPECT_TRUE(line.HoldOtherCall(OtherCall::Held));
    EXPECT_TRUE(IsReadable(event)) << "the line's calls changed without a message";
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(IsReadable(event));
    EXPECT_NE(call, 0u);

    EXPECT_EQ(service.lineShutdown(app), 0);
    EXPECT_EQ(::fcntl(event, F_GETFD), -1);
}

}  // namespace
}  // namespace porthold::service::testing
