#pragma once

// What the tests of a SIP line share: the service and voice channel the line
// reports to, a UDP peer on the loopback, and sipp playing the callers.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <streambuf>
#include <string>
#include <vector>

#include "service/sip_stack/sip_line.h"
#include "sip_test_support.h"
#include "support/child_process.h"
#include "support/temporary_folder.h"

namespace porthold::service::line_testing {

using testing::ChildProcess;
using testing::WaitFor;

inline constexpr std::uint32_t kWaitLimit = 5000;

// What the line told the service, in order, as text ("ring 1", "key 1 5"...).
// Answers each call at its first ring when asked to, as the program would.
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
        if (answer_ && answered_.insert(call).second) {
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
    std::set<FarEndCallId> answered_;
};

class RecordingAudio final : public sip::CallAudio {
public:
    void BeginCallAudio(sip::FrameSender& sender) override {
        const std::lock_guard lock(mutex_);
        ++begun_;
        sender_ = &sender;
        // A frame at once, as a greeting would start, to exercise sending.
        sender.SendFrame(sip::OutgoingFrame{});
    }
    // One more frame of silence to the caller of the call in progress.
    void SendFrame() {
        const std::lock_guard lock(mutex_);
        if (sender_ != nullptr) {
            sender_->SendFrame(sip::OutgoingFrame{});
        }
    }
    void ReceiveAudio(std::uint16_t, std::uint32_t, std::span<const std::int16_t>) override {}
    void EndCallAudio() override {
        const std::lock_guard lock(mutex_);
        ++ended_;
        sender_ = nullptr;
    }
    std::pair<int, int> BegunAndEnded() const {
        const std::lock_guard lock(mutex_);
        return {begun_, ended_};
    }

private:
    mutable std::mutex mutex_;
    sip::FrameSender* sender_ = nullptr;
    int begun_ = 0;
    int ended_ = 0;
};

// The line's problems, written on its thread and read by the test's. The
// buffer has no put area, so every character written comes through the lock.
class ProblemLines final : public std::ostream {
public:
    ProblemLines() : std::ostream(&buffer_) {}
    std::string str() const {
        const std::lock_guard lock(buffer_.mutex);
        return buffer_.text;
    }

private:
    struct LockedBuffer final : std::streambuf {
        std::streamsize xsputn(const char* characters, std::streamsize count) override {
            const std::lock_guard lock(mutex);
            text.append(characters, static_cast<std::size_t>(count));
            return count;
        }
        int_type overflow(int_type character) override {
            if (!traits_type::eq_int_type(character, traits_type::eof())) {
                const std::lock_guard lock(mutex);
                text.push_back(traits_type::to_char_type(character));
            }
            return traits_type::not_eof(character);
        }
        mutable std::mutex mutex;
        std::string text;
    };
    LockedBuffer buffer_;
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
inline std::string TelephoneEventPacket(std::uint16_t sequence, std::uint32_t timestamp, bool first,
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

    // Starts sipp on `calls` calls of `scenario` against the line.
    std::unique_ptr<ChildProcess> StartCaller(const std::string& scenario,
                                              std::vector<std::string> extra = {}, int calls = 1) {
        std::vector<std::string> arguments{"-sf",
                                           std::string(PORTHOLD_SIPP_SCENARIOS) + "/" + scenario,
                                           "127.0.0.1:" + std::to_string(line_->ListeningPort()),
                                           "-i",
                                           "127.0.0.1",
                                           "-m",
                                           std::to_string(calls),
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
    ProblemLines problems_;
    std::unique_ptr<RecordingEvents> events_;
    std::unique_ptr<SipLine> line_;
};

}  // namespace porthold::service::line_testing
