#include "service/sip/g711.h"

#include <algorithm>
#include <array>
#include <bit>

namespace porthold::service::sip {
namespace {

// µ-law adds this bias to the magnitude so that every segment starts at a
// power of two, and clips the magnitude so the biased value stays in 15 bits.
constexpr int kMuLawBias = 0x84;
constexpr int kMuLawClip = 32635;

constexpr std::int16_t DecodeMuLaw(std::uint8_t code) {
    const int complemented = static_cast<std::uint8_t>(~code);
    const int exponent = (complemented >> 4) & 0x07;
    const int magnitude = (((complemented & 0x0F) << 3) + kMuLawBias) << exponent;
    const int value = (complemented & 0x80) != 0 ? kMuLawBias - magnitude : magnitude - kMuLawBias;
    return static_cast<std::int16_t>(value);
}

constexpr std::int16_t DecodeALaw(std::uint8_t code) {
    // A-law inverts the even bits on the line so that silence is not a run
    // of zeros.
    const int value = code ^ 0x55;
    const int segment = (value >> 4) & 0x07;
    int magnitude = (value & 0x0F) << 4;
    if (segment == 0) {
        magnitude += 8;
    } else {
        magnitude = (magnitude + 0x108) << (segment - 1);
    }
    return static_cast<std::int16_t>((value & 0x80) != 0 ? magnitude : -magnitude);
}

template <std::int16_t (*Decode)(std::uint8_t)>
constexpr std::array<std::int16_t, 256> MakeTable() {
    std::array<std::int16_t, 256> table{};
    for (int code = 0; code < 256; ++code) {
        table[static_cast<std::size_t>(code)] = Decode(static_cast<std::uint8_t>(code));
    }
    return table;
}

constexpr auto kMuLawTable = MakeTable<DecodeMuLaw>();
constexpr auto kALawTable = MakeTable<DecodeALaw>();

}  // namespace

std::uint8_t MuLawFromLinear(std::int16_t sample) {
    const int sign = sample < 0 ? 0x80 : 0x00;
    const int magnitude = std::min(sample < 0 ? -int{sample} : int{sample}, kMuLawClip);
    const int biased = magnitude + kMuLawBias;
    // The biased value lies in [2^7, 2^15), so the exponent is 0 to 7.
    const int exponent = static_cast<int>(std::bit_width(static_cast<unsigned>(biased))) - 8;
    const int mantissa = (biased >> (exponent + 3)) & 0x0F;
    return static_cast<std::uint8_t>(~(sign | (exponent << 4) | mantissa));
}

std::int16_t LinearFromMuLaw(std::uint8_t code) {
    return kMuLawTable[code];
}

std::uint8_t ALawFromLinear(std::int16_t sample) {
    // A-law works on 13 bits; negative values are taken as their one's
    // complement, which keeps -32768 in range.
    const int sign = sample >= 0 ? 0x80 : 0x00;
    const int magnitude = (sample >= 0 ? int{sample} : -int{sample} - 1) >> 3;
    const int segment =
        std::max(0, static_cast<int>(std::bit_width(static_cast<unsigned>(magnitude))) - 5);
    const int mantissa = (magnitude >> std::max(1, segment)) & 0x0F;
    return static_cast<std::uint8_t>((sign | (segment << 4) | mantissa) ^ 0x55);
}

std::int16_t LinearFromALaw(std::uint8_t code) {
    return kALawTable[code];
}

std::size_t EncodeG711(G711Law law, std::span<const std::int16_t> samples,
                       std::span<std::uint8_t> codes) {
    const std::size_t count = std::min(samples.size(), codes.size());
    const auto encode = law == G711Law::MuLaw ? MuLawFromLinear : ALawFromLinear;
    std::transform(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(count),
                   codes.begin(), encode);
    return count;
}

std::size_t DecodeG711(G711Law law, std::span<const std::uint8_t> codes,
                       std::span<std::int16_t> samples) {
    const std::size_t count = std::min(samples.size(), codes.size());
    const auto& table = law == G711Law::MuLaw ? kMuLawTable : kALawTable;
    for (std::size_t index = 0; index < count; ++index) {
        samples[index] = table[codes[index]];
    }
    return count;
}

}  // namespace porthold::service::sip
