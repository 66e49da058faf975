#pragma once

#include <cstdint>
#include <optional>

namespace porthold::service::sip {

// Bounds how many new INVITEs a line answers in each second. Every INVITE
// answered, even with "486 Busy Here", leaves libre a server transaction that
// retransmits its reply and lives until the caller's ACK or for 32 s, so a
// peer that sends INVITEs as fast as it can and never acknowledges would make
// the line's memory and work grow with its rate. Past the bound the line drops
// INVITEs without a reply and without a transaction; a genuine caller caught
// in the flood retransmits its INVITE and gets through once it is over.
//
// Retransmissions and requests within a dialog never reach the guard: libre's
// transactions and sessions take them first, so the call in progress goes on.
// Time is in milliseconds from any clock; a clock that steps back starts a new
// window rather than holding the line shut.
class InviteFloodGuard {
public:
    // A line takes one call at a time, and genuine callers send it a few new
    // INVITEs a minute. Twenty a second leaves room for a burst of them while
    // keeping a flood to at most 640 live transactions (20 for each of the
    // 32 s they live) and their retransmitted replies.
    static constexpr std::uint32_t kMostAnsweredPerWindow = 20;
    static constexpr std::uint64_t kWindowMilliseconds = 1000;

    enum class Verdict { Answer, Drop, DropAndFloodBegins };

    // One flood, from its first dropped INVITE until a window without a drop.
    struct Flood {
        std::uint64_t dropped = 0;
        std::uint64_t answered = 0;
    };

    Verdict Admit(std::uint64_t nowMilliseconds);
    // The flood under way, once a whole window has passed since its last drop.
    std::optional<Flood> EndIfQuiet(std::uint64_t nowMilliseconds);
    // The flood under way, at once (the line closing).
    std::optional<Flood> End();

private:
    std::optional<std::uint64_t> windowStart_;
    std::uint32_t answeredInWindow_ = 0;
    bool flooding_ = false;
    std::uint64_t lastDrop_ = 0;
    Flood flood_;
};

}  // namespace porthold::service::sip
