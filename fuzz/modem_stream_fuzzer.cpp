// Everything a voice modem sends arrives from a device the program does not
// control, and through it from the telephone network: the shielded audio
// stream, the caller-ID lines, the list of sample formats and the recorded
// audio the tone detector listens to. The same bytes are given to each.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "service/modem/caller_id.h"
#include "service/modem/dle_codec.h"
#include "service/modem/line_tone_detector.h"
#include "service/modem/voice_compression.h"

namespace porthold::fuzz {
namespace {

using namespace service::modem;

class TranscriptSink : public DleReader::Sink {
public:
    void Audio(std::span<const std::uint8_t> bytes) override {
        Require(!bytes.empty(), "audio is never handed on empty");
        transcript.append(bytes.begin(), bytes.end());
    }
    void Event(char code) override {
        Require(code != kDle, "DLE DLE is audio, not an event");
        transcript += std::string{kDle, code};
    }
    std::string transcript;
};

// However the stream is cut, it reads the same as in one piece.
void CheckShielding(std::string_view stream, std::size_t cut) {
    DleReader whole;
    TranscriptSink wholeSink;
    whole.Read(stream, wholeSink);
    DleReader split;
    TranscriptSink splitSink;
    split.Read(stream.substr(0, cut), splitSink);
    split.Read(stream.substr(cut), splitSink);
    Require(wholeSink.transcript == splitSink.transcript, "a cut stream reads the same");
}

bool IsCleanText(const std::string& text) {
    return text.size() <= kLongestCallerIdText &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c <= '~'; });
}

void CheckCallerId(const std::vector<std::string>& lines) {
    CallerIdReader reader;
    for (const std::string& line : lines) {
        reader.TakeLine(line);
        const CallerId& id = reader.Current();
        Require(IsCleanText(id.date) && IsCleanText(id.time) && IsCleanText(id.number.text) &&
                    IsCleanText(id.name.text),
                "caller ID keeps only short printable text");
        Require(id.number.presence == CallerIdPresence::Given || id.number.text.empty(),
                "a withheld number has no text");
    }
}

void CheckCompression(const std::vector<std::string>& lines) {
    const std::vector<CompressionOffer> offers = ParseCompressionOffers(lines);
    Require(offers.size() <= 64, "at most 64 offers");
    for (const CompressionOffer& offer : offers) {
        Require(offer.name.size() <= 64 && offer.rates.size() <= 16, "offers are bounded");
    }
    const auto choice = ChooseCompression(offers);
    if (!choice) {
        return;
    }
    Require(choice->encoding != SampleEncoding::Other, "the choice is a format the line speaks");
    Require(std::any_of(offers.begin(), offers.end(),
                        [&](const CompressionOffer& offer) {
                            return offer.number == choice->number &&
                                   offer.encoding == choice->encoding &&
                                   std::count(offer.rates.begin(), offer.rates.end(), 8000) > 0;
                        }),
            "the choice is one of the offers, at 8000 samples a second");
}

// Pairs of bytes as little-endian 16-bit samples.
std::vector<std::int16_t> SamplesOf(std::string_view bytes) {
    std::vector<std::int16_t> samples;
    for (std::size_t index = 0; index + 1 < bytes.size(); index += 2) {
        const auto low = static_cast<std::uint8_t>(bytes[index]);
        const auto high = static_cast<std::uint8_t>(bytes[index + 1]);
        samples.push_back(static_cast<std::int16_t>(low | high << 8));
    }
    return samples;
}

void CheckConversions(std::string_view bytes) {
    const std::vector<std::uint8_t> codes(bytes.begin(), bytes.end());
    const std::vector<std::int16_t> samples = SamplesOf(bytes);
    for (const SampleEncoding encoding :
         {SampleEncoding::UnsignedLinear8, SampleEncoding::SignedLinear8}) {
        std::vector<std::int16_t> decoded;
        DecodeSamples(encoding, codes, decoded);
        std::vector<std::uint8_t> encoded;
        EncodeSamples(encoding, decoded, encoded);
        Require(encoded == codes, "8-bit samples survive decoding and encoding");

        encoded.clear();
        EncodeSamples(encoding, samples, encoded);
        decoded.clear();
        DecodeSamples(encoding, encoded, decoded);
        Require(decoded.size() == samples.size(), "one sample a byte");
        for (std::size_t index = 0; index < samples.size(); ++index) {
            Require(std::abs(decoded[index] - samples[index]) < 256, "within one 8-bit step");
        }
    }
}

// Fed in chunks of the sizes reads from a port might have.
void CheckToneDetector(std::string_view bytes, std::uint32_t chunkSeed) {
    const std::vector<std::int16_t> samples = SamplesOf(bytes);
    LineToneDetector detector;
    LineTone heard = LineTone::None;
    std::span<const std::int16_t> rest(samples);
    while (!rest.empty()) {
        chunkSeed = chunkSeed * 1664525u + 1013904223u;
        const std::size_t count = std::min<std::size_t>(rest.size(), 1 + (chunkSeed >> 16) % 400);
        const LineTone now = detector.Feed(rest.first(count));
        Require(heard == LineTone::None || now == heard, "a tone once heard stays");
        heard = now;
        rest = rest.subspan(count);
    }
}

std::vector<std::string> LinesOf(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace
}  // namespace porthold::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace porthold::fuzz;
    // The numbers come from the input's end, so a seed is readable text
    // followed by six bytes.
    FuzzedDataProvider provider(data, size);
    const auto cut = provider.ConsumeIntegral<std::uint16_t>();
    const auto chunkSeed = provider.ConsumeIntegral<std::uint32_t>();
    const std::string text = provider.ConsumeRemainingBytesAsString();
    CheckShielding(text, cut % (text.size() + 1));
    const std::vector<std::string> lines = LinesOf(text);
    CheckCallerId(lines);
    CheckCompression(lines);
    CheckConversions(text);
    CheckToneDetector(text, chunkSeed);
    return 0;
}
