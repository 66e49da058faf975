#pragma once

// The sample formats a voice modem offers for its voice channel, as it lists
// them in answer to AT+VSM=?, and the conversion between the chosen one and
// the program's 16-bit samples. Modems number their formats differently (one
// chip's 128 is another's 1 or 130), so a format is recognised by its name and
// bit count, never by its number.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace porthold::service::modem {

enum class SampleEncoding {
    UnsignedLinear8,  // 0x80 is silence ("8-BIT LINEAR", "UNSIGNED PCM")
    SignedLinear8,    // 0 is silence ("SIGNED PCM" with 8 bits)
    MuLaw,            // G.711 µ-law ("ULAW", "G.711U", "G711 MU-LAW")
    ALaw,             // G.711 A-law
    Other,            // ADPCM, 16-bit, anything this program does not speak
};

// One line of the answer to AT+VSM=?, for example
//     128,"8-BIT LINEAR",(7200,8000,11025)
//     1,"UNSIGNED PCM",8,0,(7200,8000,11025),(0),(0)
struct CompressionOffer {
    int number = 0;
    std::string name;        // as the modem spells it, without the quotes
    int bitsPerSample = 0;   // from the bit field, or from the name ("8-BIT")
    std::vector<int> rates;  // samples a second; ranges like 7200-11025 are
                             // kept as their two ends, with 8000 between
                             // them when they span it
    SampleEncoding encoding = SampleEncoding::Other;
};

// The offers in the answer's lines. Lines that are not an offer (the echo,
// "OK", blank lines, garbage) are skipped; at most 64 offers are kept.
std::vector<CompressionOffer> ParseCompressionOffers(std::span<const std::string> lines);

// What the line uses: 8-bit linear at 8000 samples a second when offered,
// else µ-law at 8000; none when neither is (the modem is then of no use for
// voice).
struct CompressionChoice {
    int number = 0;
    SampleEncoding encoding = SampleEncoding::Other;
};
std::optional<CompressionChoice> ChooseCompression(std::span<const CompressionOffer> offers);

// "AT+VSM=<number>,8000".
std::string SelectCompressionCommand(const CompressionChoice& choice);

// One byte a sample in both directions. Each appends to `out`.
void DecodeSamples(SampleEncoding encoding, std::span<const std::uint8_t> bytes,
                   std::vector<std::int16_t>& out);
void EncodeSamples(SampleEncoding encoding, std::span<const std::int16_t> samples,
                   std::vector<std::uint8_t>& out);

}  // namespace porthold::service::modem
