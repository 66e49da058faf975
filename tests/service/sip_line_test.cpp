#include "service/sip_stack/sip_line.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "sip_test_support.h"
#include "support/child_process.h"
#include "support/temporary_folder.h"

namespace porthold::service {
namespace {

using testing::ChildProcess;
using testing::WaitFor;

constexpr std::uint32_t kWaitLimit = 5000;

// What the line told the service, in order, as text ("ring 1", "key 1 5"...).
// Answers the call at its first ring when asked to, as the program would.
class RecordingEvents final : public LineEvents {
public:
    explicit RecordingEvents(bool answerAtFirstRing) : answer_(answerAtFirstRing) {}
    void SetLine(LineProvider& line) { line_ = &line; }

    OfferResult IncomingCall(FarEndCallId call) override {
        Record("call " + std::to_string(call));
        return OfferResult::Offered;
    }
    void Ring(FarEndCallId call) override {
        Record("ring " + std::to_string(call));
        const std::lock_guard lock(mutex_);
        if (answer_ && !answered_) {
            answered_ = true;
            line_->CallAnswered(call);
        }
    }
    void KeyPressed(FarEndCallId call, char key, KeyMode /*mode*/) override {
        Record("key " + std::to_string(call) + " " + key);
    }
    void FarEndHungUp(FarEndCallId call) override { Record("gone " + std::to_string(call)); }
    bool SetOtherCall(OtherCall /*state*/) override { return true; }

    std::vector<std::string> Events() const {
        const std::lock_guard lock(mutex_);
        return events_;
    }
    bool Saw(const std::string& event) const {
        const auto events = Events();
        return std::find(events.begin(), events.end(), event) != events.end();
    }

private:
    void Record(std::string event) {
        const std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    LineProvider* line_ = nullptr;
    bool answer_;
    bool answered_ = false;
};

class RecordingAudio final : public sip::CallAudio {
public:
    void BeginCallAudio(sip::FrameSender& sender) override {
        const std::lock_guard lock(mutex_);
        ++begun_;
        // A frame at once, as a greeting would start, to exercise sending.
        sender.SendFrame(sip::OutgoingFrame{});
    }
    void ReceiveAudio(std::uint16_t, std::uint32_t, std::span<const std::int16_t>) override {}
    void EndCallAudio() override {
        const std::lock_guard lock(mutex_);
        ++ended_;
    }
    std::pair<int, int> BegunAndEnded() const {
        const std::lock_guard lock(mutex_);
        return {begun_, ended_};
    }

private:
    mutable std::mutex mutex_;
    int begun_ = 0;
    int ended_ = 0;
};

// A UDP socket of the test's own on the loopback: a caller's RTP end, or a
// source of garbage.
class UdpPeer {
public:
    UdpPeer() : socket_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        const timeval limit{5, 0};
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
        sockaddr_in address = Loopback(0);
        ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        socklen_t size = sizeof(address);
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~UdpPeer() { ::close(socket_); }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    std::uint16_t Port() const { return port_; }

    void SendTo(std::uint16_t port, const std::string& bytes) const {
        const sockaddr_in address = Loopback(port);
        ::sendto(socket_, bytes.data(), bytes.size(), 0,
                 reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    }
    // One datagram and the port it came from; empty after five seconds.
    std::string Receive(std::uint16_t& fromPort) const {
        char buffer[2048];
        sockaddr_in from{};
        socklen_t size = sizeof(from);
        const ssize_t count = ::recvfrom(socket_, buffer, sizeof(buffer), 0,
                                         reinterpret_cast<sockaddr*>(&from), &size);
        fromPort = ntohs(from.sin_port);
        return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : std::string();
    }

private:
    static sockaddr_in Loopback(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    int socket_;
    std::uint16_t port_ = 0;
};

// An RTP packet of telephone-event `event` (RFC 4733), payload type 101.
std::string TelephoneEventPacket(std::uint16_t sequence, std::uint32_t timestamp, bool first,
                                 std::uint8_t event, bool end, std::uint16_t duration) {
    const unsigned char bytes[] = {
        0x80,
        static_cast<unsigned char>((first ? 0x80 : 0x00) | 101),
        static_cast<unsigned char>(sequence >> 8),
        static_cast<unsigned char>(sequence),
        static_cast<unsigned char>(timestamp >> 24),
        static_cast<unsigned char>(timestamp >> 16),
        static_cast<unsigned char>(timestamp >> 8),
        static_cast<unsigned char>(timestamp),
        0x12,
        0x34,
        0x56,
        0x78,  // SSRC
        event,
        static_cast<unsigned char>((end ? 0x80 : 0x00) | 10),
        static_cast<unsigned char>(duration >> 8),
        static_cast<unsigned char>(duration),
    };
    return std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes));
}

// A SipLine on the loopback, on a free port, and callers played by sipp.
class SipLineTest : public ::testing::Test {
protected:
    void StartLine(bool answerAtFirstRing,
                   std::chrono::milliseconds ringEvery = std::chrono::milliseconds(6000)) {
        events_ = std::make_unique<RecordingEvents>(answerAtFirstRing);
        SipLineSettings settings;
        settings.listen = {"127.0.0.1", AddressFamily::IPv4, 0};
        settings.ringEvery = ringEvery;
        line_ = std::make_unique<SipLine>("sip1", settings, devices_, 90, 91, audio_, problems_);
        events_->SetLine(*line_);
        line_->Attach(events_.get());
        ASSERT_NE(line_->ListeningPort(), 0) << problems_.str();
    }

    void TearDown() override {
        if (line_) {
            line_->Attach(nullptr);
            line_.reset();
        }
    }

    // Starts sipp on one call of `scenario` against the line.
    std::unique_ptr<ChildProcess> StartCaller(const std::string& scenario,
                                              std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{"-sf",
                                           std::string(PORTHOLD_SIPP_SCENARIOS) + "/" + scenario,
                                           "127.0.0.1:" + std::to_string(line_->ListeningPort()),
                                           "-i",
                                           "127.0.0.1",
                                           "-m",
                                           "1",
                                           "-timeout",
                                           "8",
                                           "-timeout_error",
                                           "-nostdin"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return std::make_unique<ChildProcess>(PORTHOLD_SIPP_PROGRAM, arguments, folder_.Path(),
                                              testing::CurrentEnvironment(), folder_.File("sipp"));
    }

    // sipp's exit status once its call is over.
    int FinishCaller(ChildProcess& caller) {
        const int status = caller.Wait(10000);
        if (status != 0) {
            ADD_FAILURE() << "sipp: " << caller.Output() << caller.Errors()
                          << "\nline: " << problems_.str();
        }
        return status;
    }

    int RunCaller(const std::string& scenario) { return FinishCaller(*StartCaller(scenario)); }

    testing::TemporaryFolder folder_;
    testing::NoWaveDevices devices_;
    RecordingAudio audio_;
    std::ostringstream problems_;
    std::unique_ptr<RecordingEvents> events_;
    std::unique_ptr<SipLine> line_;
};

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
