#include "service/modem/voice_compression.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

#include "service/sip/g711.h"

namespace porthold::service::modem {
namespace {

constexpr std::size_t kMostOffers = 64;
constexpr std::size_t kLongestName = 64;
constexpr std::size_t kMostRates = 16;
constexpr std::size_t kMostFields = 16;
// An offer line is a few dozen characters; anything far longer is not one,
// and is skipped rather than scanned.
constexpr std::size_t kLongestOfferLine = 512;
// Numbers in an offer are small; more digits than this make the field garbage
// rather than an overflow.
constexpr std::size_t kMostDigits = 6;
constexpr int kTelephoneRate = 8000;

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<int> ParseNumber(std::string_view text) {
    text = Trimmed(text);
    if (text.empty() || text.size() > kMostDigits) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

// Splits at the commas that are neither inside quotes nor inside parentheses,
// so "D,4" and (7200,8000,11025) each stay one field.
std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    bool quoted = false;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t index = 0; index <= line.size() && fields.size() < kMostFields; ++index) {
        const char c = index < line.size() ? line[index] : ',';
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '(') {
            ++depth;
        } else if (!quoted && c == ')' && depth > 0) {
            --depth;
        } else if (c == ',' && ((!quoted && depth == 0) || index == line.size())) {
            fields.push_back(Trimmed(line.substr(start, index - start)));
            start = index + 1;
        }
    }
    return fields;
}

std::string NameOf(std::string_view field) {
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
        field = field.substr(1, field.size() - 2);
    } else if (!field.empty() && field.front() == '"') {
        field.remove_prefix(1);
    }
    std::string name;
    for (const char c : field.substr(0, kLongestName)) {
        if (c >= ' ' && c <= '~') {
            name.push_back(c);
        }
    }
    return name;
}

// "(7200,8000,11025)" or "(7200-11025)". A range also lists the telephone
// rate when it spans it, since that is the one rate the line asks for.
std::vector<int> RatesOf(std::string_view field) {
    std::vector<int> rates;
    field = Trimmed(field);
    if (field.size() < 2 || field.front() != '(' || field.back() != ')') {
        return rates;
    }
    field = field.substr(1, field.size() - 2);
    while (!field.empty() && rates.size() < kMostRates) {
        const std::size_t comma = field.find(',');
        const std::string_view item = field.substr(0, comma);
        field = comma == std::string_view::npos ? std::string_view{} : field.substr(comma + 1);
        const std::size_t dash = item.find('-');
        if (dash == std::string_view::npos) {
            if (const auto rate = ParseNumber(item)) {
                rates.push_back(*rate);
            }
            continue;
        }
        const auto low = ParseNumber(item.substr(0, dash));
        const auto high = ParseNumber(item.substr(dash + 1));
        if (!low || !high || *low > *high || rates.size() + 3 > kMostRates) {
            continue;
        }
        rates.push_back(*low);
        if (*low < kTelephoneRate && kTelephoneRate < *high) {
            rates.push_back(kTelephoneRate);
        }
        rates.push_back(*high);
    }
    return rates;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// "8-BIT LINEAR" gives 8; a name without such a count gives 0.
int BitsInName(std::string_view upperName) {
    const std::size_t mark = upperName.find("-BIT");
    if (mark == std::string_view::npos || mark == 0) {
        return 0;
    }
    std::size_t start = mark;
    while (start > 0 && mark - start < 2 &&
           std::isdigit(static_cast<unsigned char>(upperName[start - 1]))) {
        --start;
    }
    return ParseNumber(upperName.substr(start, mark - start)).value_or(0);
}

SampleEncoding EncodingOf(std::string_view upperName, int bits) {
    const bool muLaw = Contains(upperName, "ULAW") || Contains(upperName, "U-LAW") ||
                       Contains(upperName, "G.711U") || Contains(upperName, "G711U");
    const bool aLaw = Contains(upperName, "ALAW") || Contains(upperName, "A-LAW") ||
                      Contains(upperName, "G.711A") || Contains(upperName, "G711A");
    if (bits != 8 || Contains(upperName, "ADPCM")) {
        return SampleEncoding::Other;
    }
    if (muLaw) {
        return SampleEncoding::MuLaw;
    }
    if (aLaw) {
        return SampleEncoding::ALaw;
    }
    if (Contains(upperName, "UNSIGNED")) {
        return SampleEncoding::UnsignedLinear8;
    }
    if (Contains(upperName, "SIGNED")) {
        return SampleEncoding::SignedLinear8;
    }
    if (Contains(upperName, "LINEAR")) {
        return SampleEncoding::UnsignedLinear8;
    }
    return SampleEncoding::Other;
}

std::optional<CompressionOffer> ParseOffer(std::string_view line) {
    line = Trimmed(line);
    if (line.size() > kLongestOfferLine) {
        return std::nullopt;
    }
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 3) {
        return std::nullopt;
    }
    const auto number = ParseNumber(fields[0]);
    // Names are quoted, but a bare word is taken too; a bare number or a
    // list in its place means the line is something else.
    if (!number || fields[1].empty() || fields[1].front() == '(' || ParseNumber(fields[1])) {
        return std::nullopt;
    }
    CompressionOffer offer;
    offer.number = *number;
    offer.name = NameOf(fields[1]);
    std::string upperName = offer.name;
    std::transform(upperName.begin(), upperName.end(), upperName.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });

    // The bit field, when the modem has one, comes right after the name; the
    // rates are the first parenthesised list after it.
    std::size_t next = 2;
    if (const auto bits = ParseNumber(fields[2])) {
        offer.bitsPerSample = *bits;
        ++next;
    } else {
        offer.bitsPerSample = BitsInName(upperName);
    }
    const SampleEncoding asEightBits = EncodingOf(upperName, 8);
    const bool companded =
        asEightBits == SampleEncoding::MuLaw || asEightBits == SampleEncoding::ALaw;
    if (offer.bitsPerSample == 0 && companded) {
        offer.bitsPerSample = 8;
    }
    for (; next < fields.size(); ++next) {
        if (!fields[next].empty() && fields[next].front() == '(') {
            offer.rates = RatesOf(fields[next]);
            break;
        }
    }
    offer.encoding = EncodingOf(upperName, offer.bitsPerSample);
    return offer;
}

