#include "service/sip_stack/sip_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "service/sip_stack/invite_flood_guard.h"
#include "sip_line_fixture.h"

namespace porthold::service {
namespace {

using line_testing::kWaitLimit;
using line_testing::RecordingAudio;
using line_testing::SipLineTest;
using line_testing::TelephoneEventPacket;
using line_testing::UdpPeer;
using testing::WaitFor;

TEST_F(SipLineTest, AnsweredCallReportsRingsKeysAndTheCallersHangUp) {
    StartLine(true);
    EXPECT_EQ(RunCaller("answered_call_with_info_key.xml"), 0);
    ASSERT_TRUE(WaitFor([&] { return events_->Saw("gone 1"); }, kWaitLimit));
    const std::vector<std::string> expected{"call 1", "ring 1", "key 1 5", "gone 1"};
    EXPECT_EQ(events_->Events(), expected);
    EXPECT_EQ(audio_.BegunAndEnded(), std::make_pair(1, 1));
}

// The caller gives up after about 350 ms of rings 100 ms apart.
TEST_F(SipLineTest, LineRingsAtItsCadenceUntilTheCallerGivesUp) {
    StartLine(false, std::chrono::milliseconds(100));
    EXPECT_EQ(RunCaller("cancelled_while_ringing.xml"), 0);
    ASSERT_TRUE(WaitFor([&] { return events_->Saw("gone 1"); }, kWaitLimit));
    const std::vector<std::string> events = events_->Events();
    EXPECT_EQ(events.front(), "call 1");
    EXPECT_EQ(events.back(), "gone 1");
    const auto rings = std::count(events.begin(), events.end(), "ring 1");
    EXPECT_GE(rings, 3);
    EXPECT_LE(rings, 6);
    // Audio never began for a call that was never answered.
    EXPECT_EQ(audio_.BegunAndEnded(), std::make_pair(0, 0));
}

TEST_F(SipLineTest, OfferWithoutG711IsRefusedBeforeTheServiceHearsOfIt) {
    StartLine(true);
    EXPECT_EQ(RunCaller("unsupported_codec.xml"), 0);
    EXPECT_TRUE(events_->Events().empty());
    EXPECT_NE(problems_.str().find("no G.711"), std::string::npos);
}

// The program's audio goes to the caller's RTP address as PCMU, and keys come
// back as telephone-events, from that address only.
TEST_F(SipLineTest, CallsAudioAndKeysTravelByRtpWithTheCaller) {
    StartLine(true);
    const UdpPeer callerMedia;
    const UdpPeer stranger;
    const auto caller = StartCaller("answered_call_with_rtp.xml",
                                    {"-set", "rtp_port", std::to_string(callerMedia.Port())});
    std::uint16_t linePort = 0;
    const std::string frame = callerMedia.Receive(linePort);
    ASSERT_EQ(frame.size(), 12U + 160U) << problems_.str();
    EXPECT_EQ(static_cast<unsigned char>(frame[1]) & 0x7f, 0);  // PCMU
    EXPECT_EQ(static_cast<unsigned char>(frame[12]), 0xff);     // silence in mu-law

    // Seven from a stranger, then nine from the caller: two start packets
    // and three end packets that must make one key.
    stranger.SendTo(linePort, TelephoneEventPacket(1, 800, true, 7, false, 160));
    stranger.SendTo(linePort, TelephoneEventPacket(2, 800, false, 7, true, 320));
    callerMedia.SendTo(linePort, TelephoneEventPacket(1, 1600, true, 9, false, 160));
    callerMedia.SendTo(linePort, TelephoneEventPacket(2, 1600, false, 9, false, 320));
    for (std::uint16_t sequence = 3; sequence <= 5; ++sequence) {
        callerMedia.SendTo(linePort, TelephoneEventPacket(sequence, 1600, false, 9, true, 480));
    }
    EXPECT_EQ(FinishCaller(*caller), 0);
    ASSERT_TRUE(WaitFor([&] { return events_->Saw("gone 1"); }, kWaitLimit));
    const std::vector<std::string> expected{"call 1", "ring 1", "key 1 9", "gone 1"};
    EXPECT_EQ(events_->Events(), expected);
}

// An INVITE as a second caller would send it, offering PCMU.
std::string SecondInvite(std::uint16_t fromPort, std::uint16_t toPort) {
    const std::string body =
        "v=0\r\no=x 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
        "m=audio 40000 RTP/AVP 0\r\n";
    const std::string from = "127.0.0.1:" + std::to_string(fromPort);
    return "INVITE sip:line@127.0.0.1:" + std::to_string(toPort) +
           " SIP/2.0\r\n"
           "Via: SIP/2.0/UDP " +
           from +
           ";branch=z9hG4bK-second\r\n"
           "From: <sip:second@" +
           from +
           ">;tag=second\r\n"
           "To: <sip:line@127.0.0.1>\r\n"
           "Call-ID: second-call\r\n"
           "CSeq: 1 INVITE\r\n"
           "Contact: <sip:second@" +
           from +
           ">\r\n"
           "Max-Forwards: 70\r\n"
           "Content-Type: application/sdp\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// While the line has a call, another caller hears busy and the service never
// hears of it; the program's hang-up then ends the call with a BYE.
TEST_F(SipLineTest, SecondCallerIsBusyAndTheLinesHangUpSaysGoodbye) {
    StartLine(true);
    const UdpPeer callerMedia;
    const UdpPeer secondCaller;
    const auto caller = StartCaller("hung_up_by_line.xml",
                                    {"-set", "rtp_port", std::to_string(callerMedia.Port())});
    ASSERT_TRUE(WaitFor([&] { return audio_.BegunAndEnded().first == 1; }, kWaitLimit))
        << problems_.str();
    secondCaller.SendTo(line_->ListeningPort(),
                        SecondInvite(secondCaller.Port(), line_->ListeningPort()));
    std::uint16_t from = 0;
    EXPECT_EQ(secondCaller.Receive(from).rfind("SIP/2.0 486 ", 0), 0U);

    line_->CallEndedByLine(1);
    EXPECT_EQ(FinishCaller(*caller), 0);
    EXPECT_EQ(audio_.BegunAndEnded(), std::make_pair(1, 1));
    // The service ended the call itself, so it is not told the caller went.
    const std::vector<std::string> expected{"call 1", "ring 1"};
    EXPECT_EQ(events_->Events(), expected);
}

// A line closed mid-call (the service stopping) still says goodbye.
TEST_F(SipLineTest, ClosingTheLineHangsUpItsCall) {
    StartLine(true);
    const UdpPeer callerMedia;
    const auto caller = StartCaller("hung_up_by_line.xml",
                                    {"-set", "rtp_port", std::to_string(callerMedia.Port())});
    ASSERT_TRUE(WaitFor([&] { return audio_.BegunAndEnded().first == 1; }, kWaitLimit))
        << problems_.str();
    line_->Attach(nullptr);
    line_.reset();
    EXPECT_EQ(FinishCaller(*caller), 0);
    EXPECT_EQ(audio_.BegunAndEnded(), std::make_pair(1, 1));
}

TEST_F(SipLineTest, LineThatHangsUpWhileRingingRefusesTheCall) {
    StartLine(false);
    const auto caller = StartCaller("refused_while_ringing.xml");
    ASSERT_TRUE(WaitFor([&] { return events_->Saw("ring 1"); }, kWaitLimit));
    line_->CallEndedByLine(1);
    EXPECT_EQ(FinishCaller(*caller), 0);
    const std::vector<std::string> expected{"call 1", "ring 1"};
    EXPECT_EQ(events_->Events(), expected);
}

// Garbage on the SIP port costs nothing: the next caller gets through.
TEST_F(SipLineTest, GarbageDatagramsLeaveTheLineWorking) {
    StartLine(true);
    const UdpPeer peer;
    const std::vector<std::string> garbage{
        std::string("\x00\xff\x13garbage\r\n\r\n", 14),
        "INVITE sip:line@127.0.0.1 SIP/2.0\r\n\r\n",
        "INVITE sip:line@127.0.0.1 SIP/2.0\r\nVia: nonsense\r\nContent-Length: 99999\r\n\r\nv=0",
        "SIP/2.0 200 OK\r\n\r\n",
    };
    for (const std::string& datagram : garbage) {
        peer.SendTo(line_->ListeningPort(), datagram);
    }
    EXPECT_EQ(RunCaller("answered_call_with_info_key.xml"), 0);
    ASSERT_TRUE(WaitFor([&] { return events_->Saw("gone 1"); }, kWaitLimit));
    EXPECT_EQ(events_->Events().front(), "call 1");
}

// Twenty new INVITEs a second are answered; past them a flood begins, counted
// until a second passes without a drop. A clock stepping back reopens the line.
TEST(InviteFloodGuard, AnswersTwentyASecondAndCountsEachFloodOnce) {
    using Verdict = sip::InviteFloodGuard::Verdict;
    sip::InviteFloodGuard guard;
    for (int invite = 0; invite < 20; ++invite) {
        EXPECT_EQ(guard.Admit(5000), Verdict::Answer);
    }
    EXPECT_EQ(guard.Admit(5999), Verdict::DropAndFloodBegins);
    EXPECT_EQ(guard.Admit(5999), Verdict::Drop);
    EXPECT_EQ(guard.Admit(6000), Verdict::Answer);
    EXPECT_FALSE(guard.EndIfQuiet(6998));
    const auto flood = guard.EndIfQuiet(6999);
    ASSERT_TRUE(flood);
    EXPECT_EQ(flood->dropped, 2U);
    EXPECT_EQ(flood->answered, 1U);
    EXPECT_FALSE(guard.EndIfQuiet(9000));

    for (int invite = 0; invite < 19; ++invite) {
        EXPECT_EQ(guard.Admit(6100), Verdict::Answer);
    }
    EXPECT_EQ(guard.Admit(6100), Verdict::DropAndFloodBegins);
    EXPECT_EQ(guard.Admit(100), Verdict::Answer);
    EXPECT_FALSE(guard.EndIfQuiet(100));
    EXPECT_EQ(guard.End()->dropped, 1U);
}

TEST(SipLine, AddressInUseIsReportedAndTheLineTakesNoCalls) {
    const UdpPeer holder;
    testing::NoWaveDevices devices;
    RecordingAudio audio;
    std::ostringstream problems;
    SipLineSettings settings;
    settings.listen = {"127.0.0.1", AddressFamily::IPv4, holder.Port()};
    const SipLine line("sip1", settings, devices, 90, 91, audio, problems);
    EXPECT_EQ(line.ListeningPort(), 0);
    EXPECT_NE(
        problems.str().find("cannot take calls on 127.0.0.1 port " + std::to_string(holder.Port())),
        std::string::npos);
}

}  // namespace
}  // namespace porthold::service
