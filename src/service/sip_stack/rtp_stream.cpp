#include "service/sip_stack/rtp_stream.h"

#include <netinet/in.h>

#include <array>

#include "service/sip/g711.h"

namespace porthold::service::sip {
namespace {

constexpr std::uint16_t kFirstRtpPort = 16384;
constexpr std::uint16_t kLastRtpPort = 32766;

}  // namespace

RtpStream::RtpStream(const NegotiatedMedia& media, RtpReceiver& receiver)
    : media_(media), receiver_(receiver) {}

bool RtpStream::Open(const sa& localAddress) {
    struct rtp_sock* socket = nullptr;
    // RTCP's port is opened too, so that the caller's reports are taken in
    // quietly rather than answered with ICMP errors.
    if (rtp_listen(&socket, IPPROTO_UDP, &localAddress, kFirstRtpPort, kLastRtpPort, true,
                   &RtpStream::OnPacket, nullptr, this) != 0) {
        return false;
    }
    socket_.reset(socket);
    return true;
}

std::uint16_t RtpStream::LocalPort() const {
    return socket_ ? sa_port(rtp_local(socket_.get())) : 0;
}

void RtpStream::Send(std::span<const std::uint8_t> codes, std::uint32_t timestamp,
                     RtpMarker marker) {
    if (!socket_) {
        return;
    }
    LibrePtr<mbuf> packet(mbuf_alloc(RTP_HEADER_SIZE + codes.size()));
    if (!packet) {
        return;
    }
    // rtp_send writes the header into the room left before the payload.
    packet->pos = RTP_HEADER_SIZE;
    packet->end = RTP_HEADER_SIZE;
    if (mbuf_write_mem(packet.get(), codes.data(), codes.size()) != 0) {
        return;
    }
    packet->pos = RTP_HEADER_SIZE;
    (void)rtp_send(socket_.get(), &media_.remote, false, marker == RtpMarker::Set,
                   media_.audioPayloadType, timestamp, packet.get());
}

void RtpStream::OnPacket(const sa* source, const rtp_header* header, mbuf* packet, void* arg) {
    auto* stream = static_cast<RtpStream*>(arg);
    if (source == nullptr || header == nullptr || packet == nullptr ||
        !sa_cmp(source, &stream->media_.remote, SA_ALL)) {
        return;
    }
    stream->Receive(*header,
                    std::span<const std::uint8_t>(mbuf_buf(packet), mbuf_get_left(packet)));
}

void RtpStream::Receive(const rtp_header& header, std::span<const std::uint8_t> payload) {
    if (media_.eventPayloadType && header.pt == *media_.eventPayloadType) {
        const auto key =
            keys_.Receive(header.ts, header.m ? RtpMarker::Set : RtpMarker::Clear, payload);
        if (key) {
            receiver_.ReceivedKey(*key);
        }
        return;
    }
    if (header.pt != media_.audioPayloadType || payload.empty() ||
        payload.size() > kMaxPacketSamples) {
        return;
    }
    std::array<std::int16_t, kMaxPacketSamples> samples{};
    const std::size_t count = DecodeG711(media_.law, payload, samples);
    receiver_.ReceivedAudio(header.seq, header.ts, std::span(samples.data(), count));
}

}  // namespace porthold::service::sip
