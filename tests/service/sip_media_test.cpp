// The media logic of a SIP line: G.711, key presses from telephone-events and
// SIP INFO, the receiving jitter buffer and the sending pacer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "service/sip/g711.h"
#include "service/sip/jitter_buffer.h"
#include "service/sip/send_pacer.h"
#include "service/sip/sip_info_dtmf.h"
#include "service/sip/telephone_event.h"

namespace porthold::service::sip {
namespace {

// Every value of the 16-bit range, in steps that reach both ends.
std::vector<int> SweepOfSamples() {
    std::vector<int> values;
    for (int value = -32768; value < 32767; value += 7) {
        values.push_back(value);
    }
    values.push_back(32767);
    return values;
}

TEST(G711, RoundTripStaysWithinHalfAQuantisationStepAndKeepsOrder) {
    int previousMuLaw = -32768;
    int previousALaw = -32768;
    for (int value : SweepOfSamples()) {
        const auto sample = static_cast<std::int16_t>(value);
        const int magnitude = std::abs(value);
        // Each segment's step is a sixteenth of where it starts.
        const int muLaw = LinearFromMuLaw(MuLawFromLinear(sample));
        if (magnitude <= 32635) {
            EXPECT_LE(std::abs(muLaw - value), (magnitude + 0x84) / 32) << value;
        } else {
            EXPECT_EQ(muLaw, value < 0 ? -32124 : 32124) << value;
        }
        const int aLaw = LinearFromALaw(ALawFromLinear(sample));
        EXPECT_LE(std::abs(aLaw - value), std::max(8, magnitude / 32)) << value;
        EXPECT_GE(muLaw, previousMuLaw) << value;
        EXPECT_GE(aLaw, previousALaw) << value;
        previousMuLaw = muLaw;
        previousALaw = aLaw;
    }
}

TEST(G711, KnownCodePointsAndFrames) {
    EXPECT_EQ(MuLawFromLinear(0), 0xFF);
    EXPECT_EQ(LinearFromMuLaw(0xFF), 0);
    EXPECT_EQ(LinearFromMuLaw(0x7F), 0);
    EXPECT_EQ(MuLawFromLinear(32767), 0x80);
    EXPECT_EQ(LinearFromMuLaw(0x80), 32124);
    EXPECT_EQ(MuLawFromLinear(-32768), 0x00);
    EXPECT_EQ(LinearFromMuLaw(0x00), -32124);

    EXPECT_EQ(ALawFromLinear(0), 0xD5);
    EXPECT_EQ(LinearFromALaw(0xD5), 8);
    EXPECT_EQ(LinearFromALaw(0x55), -8);
    EXPECT_EQ(ALawFromLinear(32767), 0xAA);
    EXPECT_EQ(LinearFromALaw(0xAA), 32256);
    EXPECT_EQ(ALawFromLinear(-32768), 0x2A);
    EXPECT_EQ(LinearFromALaw(0x2A), -32256);

    // A frame converts no more than the shorter side holds.
    const std::vector<std::int16_t> samples{0, 1000, -1000};
    std::vector<std::uint8_t> codes(2, 0x11);
    EXPECT_EQ(EncodeG711(G711Law::ALaw, samples, codes), 2u);
    EXPECT_EQ(codes[1], ALawFromLinear(1000));
    std::vector<std::int16_t> decoded(3, 99);
    EXPECT_EQ(DecodeG711(G711Law::MuLaw, codes, decoded), 2u);
    EXPECT_EQ(decoded[1], LinearFromMuLaw(codes[1]));
    EXPECT_EQ(decoded[2], 99);
}

std::vector<std::uint8_t> EventPayload(std::uint8_t event, bool end, std::uint16_t duration) {
    return {event, static_cast<std::uint8_t>((end ? 0x80 : 0x00) | 10),
            static_cast<std::uint8_t>(duration >> 8), static_cast<std::uint8_t>(duration)};
}

TEST(TelephoneEvent, ParsesKeysAndRefusesShortOrUnknownEvents) {
    const auto star = ParseTelephoneEvent(EventPayload(10, true, 0x0320));
    ASSERT_TRUE(star);
    EXPECT_EQ(star->key, '*');
    EXPECT_TRUE(star->end);
    EXPECT_EQ(star->volume, 10);
    EXPECT_EQ(star->duration, 0x0320);
    EXPECT_EQ(ParseTelephoneEvent(EventPayload(15, false, 0))->key, 'D');
    EXPECT_FALSE(ParseTelephoneEvent(EventPayload(16, false, 0)));
    EXPECT_FALSE(ParseTelephoneEvent(std::vector<std::uint8_t>{5, 0, 0}));
}

// Feeds packets to a filter and collects the keys it reports.
class KeyStream {
public:
    void Send(std::uint32_t timestamp, std::uint8_t event, bool end, std::uint16_t duration,
              RtpMarker marker = RtpMarker::Clear) {
        if (auto key = filter_.Receive(timestamp, marker, EventPayload(event, end, duration))) {
            keys_ += *key;
        }
    }
    // A whole key press: start, updates and three end packets.
    void Press(std::uint32_t timestamp, std::uint8_t event) {
        Send(timestamp, event, false, 0, RtpMarker::Set);
        Send(timestamp, event, false, 400);
        Send(timestamp, event, false, 800);
        for (int repeat = 0; repeat < 3; ++repeat) {
            Send(timestamp, event, true, 960);
        }
    }
    const std::string& Keys() const { return keys_; }

private:
    DtmfEventFilter filter_;
    std::string keys_;
};

TEST(DtmfEventFilter, ReportsEachKeyPressOnce) {
    KeyStream typical;
    typical.Press(1000, 5);
    EXPECT_EQ(typical.Keys(), "5");

    KeyStream repeatedKey;
    repeatedKey.Press(1000, 5);
    repeatedKey.Press(3000, 5);
    EXPECT_EQ(repeatedKey.Keys(), "55");

    KeyStream lostStart;
    for (int repeat = 0; repeat < 3; ++repeat) {
        lostStart.Send(1000, 11, true, 960);
    }
    EXPECT_EQ(lostStart.Keys(), "#");

    // Duplicates and stragglers of earlier keys, across a timestamp wrap.
    KeyStream disorderly;
    disorderly.Press(0xFFFFFE00u, 1);
    disorderly.Send(200, 2, false, 400);
    disorderly.Send(0xFFFFFE00u, 1, true, 960);
    disorderly.Send(200, 2, false, 0, RtpMarker::Set);
    disorderly.Press(200, 2);
    EXPECT_EQ(disorderly.Keys(), "12");
}

TEST(DtmfEventFilter, LongKeyInSegmentsAndReusedTimestamps) {
    KeyStream longKey;
    longKey.Send(1000, 7, false, 0, RtpMarker::Set);
    longKey.Send(1000, 7, false, 0xFFFF);
    longKey.Send(1000 + 0xFFFF, 7, false, 400);
    longKey.Send(1000 + 0xFFFF, 7, true, 800);
    EXPECT_EQ(longKey.Keys(), "7");

    // A sender that keeps the timestamp for the next key.
    KeyStream reused;
    reused.Press(1000, 3);
    reused.Press(1000, 4);
    reused.Send(1000, 4, true, 960);
    EXPECT_EQ(reused.Keys(), "34");
}

TEST(SipInfoDtmf, ReadsBothBodyFormatsAndRefusesAnythingElse) {
    EXPECT_EQ(KeyFromSipInfo("application/dtmf-relay", "Signal=5\r\nDuration=160\r\n"), '5');
    EXPECT_EQ(
        KeyFromSipInfo("Application/DTMF-Relay; charset=x", "Duration=160\n  signal =  b \r\n"),
        'B');
    EXPECT_EQ(KeyFromSipInfo("application/dtmf-relay", "Signal=#"), '#');
    EXPECT_EQ(KeyFromSipInfo("application/dtmf", " * \r\n"), '*');
    EXPECT_EQ(KeyFromSipInfo("application/dtmf", "11"), '#');
    EXPECT_EQ(KeyFromSipInfo("application/dtmf", "7"), '7');
    EXPECT_EQ(KeyFromSipInfo("application/dtmf", "d"), 'D');

    EXPECT_FALSE(KeyFromSipInfo("text/plain", "Signal=5"));
    EXPECT_FALSE(KeyFromSipInfo("application/dtmf-relay", "Signal=55\r\n"));
    EXPECT_FALSE(KeyFromSipInfo("application/dtmf-relay", "Signal=E\r\n"));
    EXPECT_FALSE(KeyFromSipInfo("application/dtmf-relay", "Duration=160\r\n"));
    EXPECT_FALSE(KeyFromSipInfo("application/dtmf-relay", ""));
    EXPECT_FALSE(KeyFromSipInfo("application/dtmf", "16"));
    EXPECT_FALSE(KeyFromSipInfo("application/dtmf", "-1"));
    EXPECT_FALSE(KeyFromSipInfo("application/dtmf", "1 2"));
    EXPECT_FALSE(KeyFromSipInfo("application/dtmf-relay",
                                std::string(kMaxDtmfBodyBytes, '\n') + "Signal=5"));
}

// A sender of 20 ms packets whose samples all hold the packet's number, so
// each frame played tells which packet it came from (0 for silence).
class Stream {
public:
    explicit Stream(JitterBufferSettings settings = {}) : buffer_(settings) {}