bool OffersTelephoneRate(const CompressionOffer& offer) {
    return std::find(offer.rates.begin(), offer.rates.end(), kTelephoneRate) != offer.rates.end();
}

std::optional<CompressionChoice> FirstOffer(std::span<const CompressionOffer> offers,
                                            SampleEncoding encoding) {
    for (const CompressionOffer& offer : offers) {
        if (offer.encoding == encoding && OffersTelephoneRate(offer)) {
            return CompressionChoice{offer.number, encoding};
        }
    }
    return std::nullopt;
}

std::int16_t FromEightBits(int value) {
    return static_cast<std::int16_t>(value * 256);
}

// Rounds to the nearest 8-bit step, so the error is at most half a step.
int ToEightBits(std::int16_t sample) {
    return std::clamp((sample + 128) >> 8, -128, 127);
}

}  // namespace

std::vector<CompressionOffer> ParseCompressionOffers(std::span<const std::string> lines) {
    std::vector<CompressionOffer> offers;
    for (const std::string& line : lines) {
        if (offers.size() >= kMostOffers) {
            break;
        }
        if (auto offer = ParseOffer(line)) {
            offers.push_back(std::move(*offer));
        }
    }
    return offers;
}

std::optional<CompressionChoice> ChooseCompression(std::span<const CompressionOffer> offers) {
    for (const SampleEncoding encoding :
         {SampleEncoding::UnsignedLinear8, SampleEncoding::SignedLinear8, SampleEncoding::MuLaw}) {
        if (auto choice = FirstOffer(offers, encoding)) {
            return choice;
        }
    }
    return std::nullopt;
}

std::string SelectCompressionCommand(const CompressionChoice& choice) {
    return "AT+VSM=" + std::to_string(choice.number) + "," + std::to_string(kTelephoneRate);
}

void DecodeSamples(SampleEncoding encoding, std::span<const std::uint8_t> bytes,
                   std::vector<std::int16_t>& out) {
    if (encoding == SampleEncoding::Other) {
        return;
    }
    out.reserve(out.size() + bytes.size());
    for (const std::uint8_t byte : bytes) {
        switch (encoding) {
            case SampleEncoding::UnsignedLinear8:
                out.push_back(FromEightBits(static_cast<std::int8_t>(byte ^ 0x80)));
                break;
            case SampleEncoding::SignedLinear8:
                out.push_back(FromEightBits(static_cast<std::int8_t>(byte)));
                break;
            case SampleEncoding::MuLaw:
                out.push_back(sip::LinearFromMuLaw(byte));
                break;
            case SampleEncoding::ALaw:
                out.push_back(sip::LinearFromALaw(byte));
                break;
            case SampleEncoding::Other:
                break;
        }
    }
}

void EncodeSamples(SampleEncoding encoding, std::span<const std::int16_t> samples,
                   std::vector<std::uint8_t>& out) {
    if (encoding == SampleEncoding::Other) {
        return;
    }
    out.reserve(out.size() + samples.size());
    for (const std::int16_t sample : samples) {
        switch (encoding) {
            case SampleEncoding::UnsignedLinear8:
                out.push_back(static_cast<std::uint8_t>(ToEightBits(sample) ^ 0x80));
                break;
            case SampleEncoding::SignedLinear8:
                out.push_back(static_cast<std::uint8_t>(ToEightBits(sample)));
                break;
            case SampleEncoding::MuLaw:
                out.push_back(sip::MuLawFromLinear(sample));
                break;
            case SampleEncoding::ALaw:
                out.push_back(sip::ALawFromLinear(sample));
                break;
            case SampleEncoding::Other:
                break;
        }
    }
}

}  // namespace porthold::service::modem
