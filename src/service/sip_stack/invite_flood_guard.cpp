#include "service/sip_stack/invite_flood_guard.h"

namespace porthold::service::sip {

InviteFloodGuard::Verdict InviteFloodGuard::Admit(std::uint64_t now) {
    if (!windowStart_ || now < *windowStart_ || now - *windowStart_ >= kWindowMilliseconds) {
        windowStart_ = now;
        answeredInWindow_ = 0;
    }
    if (answeredInWindow_ < kMostAnsweredPerWindow) {
        ++answeredInWindow_;
        if (flooding_) {
            ++flood_.answered;
        }
        return Verdict::Answer;
    }
    lastDrop_ = now;
    ++flood_.dropped;
    if (flooding_) {
        return Verdict::Drop;
    }
    flooding_ = true;
    return Verdict::DropAndFloodBegins;
}

std::optional<InviteFloodGuard::Flood> InviteFloodGuard::EndIfQuiet(std::uint64_t now) {
    if (now < lastDrop_) {
        // The clock stepped back: the quiet is measured from here on.
        lastDrop_ = now;
    }
    if (!flooding_ || now - lastDrop_ < kWindowMilliseconds) {
        return std::nullopt;
    }
    return End();
}

std::optional<InviteFloodGuard::Flood> InviteFloodGuard::End() {
    if (!flooding_) {
        return std::nullopt;
    }
    flooding_ = false;
    const Flood ended = flood_;
    flood_ = {};
    return ended;
}

}  // namespace porthold::service::sip
