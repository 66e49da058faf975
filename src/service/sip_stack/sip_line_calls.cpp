// A SipLine's calls: the SIP dialogue with the caller, on the libre thread.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <utility>

#include "service/sip/sip_info_dtmf.h"
#include "service/sip_stack/sip_line.h"
#include "service/sip_stack/sip_line_call.h"

namespace porthold::service {
namespace {

// Sent with every answer, so that the caller knows keys may come as INFO.
constexpr const char* kAllowHeader = "Allow: INVITE, ACK, BYE, CANCEL, INFO\r\n";
constexpr const char* kContactUser = "porthold";
constexpr std::chrono::milliseconds kShortestRingCadence{50};

std::string_view Text(const pl& text) {
    return text.p == nullptr ? std::string_view() : std::string_view(text.p, text.l);
}

}  // namespace

void SipLine::OnInvite(const sip_msg* message, void* arg) {
    static_cast<SipLine*>(arg)->IncomingInvite(*message);
}

void SipLine::OnInfo(struct ::sip* stack, const sip_msg* message, void* arg) {
    static_cast<SipLine*>(arg)->InfoReceived(stack, *message);
}

void SipLine::OnClose(int error, const sip_msg* /*message*/, void* arg) {
    static_cast<SipLine*>(arg)->Closed(error);
}

void SipLine::OnRingTimer(void* arg) {
    static_cast<SipLine*>(arg)->RingNow();
}

void SipLine::OnReleaseTimer(void* arg) {
    static_cast<SipLine*>(arg)->ended_.clear();
}

void SipLine::OnFloodTimer(void* arg) {
    static_cast<SipLine*>(arg)->CheckFlood();
}

// Only new INVITEs come here: libre's transactions take the retransmissions
// and its sessions the requests within a dialog.
void SipLine::IncomingInvite(const sip_msg& message) {
    if (!AdmitInvite()) {
        return;
    }
    if (call_) {
        (void)sip_treply(nullptr, stack_.get(), &message, 486, "Busy Here");
        return;
    }
    auto call = std::make_unique<ActiveCall>();
    const auto media = call->sdp.ReadOffer(mediaAddress_, message.mb);
    if (!media) {
        Report("refused a call whose offer has no G.711 audio (PCMU or PCMA)");
        (void)sip_treply(nullptr, stack_.get(), &message, 488, "Not Acceptable Here");
        return;
    }
    call->media = *media;
    call->id = ++lastCall_;
    OfferResult offer = OfferResult::Busy;
    Tell([&](LineEvents& events) { offer = events.IncomingCall(call->id); });
    if (offer == OfferResult::Busy) {
        (void)sip_treply(nullptr, stack_.get(), &message, 486, "Busy Here");
        return;
    }
    const FarEndCallId id = call->id;
    if (!Offer(message, std::move(call))) {
        Report("could not take a call");
        (void)sip_treply(nullptr, stack_.get(), &message, 500, "Server Internal Error");
        Tell([&](LineEvents& events) { events.FarEndHungUp(id); });
        return;
    }
    RingNow();
}

// Whether to answer the INVITE that has come, or drop it unanswered, leaving
// nothing behind. The time is libre's, which its timers run on, as the line's
// other timers do.
bool SipLine::AdmitInvite() {
    switch (floodGuard_.Admit(tmr_jiffies())) {
        case sip::InviteFloodGuard::Verdict::Answer:
            return true;
        case sip::InviteFloodGuard::Verdict::DropAndFloodBegins:
            Report("a flood of INVITEs; answering " +
                   std::to_string(sip::InviteFloodGuard::kMostAnsweredPerWindow) +
                   " a second and dropping the rest until it ends");
            tmr_start(&floodTimer_, sip::InviteFloodGuard::kWindowMilliseconds,
                      &SipLine::OnFloodTimer, this);
            return false;
        case sip::InviteFloodGuard::Verdict::Drop:
            break;
    }
    return false;
}

void SipLine::CheckFlood() {
    if (const auto flood = floodGuard_.EndIfQuiet(tmr_jiffies())) {
        ReportFloodOver(*flood);
        return;
    }
    tmr_start(&floodTimer_, sip::InviteFloodGuard::kWindowMilliseconds, &SipLine::OnFloodTimer,
              this);
}

void SipLine::ReportFloodOver(const sip::InviteFloodGuard::Flood& flood) {
    Report("the flood of INVITEs is over; " + std::to_string(flood.dropped) + " dropped, " +
           std::to_string(flood.answered) + " answered meanwhile");
}

// Tells the caller the line is ringing, and makes the call the line's.
bool SipLine::Offer(const sip_msg& message, std::unique_ptr<ActiveCall> call) {
    const char* contactUser = settings_.user.empty() ? kContactUser : settings_.user.c_str();
    sipsess* session = nullptr;
    if (sipsess_accept(&session, sessions_.get(), &message, 180, "Ringing", contactUser,
                       "application/sdp", nullptr, nullptr, nullptr, false, nullptr, nullptr,
                       nullptr, &SipLine::OnInfo, nullptr, &SipLine::OnClose, this, "%s",
                       kAllowHeader) != 0) {
        return false;
    }
    call->session.reset(session);
    call_ = std::move(call);
    return true;
}

// One ring now, the next one a cadence later, until the call is answered or
// over. The service counts the rings from the first.
void SipLine::RingNow() {
    if (!call_ || call_->answered) {
        return;
    }
    const FarEndCallId id = call_->id;
    // A cadence of nothing would ring without pause and starve the thread.
    const auto cadence = std::max(settings_.ringEvery, kShortestRingCadence);
    tmr_start(&call_->ringTimer, static_cast<std::uint64_t>(cadence.count()), &SipLine::OnRingTimer,
              this);
    Tell([&](LineEvents& events) { events.Ring(id); });
}

void SipLine::Answer(FarEndCallId id) {
    if (!call_ || call_->id != id || call_->answered) {
        return;
    }
    call_->answered = true;
    tmr_cancel(&call_->ringTimer);
    if (!OpenMediaAndAnswer(*call_)) {
        Report("could not answer a call");
        // The service holds the call as answered; to it, the caller has gone.
        EndCall(false);
        Tell([&](LineEvents& events) { events.FarEndHungUp(id); });
        return;
    }
    // Audio flows from the answer on, rather than from the caller's ACK: the
    // program starts speaking as soon as it has answered, and the caller may
    // take media once it has the answer.
    frameSender_->Begin(id, call_->media.law);
    call_->audioBegun = true;
    audio_.BeginCallAudio(*frameSender_);
}

bool SipLine::OpenMediaAndAnswer(ActiveCall& call) {
    call.receiver = std::make_unique<CallReceiver>(*this, call.id);
    call.rtp = std::make_unique<sip::RtpStream>(call.media, *call.receiver);
    if (!call.rtp->Open(mediaAddress_)) {
        return false;
    }
    const auto answer = call.sdp.Encode(call.rtp->LocalPort());
    return answer != nullptr &&
           sipsess_answer(call.session.get(), 200, "OK", answer.get(), "%s", kAllowHeader) == 0;
}

void SipLine::KeyPressed(FarEndCallId call, char key) {
    // Keys before the answer are lost, as on any telephone line.
    if (!call_ || call_->id != call || !call_->answered) {
        return;
    }
    Tell([&](LineEvents& events) { events.KeyPressed(call, key, KeyMode::Dtmf); });
}

void SipLine::InfoReceived(struct ::sip* stack, const sip_msg& message) {
    // INFO carries other things than keys; those are declined, while a key
    // the line cannot read is only lost.
    if (!msg_ctype_cmp(&message.ctyp, "application", "dtmf-relay") &&
        !msg_ctype_cmp(&message.ctyp, "application", "dtmf")) {
        (void)sip_treply(nullptr, stack, &message, 415, "Unsupported Media Type");
        return;
    }
    (void)sip_treply(nullptr, stack, &message, 200, "OK");
    const sip_hdr* contentType = sip_msg_hdr(&message, SIP_HDR_CONTENT_TYPE);
    const std::string_view body(reinterpret_cast<const char*>(mbuf_buf(message.mb)),
                                mbuf_get_left(message.mb));
    const auto key =
        contentType == nullptr ? std::nullopt : sip::KeyFromSipInfo(Text(contentType->val), body);
    if (key && call_) {
        KeyPressed(call_->id, *key);
    }
}

void SipLine::Closed(int error) {
    if (!call_) {
        return;
    }
    // A BYE or CANCEL ends with ECONNRESET; anything else is a failure.
    if (error != ECONNRESET) {
        Report("a call ended: " + std::string(std::strerror(error)));
    }
    EndCall(true);
}

// Ends the call in progress. Ended by the caller, the session is already
// closed and only freed later, outside libre's handler; ended by the line,
// freeing it sends the BYE (or, while it rings, a final "486 Busy Here").
void SipLine::EndCall(bool byFarEnd) {
    std::unique_ptr<ActiveCall> call = std::move(call_);
    tmr_cancel(&call->ringTimer);
    if (call->audioBegun) {
        frameSender_->End();
        audio_.EndCallAudio();
    }
    call->rtp.reset();
    if (byFarEnd) {
        ended_.push_back(std::move(call->session));
        tmr_start(&releaseTimer_, 0, &SipLine::OnReleaseTimer, this);
        Tell([&](LineEvents& events) { events.FarEndHungUp(call->id); });
    }
}

}  // namespace porthold::service
