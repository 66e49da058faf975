// The pieces of a voice modem's byte stream: DLE shielding, the sample formats
// a modem offers, caller ID between the rings and the exchange's tones.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "service/modem/caller_id.h"
#include "service/modem/dle_codec.h"
#include "service/modem/line_tone_detector.h"
#include "service/modem/voice_compression.h"

namespace porthold::service::modem {
namespace {

// Writes audio as its bytes and each event as "<code>", in stream order.
class TranscriptSink : public DleReader::Sink {
public:
    void Audio(std::span<const std::uint8_t> bytes) override {
        transcript.append(bytes.begin(), bytes.end());
    }
    void Event(char code) override { transcript += std::string{'<', code, '>'}; }
    std::string transcript;
};

TEST(ModemDle, AudioAndEventsSurviveAStreamCutAnywhere) {
    const std::vector<std::uint8_t> audio{0x7F, 0x10, 0x80, 0x10, 0x10, 0x81};
    std::string stream;
    AppendShielded(audio, stream);
    stream += DleCode('5') + DleCode('~');
    AppendShielded(audio, stream);
    stream += DleCode(kEtx);
    const std::string whole(audio.begin(), audio.end());
    const std::string expected = whole + "<5><~>" + whole + "<\x03>";

    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        DleReader reader;
        TranscriptSink sink;
        reader.Read(std::string_view(stream).substr(0, cut), sink);
        reader.Read(std::string_view(stream).substr(cut), sink);
        EXPECT_EQ(sink.transcript, expected) << "cut at " << cut;
    }

