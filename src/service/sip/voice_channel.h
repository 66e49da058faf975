#pragma once

// Where the voice channel of a SIP line meets the network. The channel (the
// line's two wave devices) turns what the program plays into paced 20 ms
// frames and fills the program's recording buffers from what the caller
// sends; the line's call control carries both over RTP. Neither side knows the
// other's insides.

#include <cstdint>
#include <span>

#include "service/sip/send_pacer.h"

namespace porthold::service::sip {

// The network side of a call's audio, as the channel sees it. Implemented by
// the line's call control over RTP; the channel calls it from its own pacing
// thread (on a virtual clock, from the thread that moves time), so an
// implementation only hands the frame on (for example, posts it to the libre
// thread) and never blocks or calls back into the channel.
class FrameSender {
public:
    virtual ~FrameSender() = default;
    // One frame of 160 linear samples (20 ms) for the caller, numbered as RTP
    // wants it; the sender encodes it with the call's codec.
    virtual void SendFrame(const OutgoingFrame& frame) = 0;
};

// The channel's side, as the call control sees it. Thread-safe.
class CallAudio {
public:
    virtual ~CallAudio() = default;
    // A call's audio begins: frames go to `sender` (which must stay valid
    // until EndCallAudio returns) and the caller's audio is awaited.
    virtual void BeginCallAudio(FrameSender& sender) = 0;
    // One received RTP packet of the call, already decoded to 8000 Hz linear
    // samples. Packets may arrive late, twice or out of order.
    virtual void ReceiveAudio(std::uint16_t sequence, std::uint32_t timestamp,
                              std::span<const std::int16_t> samples) = 0;
    // The call's audio has ended: nothing more is sent, and what the program
    // still plays or records runs on silence until it stops. Frames handed
    // out before have reached the sender when this returns.
    virtual void EndCallAudio() = 0;
};

}  // namespace porthold::service::sip
