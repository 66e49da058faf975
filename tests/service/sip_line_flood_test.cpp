// A SIP line under a flood of INVITEs from sipp, in real time.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>

#include "service/sip_stack/invite_flood_guard.h"
#include "sip_line_fixture.h"

namespace porthold::service {
namespace {

using line_testing::kWaitLimit;
using line_testing::SipLineTest;
using line_testing::TelephoneEventPacket;
using line_testing::UdpPeer;
using testing::WaitFor;

constexpr int kFloodInvites = 1500;

// While a call is connected, sipp sends INVITEs at a thousand a second and
// never acknowledges an answer. The call keeps its audio, keys and hang-up,
// the line answers no more INVITEs than its bound allows (each answer being a
// transaction libre keeps), reports the flood once as it begins and once as
// it ends, and answers the next caller as usual.
TEST_F(SipLineTest, FloodOfInvitesIsBoundedAndSparesTheCallAndTheNextCaller) {
    StartLine(true);
    const UdpPeer callerMedia;
    const auto caller = StartCaller("hung_up_by_line.xml",
                                    {"-set", "rtp_port", std::to_string(callerMedia.Port())});
    std::uint16_t linePort = 0;
    ASSERT_FALSE(callerMedia.Receive(linePort).empty()) << problems_.str();

    const auto floodBegan = std::chrono::steady_clock::now();
    const auto flood = StartCaller("invite_flood.xml", {"-r", "1000"}, kFloodInvites);
    ASSERT_TRUE(
        WaitFor([&] { return problems_.str().find("a flood of INVITEs") != std::string::npos; },
                kWaitLimit));
    audio_.SendFrame();
    std::uint16_t from = 0;
    EXPECT_EQ(callerMedia.Receive(from).size(), 12U + 160U);
    callerMedia.SendTo(linePort, TelephoneEventPacket(1, 1600, true, 9, false, 160));
    callerMedia.SendTo(linePort, TelephoneEventPacket(2, 1600, false, 9, true, 320));
    EXPECT_EQ(FinishCaller(*flood), 0);
    const auto floodSeconds = std::chrono::duration_cast<std::chrono::seconds>(
                                  std::chrono::steady_clock::now() - floodBegan)
                                  .count();

    ASSERT_TRUE(
        WaitFor([&] { return problems_.str().find("is over") != std::string::npos; }, kWaitLimit));
    const std::string problems = problems_.str();
    std::size_t mentions = 0;
    for (auto at = problems.find("flood"); at != std::string::npos;
         at = problems.find("flood", at + 1)) {
        ++mentions;
    }
    EXPECT_EQ(mentions, 2u) << problems;
    // "...; <dropped> dropped, <answered> answered meanwhile"
    const auto countsAt = problems.find("is over; ");
    ASSERT_NE(countsAt, std::string::npos) << problems;
    std::istringstream counts(problems.substr(countsAt + 9));
    long long dropped = 0;
    long long answered = 0;
    std::string droppedWord;
    counts >> dropped >> droppedWord >> answered;
    ASSERT_EQ(droppedWord, "dropped,") << problems;
    EXPECT_LE(dropped + answered, kFloodInvites);
    EXPECT_LE(answered, sip::InviteFloodGuard::kMostAnsweredPerWindow * (floodSeconds + 2));
    EXPECT_GE(dropped, kFloodInvites / 2);

    EXPECT_TRUE(events_->Saw("key 1 9"));
    EXPECT_FALSE(events_->Saw("gone 1"));
    line_->CallEndedByLine(1);
    EXPECT_EQ(FinishCaller(*caller), 0);

    EXPECT_EQ(RunCaller("answered_call_with_info_key.xml"), 0);
    ASSERT_TRUE(WaitFor([&] { return events_->Saw("gone 2"); }, kWaitLimit));
    EXPECT_TRUE(events_->Saw("key 2 5"));
}

}  // namespace
}  // namespace porthold::service
