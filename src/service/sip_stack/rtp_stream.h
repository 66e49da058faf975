#pragma once

#include <cstdint>
#include <span>

#include "service/sip/media_frame.h"
#include "service/sip/telephone_event.h"
#include "service/sip_stack/libre.h"
#include "service/sip_stack/libre_ptr.h"
#include "service/sip_stack/sdp_answer.h"

namespace porthold::service::sip {

// Told what arrives on a call's RTP stream, on the libre thread.
class RtpReceiver {
public:
    virtual ~RtpReceiver() = default;
    // One packet of the caller's audio, decoded to 8000 Hz linear samples.
    virtual void ReceivedAudio(std::uint16_t sequence, std::uint32_t timestamp,
                               std::span<const std::int16_t> samples) = 0;
    // One key press, reported once however many packets carried it.
    virtual void ReceivedKey(char key) = 0;
};

// A call's RTP stream, as the offer/answer exchange settled it. Packets from
// anywhere but the caller's negotiated address, and payload types other than
// the negotiated two, are dropped unread. Lives and dies on the libre thread.
class RtpStream {
public:
    // The longest packet decoded: 120 ms. Longer ones are no telephone
    // line's, and are dropped rather than cut.
    static constexpr std::size_t kMaxPacketSamples = 960;

    RtpStream(const NegotiatedMedia& media, RtpReceiver& receiver);

    // Opens the socket on `localAddress`, on an even port of the usual RTP
    // range; false when none was free.
    bool Open(const sa& localAddress);
    std::uint16_t LocalPort() const;

    // Sends one frame of the program's audio, encoded with the call's law.
    void Send(std::span<const std::uint8_t> codes, std::uint32_t timestamp, RtpMarker marker);

private:
    static void OnPacket(const sa* source, const rtp_header* header, mbuf* packet, void* arg);
    void Receive(const rtp_header& header, std::span<const std::uint8_t> payload);

    NegotiatedMedia media_;
    RtpReceiver& receiver_;
    DtmfEventFilter keys_;
    LibrePtr<struct rtp_sock> socket_;
};

}  // namespace porthold::service::sip
