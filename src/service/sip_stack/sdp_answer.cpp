#include "service/sip_stack/sdp_answer.h"

#include <string_view>

namespace porthold::service::sip {
namespace {

constexpr std::uint32_t kSampleRate = 8000;

bool NameIs(const sdp_format& format, const char* name) {
    return format.name != nullptr && str_casecmp(format.name, name) == 0;
}

bool IsG711(const sdp_format& format) {
    return NameIs(format, "PCMU") || NameIs(format, "PCMA");
}

bool IsUsablePayloadType(int payloadType) {
    return payloadType >= 0 && payloadType <= 127;
}

}  // namespace

bool SdpAnswer::AddFormats() {
    // Static payload types for the two laws; 101 is only the number offered
    // for telephone-events, since the caller's own number replaces it.
    return sdp_media_add(&media_, session_.get(), "audio", 0, "RTP/AVP") == 0 &&
           sdp_format_add(nullptr, media_, false, "0", "PCMU", kSampleRate, 1, nullptr, nullptr,
                          nullptr, false, nullptr) == 0 &&
           sdp_format_add(nullptr, media_, false, "8", "PCMA", kSampleRate, 1, nullptr, nullptr,
                          nullptr, false, nullptr) == 0 &&
           sdp_format_add(nullptr, media_, false, "101", "telephone-event", kSampleRate, 1, nullptr,
                          nullptr, nullptr, false, "0-15") == 0;
}

std::optional<NegotiatedMedia> SdpAnswer::ReadOffer(const sa& localAddress, mbuf* offer) {
    sdp_session* session = nullptr;
    if (offer == nullptr || mbuf_get_left(offer) == 0 ||
        sdp_session_alloc(&session, &localAddress) != 0) {
        return std::nullopt;
    }
    session_.reset(session);
    media_ = nullptr;
    if (!AddFormats() || sdp_decode(session_.get(), offer, true) != 0) {
        return std::nullopt;
    }
    NegotiatedMedia negotiated;
    negotiated.remote = *sdp_media_raddr(media_);
    if (!sa_isset(&negotiated.remote, SA_ALL) ||
        sa_af(&negotiated.remote) != sa_af(&localAddress)) {
        return std::nullopt;
    }
    // After decoding, the supported local formats stand in the caller's order
    // and carry the caller's payload type numbers.
    sdp_format* chosen = nullptr;
    const list* formats = sdp_media_format_lst(media_, true);
    for (le* element = formats->head; element != nullptr; element = element->next) {
        auto* format = static_cast<sdp_format*>(element->data);
        if (!format->sup || !IsUsablePayloadType(format->pt)) {
            continue;
        }
        if (IsG711(*format)) {
            if (chosen == nullptr) {
                chosen = format;
            } else {
                // One codec in the answer, so that the caller never switches.
                format->sup = false;
            }
        } else if (NameIs(*format, "telephone-event")) {
            negotiated.eventPayloadType = static_cast<std::uint8_t>(format->pt);
        }
    }
    if (chosen == nullptr) {
        return std::nullopt;
    }
    negotiated.law = NameIs(*chosen, "PCMA") ? G711Law::ALaw : G711Law::MuLaw;
    negotiated.audioPayloadType = static_cast<std::uint8_t>(chosen->pt);
    return negotiated;
}

LibrePtr<mbuf> SdpAnswer::Encode(std::uint16_t rtpPort) {
    if (media_ == nullptr) {
        return nullptr;
    }
    sdp_media_set_lport(media_, rtpPort);
    mbuf* answer = nullptr;
    if (sdp_encode(&answer, session_.get(), false) != 0) {
        return nullptr;
    }
    return LibrePtr<mbuf>(answer);
}

}  // namespace porthold::service::sip