    void Send(int packet, std::uint16_t firstSequence = 0, std::uint32_t firstTimestamp = 0) {
        const std::vector<std::int16_t> samples(kFrameSamples, static_cast<std::int16_t>(packet));
        buffer_.Insert(static_cast<std::uint16_t>(firstSequence + packet),
                       static_cast<std::uint32_t>(firstTimestamp + packet * kFrameSamples),
                       samples);
    }
    // The packet numbers of the next frames played.
    std::vector<int> Play(int frames) {
        std::vector<int> played;
        for (int frame = 0; frame < frames; ++frame) {
            const AudioFrame audio = buffer_.NextFrame();
            EXPECT_EQ(std::count(audio.begin(), audio.end(), audio[0]),
                      static_cast<std::ptrdiff_t>(kFrameSamples));
            played.push_back(audio[0]);
        }
        return played;
    }
    JitterBuffer& Buffer() { return buffer_; }

private:
    JitterBuffer buffer_;
};

using Frames = std::vector<int>;

TEST(JitterBuffer, PlaysInOrderAfterTheTargetDepthAndReordersWithinIt) {
    Stream stream;
    Frames played;
    for (int packet = 1; packet <= 6; ++packet) {
        stream.Send(packet);
        const Frames frame = stream.Play(1);
        played.push_back(frame[0]);
    }
    // Three packets gathered (60 ms) before the first plays.
    EXPECT_EQ(played, (Frames{0, 0, 1, 2, 3, 4}));

    Stream swapped;
    for (int packet : {2, 1, 3, 5, 4, 6}) {
        swapped.Send(packet);
    }
    EXPECT_EQ(swapped.Play(6), (Frames{1, 2, 3, 4, 5, 6}));
}

TEST(JitterBuffer, LostPacketsBecomeSilenceAndStragglersAreDropped) {
    Stream stream;
    for (int packet : {1, 2, 3, 5, 6}) {
        stream.Send(packet);
    }
    EXPECT_EQ(stream.Play(3), (Frames{1, 2, 3}));
    stream.Send(2);  // already played
    stream.Send(5);  // still held
    EXPECT_EQ(stream.Play(3), (Frames{0, 5, 6}));
    stream.Send(4);  // its time has passed
    const JitterBufferCounters& counters = stream.Buffer().Counters();
    EXPECT_EQ(counters.concealedFrames, 1u);
    EXPECT_EQ(counters.duplicates, 1u);
    EXPECT_EQ(counters.late, 2u);
}

TEST(JitterBuffer, TailShorterThanTheTargetStillPlaysAfterWaiting) {
    Stream stream;
    stream.Send(1);
    EXPECT_EQ(stream.Play(4), (Frames{0, 0, 1, 0}));
    EXPECT_FALSE(stream.Buffer().IsPlaying());
}

TEST(JitterBuffer, FloodKeepsOnlyTheNewestAudio) {
    Stream stream(JitterBufferSettings{60, 200});
    for (int packet = 1; packet <= 1000; ++packet) {
        stream.Send(packet);
    }
    // 200 ms hold ten packets.
    EXPECT_EQ(stream.Play(11), (Frames{991, 992, 993, 994, 995, 996, 997, 998, 999, 1000, 0}));
    EXPECT_GT(stream.Buffer().Counters().overflows, 0u);
}

TEST(JitterBuffer, SurvivesWrapSilenceGapsAndSenderRestarts) {
    // Sequence numbers and timestamps both wrap during this stream.
    Stream wrapping;
    const std::uint32_t nearTimestampWrap = 0xFFFFFFFFu - 2 * kFrameSamples + 1;
    for (int packet : {1, 3, 2, 4}) {
        wrapping.Send(packet, 65533, nearTimestampWrap);
    }
    EXPECT_EQ(wrapping.Play(4), (Frames{1, 2, 3, 4}));

    // The sender stops for ten seconds, then talks on: a new start.
    wrapping.Send(505, 65533, nearTimestampWrap);
    wrapping.Send(506, 65533, nearTimestampWrap);
    wrapping.Send(507, 65533, nearTimestampWrap);
    EXPECT_EQ(wrapping.Play(2), (Frames{505, 506}));

    // While audio is held, one stray packet costs nothing; two in sequence
    // from elsewhere are a restarted sender, followed from there.
    Stream restarting;
    for (int packet = 1; packet <= 5; ++packet) {
        restarting.Send(packet);
    }
    restarting.Send(9, 30000, 5000000);
    EXPECT_EQ(restarting.Play(2), (Frames{1, 2}));
    for (int packet = 20; packet <= 23; ++packet) {
        restarting.Send(packet, 40000, 9000000);
    }
    EXPECT_EQ(restarting.Play(4), (Frames{21, 22, 23, 0}));
    EXPECT_EQ(restarting.Buffer().Counters().resyncs, 1u);
}

// Audio whose every sample holds its own position, so frames show where they
// were cut.
std::vector<std::int16_t> Ramp(int count) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        samples[static_cast<std::size_t>(index)] = static_cast<std::int16_t>(index + 1);
    }
    return samples;
}

