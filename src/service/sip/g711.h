#pragma once

// G.711 µ-law (PCMU, payload type 0) and A-law (PCMA, payload type 8): the two
// codecs every SIP telephone line offers. The encoders follow the standard's
// segment algorithm, so the codes match what any other G.711 end point sends.

#include <cstddef>
#include <cstdint>
#include <span>

namespace porthold::service::sip {

enum class G711Law { MuLaw, ALaw };

std::uint8_t MuLawFromLinear(std::int16_t sample);
std::int16_t LinearFromMuLaw(std::uint8_t code);
std::uint8_t ALawFromLinear(std::int16_t sample);
std::int16_t LinearFromALaw(std::uint8_t code);

// Whole frames. Both convert as many values as the shorter span holds and
// return that count, so a mismatched output never overruns.
std::size_t EncodeG711(G711Law law, std::span<const std::int16_t> samples,
                       std::span<std::uint8_t> codes);
std::size_t DecodeG711(G711Law law, std::span<const std::uint8_t> codes,
                       std::span<std::int16_t> samples);

}  // namespace porthold::service::sip
