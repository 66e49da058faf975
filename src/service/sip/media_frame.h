#pragma once

// What the receiving and the sending side of a call's audio share: 20 ms
// frames of 16-bit samples at 8000 a second, the size of an RTP packet of a
// G.711 telephone line, and the RTP marker bit.

#include <array>
#include <cstddef>
#include <cstdint>

namespace porthold::service::sip {

inline constexpr std::size_t kFrameSamples = 160;
inline constexpr std::uint32_t kFrameMilliseconds = 20;
using AudioFrame = std::array<std::int16_t, kFrameSamples>;

// Set on the first packet of a talk spurt, and of a telephone-event.
enum class RtpMarker { Clear, Set };

}  // namespace porthold::service::sip
