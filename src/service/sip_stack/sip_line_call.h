#pragma once

// The parts of a SipLine's call that only its own sources see.

#include <atomic>
#include <memory>

#include "service/sip/g711.h"
#include "service/sip_stack/sip_line.h"

namespace porthold::service {

// What the caller's RTP brings, handed to the line and its voice channel.
class SipLine::CallReceiver final : public sip::RtpReceiver {
public:
    CallReceiver(SipLine& line, FarEndCallId call) : line_(line), call_(call) {}
    void ReceivedAudio(std::uint16_t sequence, std::uint32_t timestamp,
                       std::span<const std::int16_t> samples) override;
    void ReceivedKey(char key) override { line_.KeyPressed(call_, key); }

private:
    SipLine& line_;
    FarEndCallId call_;
};

// The call in progress, on the libre thread.
struct SipLine::ActiveCall {
    ActiveCall() { tmr_init(&ringTimer); }
    ~ActiveCall() { tmr_cancel(&ringTimer); }
    ActiveCall(const ActiveCall&) = delete;
    ActiveCall& operator=(const ActiveCall&) = delete;

    FarEndCallId id = 0;
    sip::SdpAnswer sdp;
    sip::NegotiatedMedia media;
    sip::LibrePtr<sipsess> session;
    std::unique_ptr<CallReceiver> receiver;
    std::unique_ptr<sip::RtpStream> rtp;
    tmr ringTimer{};
    bool answered = false;
    bool audioBegun = false;
};

// The program's audio, from the voice channel's pacing thread to the caller.
// Each frame is encoded where it arrives and sent by a job on the libre
// thread; a libre thread that falls behind loses frames rather than letting
// them pile up in its job queue.
class SipLine::RtpFrameSender final : public sip::FrameSender {
public:
    static constexpr int kMostFramesInFlight = 8;

    explicit RtpFrameSender(SipLine& line) : line_(line) {}

    void Begin(FarEndCallId call, sip::G711Law law) {
        law_.store(law);
        call_.store(call);
    }
    void End() { call_.store(0); }
    void SendFrame(const sip::OutgoingFrame& frame) override;

private:
    SipLine& line_;
    std::atomic<FarEndCallId> call_{0};
    std::atomic<sip::G711Law> law_{sip::G711Law::MuLaw};
    std::atomic<int> inFlight_{0};
};

}  // namespace porthold::service
