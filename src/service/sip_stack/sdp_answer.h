#pragma once

#include <cstdint>
#include <optional>

#include "service/sip/g711.h"
#include "service/sip_stack/libre.h"
#include "service/sip_stack/libre_ptr.h"

namespace porthold::service::sip {

// What the offer/answer exchange settled for a call's audio.
struct NegotiatedMedia {
    G711Law law = G711Law::MuLaw;
    // The payload types as the caller numbered them; the answer keeps them.
    std::uint8_t audioPayloadType = 0;
    std::optional<std::uint8_t> eventPayloadType;
    // Where the caller receives RTP, and the only source its RTP is taken from.
    sa remote{};
};

// The answering side of a call's offer/answer exchange (RFC 3264): one audio
// stream with G.711 in either law, and telephone-events for the caller's
// keys. Lives and dies on the libre thread.
class SdpAnswer {
public:
    // Reads the caller's offer. Nothing when the offer is malformed or has no
    // usable audio stream with PCMU or PCMA; otherwise the law the caller
    // lists first, which becomes the only codec of the answer.
    std::optional<NegotiatedMedia> ReadOffer(const sa& localAddress, mbuf* offer);

    // The answer, with RTP on `rtpPort`; null when it could not be written.
    LibrePtr<mbuf> Encode(std::uint16_t rtpPort);

private:
    bool AddFormats();

    LibrePtr<sdp_session> session_;
    sdp_media* media_ = nullptr;  // belongs to session_
};

}  // namespace porthold::service::sip