TEST(SendPacer, ReleasesFramesOnTimeAndNumbersThemAcrossPauses) {
    SendPacer pacer(65534, 1000);
    EXPECT_EQ(pacer.Queue(Ramp(500)), 500u);
    const auto first = pacer.NextDue(5000);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->marker, RtpMarker::Set);
    EXPECT_EQ(first->sequence, 65534);
    EXPECT_EQ(first->timestamp, 1000u);
    EXPECT_FALSE(pacer.NextDue(5019));

    // A caller a little late gets the frames due since, in order.
    const auto second = pacer.NextDue(5061);
    const auto third = pacer.NextDue(5061);
    const auto fourth = pacer.NextDue(5061);
    ASSERT_TRUE(second && third && fourth);
    EXPECT_EQ(second->marker, RtpMarker::Clear);
    EXPECT_EQ(second->sequence, 65535);
    EXPECT_EQ(third->sequence, 0);
    EXPECT_EQ(fourth->timestamp, 1000u + 3 * 160);
    EXPECT_EQ(second->samples[0], 161);
    // The last 20 samples, completed with silence.
    EXPECT_EQ(fourth->samples[19], 500);
    EXPECT_EQ(fourth->samples[20], 0);
    EXPECT_FALSE(pacer.NextDue(5080));

    // After a pause of a second, the timestamp has moved on by a second's
    // samples, the sequence by one, and the marker starts the new spurt.
    pacer.Queue(Ramp(1600));
    const auto resumed = pacer.NextDue(6000);
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->marker, RtpMarker::Set);
    EXPECT_EQ(resumed->sequence, 2);
    EXPECT_EQ(resumed->timestamp, 1000u + 8000);

    // A stalled caller is not sent the backlog in one burst.
    const auto afterStall = pacer.NextDue(7000);
    ASSERT_TRUE(afterStall);
    EXPECT_EQ(afterStall->marker, RtpMarker::Set);
    EXPECT_FALSE(pacer.NextDue(7000));
    EXPECT_EQ(pacer.QueuedSamples(), 1280u);

    EXPECT_EQ(pacer.Queue(Ramp(20000)), SendPacer::kMaxQueuedSamples - 1280);
}

}  // namespace
}  // namespace porthold::service::sip