    // A DLE left waiting belongs to the old stream, not the next one.
    DleReader reader;
    TranscriptSink sink;
    reader.Read(std::string{kDle}, sink);
    reader.Reset();
    reader.Read("b", sink);
    EXPECT_EQ(sink.transcript, "b");
}

// The chosen format, or Other with number -1 when none is.
CompressionChoice ChoiceFor(const std::vector<std::string>& lines) {
    return ChooseCompression(ParseCompressionOffers(lines)).value_or(CompressionChoice{-1});
}

TEST(ModemCompression, ChoosesByNameAndRateInEitherAnswerStyle) {
    const std::vector<std::string> usr{"AT+VSM=?",
                                       "128,\"8-BIT LINEAR\",(7200,8000,11025)",
                                       "129,\"16-BIT LINEAR\",(7200,8000,11025)",
                                       "131,\"8-BIT ULAW\",(8000)",
                                       "",
                                       "OK"};
    const auto usrOffers = ParseCompressionOffers(usr);
    ASSERT_EQ(usrOffers.size(), 3u);
    EXPECT_EQ(usrOffers[0].bitsPerSample, 8);
    EXPECT_EQ(usrOffers[1].encoding, SampleEncoding::Other);
    EXPECT_EQ(usrOffers[2].encoding, SampleEncoding::MuLaw);
    EXPECT_EQ(ChoiceFor(usr).number, 128);
    EXPECT_EQ(SelectCompressionCommand(ChoiceFor(usr)), "AT+VSM=128,8000");

    std::vector<std::string> conexant{"1,\"UNSIGNED PCM\",8,0,(7200,8000,11025),(0),(0)",
                                      "130,\"UNSIGNED PCM\",8,0,(7200,8000,11025),(0),(0)",
                                      "131,\"G.711U\",8,0,(8000),(0),(0)",
                                      "132,\"G.711A\",8,0,(8000),(0),(0)",
                                      "133,\"SIGNED PCM\",16,0,(7200,8000,11025),(0),(0)",
                                      "2,\"D,4\",4,0,(7200,8000,11025),(0),(0)"};
    const auto conexantOffers = ParseCompressionOffers(conexant);
    ASSERT_EQ(conexantOffers.size(), 6u);
    EXPECT_EQ(conexantOffers[5].name, "D,4");
    EXPECT_EQ(conexantOffers[5].bitsPerSample, 4);
    EXPECT_EQ(conexantOffers[3].encoding, SampleEncoding::ALaw);
    EXPECT_EQ(ChoiceFor(conexant).number, 1);
    EXPECT_EQ(ChoiceFor(conexant).encoding, SampleEncoding::UnsignedLinear8);

    conexant.erase(conexant.begin(), conexant.begin() + 2);
    EXPECT_EQ(ChoiceFor(conexant).number, 131);
    EXPECT_EQ(ChoiceFor(conexant).encoding, SampleEncoding::MuLaw);
    conexant.erase(conexant.begin());
    EXPECT_EQ(ChoiceFor(conexant).number, -1) << "A-law, 16-bit and ADPCM are of no use";

    // A rate range offers what lies inside it, a list only what it names.
    EXPECT_EQ(ChoiceFor({"5,\"8-BIT LINEAR\",(7200-11025)"}).number, 5);
    EXPECT_EQ(ChoiceFor({"5,\"8-BIT LINEAR\",(9600-11025)"}).number, -1);
    EXPECT_EQ(ChoiceFor({"5,\"8-BIT LINEAR\",(7200,11025)"}).number, -1);
    EXPECT_EQ(ChoiceFor({"7,\"signed pcm\",8,0,(8000)"}).encoding, SampleEncoding::SignedLinear8);
    EXPECT_TRUE(ParseCompressionOffers(std::vector<std::string>{"garbage", "ERROR",
                                                                "99999999,\"8-BIT LINEAR\",(8000)",
                                                                std::string(5000, '(')})
                    .empty());
}

TEST(ModemCompression, LinearFormatsRoundTripWithinOneStep) {
    for (const SampleEncoding encoding :
         {SampleEncoding::UnsignedLinear8, SampleEncoding::SignedLinear8}) {
        std::vector<std::int16_t> samples;
        for (int value = -32768; value <= 32767; value += 97) {
            samples.push_back(static_cast<std::int16_t>(value));
        }
        samples.push_back(32767);
        std::vector<std::uint8_t> bytes;
        EncodeSamples(encoding, samples, bytes);
        std::vector<std::int16_t> decoded;
        DecodeSamples(encoding, bytes, decoded);
        ASSERT_EQ(decoded.size(), samples.size());
        for (std::size_t index = 0; index < samples.size(); ++index) {
            EXPECT_LT(std::abs(decoded[index] - samples[index]), 256) << samples[index];
        }
    }
    std::vector<std::int16_t> silence;
    DecodeSamples(SampleEncoding::UnsignedLinear8, std::vector<std::uint8_t>{0x80}, silence);
    DecodeSamples(SampleEncoding::SignedLinear8, std::vector<std::uint8_t>{0x00}, silence);
    DecodeSamples(SampleEncoding::MuLaw, std::vector<std::uint8_t>{0xFF}, silence);
    DecodeSamples(SampleEncoding::Other, std::vector<std::uint8_t>{0x80}, silence);
    EXPECT_EQ(silence, (std::vector<std::int16_t>{0, 0, 0}));
}

TEST(ModemCallerId, ReadsEitherSpellingAndWithheldFields) {
    CallerIdReader reader;
    EXPECT_FALSE(reader.TakeLine("RING"));
    EXPECT_TRUE(reader.TakeLine("DATE = 1207"));
    EXPECT_TRUE(reader.TakeLine("time=1934"));
    EXPECT_TRUE(reader.TakeLine("NMBR = 5551234"));
    EXPECT_TRUE(reader.TakeLine("NAME=  SMITH JOHN  "));
    EXPECT_TRUE(reader.TakeLine("MESG = 060342"));
    EXPECT_FALSE(reader.TakeLine("OK"));
    CallerId id = reader.Current();
    EXPECT_EQ(id.date, "1207");
    EXPECT_EQ(id.time, "1934");
    EXPECT_EQ(id.number.presence, CallerIdPresence::Given);
    EXPECT_EQ(id.number.text, "5551234");
    EXPECT_EQ(id.name.text, "SMITH JOHN");

    reader.Clear();
    EXPECT_TRUE(reader.Current().IsEmpty());
    EXPECT_TRUE(reader.TakeLine("NMBR = P"));
    EXPECT_TRUE(reader.TakeLine("NAME=O"));
    EXPECT_EQ(reader.Current().number.presence, CallerIdPresence::Private);
    EXPECT_EQ(reader.Current().name.presence, CallerIdPresence::Unavailable);
    EXPECT_TRUE(reader.TakeLine("ddn_nmbr = 5550000"));
    EXPECT_EQ(reader.Current().number.text, "5550000");
}

TEST(ModemCallerId, HostileLinesAreCleanedOrRefused) {
    CallerIdReader reader;
    EXPECT_FALSE(reader.TakeLine("AT+VCID=1"));
    EXPECT_FALSE(reader.TakeLine("NAME = " + std::string(10000, 'A')));
    EXPECT_TRUE(reader.Current().IsEmpty());

    EXPECT_TRUE(reader.TakeLine("NAME = \x1b[2J\x07JO\xc3\xa9 \x01X\r"));
    EXPECT_EQ(reader.Current().name.text, "[2JJO X");
    EXPECT_TRUE(reader.TakeLine("NMBR = " + std::string(200, '7')));
    EXPECT_EQ(reader.Current().number.text, std::string(kLongestCallerIdText, '7'));
}

constexpr int kRate = 8000;

void AppendTone(std::vector<std::int16_t>& audio, std::vector<double> frequencies, int ms,
                double amplitude = 4000) {
    const std::size_t start = audio.size();
    for (int index = 0; index < ms * kRate / 1000; ++index) {
        double value = 0;
        for (const double frequency : frequencies) {
            value += amplitude *
                     std::sin(2 * std::numbers::pi * frequency * double(start + index) / kRate);
        }
        audio.push_back(static_cast<std::int16_t>(value));
    }
}

void AppendCadence(std::vector<std::int16_t>& audio, std::vector<double> frequencies, int onMs,
                   int offMs, int totalMs) {
    for (int elapsed = 0; elapsed < totalMs; elapsed += onMs + offMs) {
        AppendTone(audio, frequencies, onMs);
        AppendTone(audio, {}, offMs);
    }
}

struct Heard {
    LineTone tone = LineTone::None;
    int atMs = -1;
};

// Feeds the audio in odd-sized chunks, as reads from a port arrive.
Heard Listen(const std::vector<std::int16_t>& audio) {
    LineToneDetector detector;
    for (std::size_t start = 0; start < audio.size(); start += 173) {
        const std::size_t count = std::min<std::size_t>(173, audio.size() - start);
        const LineTone tone = detector.Feed(std::span(audio).subspan(start, count));
        if (tone != LineTone::None) {
            return {tone, int((start + count) * 1000 / kRate)};
        }
    }
    return {};
}

TEST(ModemLineTone, HearsDialAndBusyTonesOfSeveralCountries) {
    for (const auto& frequencies : {std::vector<double>{350, 440}, std::vector<double>{425}}) {
        // A drop-out across two blocks does not break a steady tone.
        std::vector<std::int16_t> audio;
        AppendTone(audio, {}, 300);
        AppendTone(audio, frequencies, 1010);
        AppendTone(audio, {}, 20);
        AppendTone(audio, frequencies, 4000);
        const Heard heard = Listen(audio);
        EXPECT_EQ(heard.tone, LineTone::DialTone) << frequencies[0];
        EXPECT_GE(heard.atMs, 2300);
        EXPECT_LE(heard.atMs, 2450);
    }

    std::vector<std::int16_t> american;
    AppendTone(american, {}, 200);
    AppendCadence(american, {480, 620}, 500, 500, 8000);
    Heard heard = Listen(american);
    EXPECT_EQ(heard.tone, LineTone::BusyTone);
    EXPECT_GE(heard.atMs, 3200);
    EXPECT_LE(heard.atMs, 3300);

    // Caught mid-burst, and with 8-bit quantisation.
    std::vector<std::int16_t> european;
    AppendTone(european, {425}, 100);
    AppendTone(european, {}, 375);
    AppendCadence(european, {425}, 375, 375, 8000);
    for (std::int16_t& sample : european) {
        sample = static_cast<std::int16_t>(sample / 256 * 256);
    }
    heard = Listen(european);
    EXPECT_EQ(heard.tone, LineTone::BusyTone);
    EXPECT_LE(heard.atMs, 2900);
}

TEST(ModemLineTone, IgnoresSilenceNoiseBeepsAndSpeech) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 3000);
    std::vector<std::int16_t> audio;
    AppendTone(audio, {}, 3000);
    for (int index = 0; index < 3 * kRate; ++index) {
        audio.push_back(static_cast<std::int16_t>(noise(random)));
    }
    AppendTone(audio, {1000}, 1000);
    AppendTone(audio, {}, 1000);
    AppendTone(audio, {440}, 500);
    AppendTone(audio, {}, 3000);
    // Cadences too slow or too fast for a busy tone, and a tune.
    AppendCadence(audio, {425}, 1000, 1000, 8000);
    AppendCadence(audio, {425}, 100, 100, 4000);
    for (const double note : {350, 480, 620, 350, 480, 620}) {
        AppendTone(audio, {note}, 400);
        AppendTone(audio, {}, 400);
    }
    // Speech-like: a sweep through the tones' band, and a voiced sound whose
    // pitch wanders, rich in harmonics.
    for (int index = 0; index < 2 * kRate; ++index) {
        const double time = double(index) / kRate;
        audio.push_back(static_cast<std::int16_t>(
            6000 * std::sin(2 * std::numbers::pi * (300 * time + 100 * time * time))));
    }
    double phase = 0;
    for (int index = 0; index < 4 * kRate; ++index) {
        const double time = double(index) / kRate;
        phase +=
            2 * std::numbers::pi * (120 + 30 * std::sin(2 * std::numbers::pi * 3 * time)) / kRate;
        double value = 0;
        for (int harmonic = 1; harmonic <= 20; ++harmonic) {
            value += 3000.0 / harmonic * std::sin(harmonic * phase);
        }
        audio.push_back(static_cast<std::int16_t>(value));
    }
    EXPECT_EQ(Listen(audio).tone, LineTone::None);

    // Reset forgets a tone already heard.
    LineToneDetector detector;
    std::vector<std::int16_t> dial;
    AppendTone(dial, {400}, 2500);
    EXPECT_EQ(detector.Feed(dial), LineTone::DialTone);
    detector.Reset();
    EXPECT_EQ(detector.Feed(std::span(audio).first(kRate)), LineTone::None);
}

}  // namespace
}  // namespace porthold::service::modem
