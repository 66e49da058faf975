// RTP sequence numbers, timestamps and packet sizes are the sender's to
// choose. The input is a run of packets and frame reads; every packet must be
// counted once, and what plays must be audio that arrived or silence.

#include <fuzzer/FuzzedDataProvider.h>

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz_support.h"
#include "service/sip/jitter_buffer.h"

namespace porthold::fuzz {
namespace {

using service::sip::JitterBuffer;

std::uint64_t CountedPackets(const JitterBuffer& buffer) {
    const service::sip::JitterBufferCounters& counters = buffer.Counters();
    return counters.accepted + counters.duplicates + counters.late + counters.outOfWindow +
           counters.malformed;
}

// Sequence numbers and timestamps stay near the previous packet's most of the
// time, as in a real stream, with the odd jump anywhere.
std::uint16_t SequenceNear(FuzzedDataProvider& provider, std::uint16_t previous) {
    return provider.ConsumeBool()
               ? static_cast<std::uint16_t>(previous + provider.ConsumeIntegralInRange(-3, 3))
               : provider.ConsumeIntegral<std::uint16_t>();
}

std::uint32_t TimestampNear(FuzzedDataProvider& provider, std::uint32_t previous) {
    return provider.ConsumeBool()
               ? previous + static_cast<std::uint32_t>(provider.ConsumeIntegralInRange(-2000, 2000))
               : provider.ConsumeIntegral<std::uint32_t>();
}

}  // namespace
}  // namespace porthold::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace porthold::fuzz;
    FuzzedDataProvider provider(data, size);
    porthold::service::sip::JitterBufferSettings settings;
    settings.targetDepthMilliseconds = provider.ConsumeIntegralInRange<std::uint32_t>(0, 1000);
    settings.maximumDepthMilliseconds = provider.ConsumeIntegralInRange<std::uint32_t>(0, 2000);
    JitterBuffer buffer(settings);
    // Every sample value that arrived, and silence; a bit set keeps the check
    // of each played sample cheap, so the time goes to the buffer itself.
    std::bitset<65536> sent;
    const auto bit = [](std::int16_t sample) { return static_cast<std::size_t>(sample + 32768); };
    sent.set(bit(0));
    std::uint64_t packets = 0;
    std::uint16_t sequence = provider.ConsumeIntegral<std::uint16_t>();
    std::uint32_t timestamp = provider.ConsumeIntegral<std::uint32_t>();
    while (provider.remaining_bytes() > 0) {
        if (provider.ConsumeBool()) {
            // A frame is mostly runs of one value; each run is checked once.
            std::optional<std::int16_t> checked;
            for (const std::int16_t sample : buffer.NextFrame()) {
                if (sample != checked) {
                    Require(sent.test(bit(sample)), "only audio that arrived plays");
                    checked = sample;
                }
            }
            continue;
        }
        sequence = SequenceNear(provider, sequence);
        timestamp = TimestampNear(provider, timestamp);
        // All samples of a packet hold one value, so a sample that plays can
        // be traced to the packets that could have brought it.
        const std::int16_t value = provider.ConsumeIntegral<std::int16_t>();
        const std::vector<std::int16_t> samples(
            provider.ConsumeIntegralInRange<std::size_t>(0, JitterBuffer::kMaxPacketSamples + 8),
            value);
        sent.set(bit(value));
        buffer.Insert(sequence, timestamp, samples);
        Require(CountedPackets(buffer) == ++packets, "every packet is counted once");
    }
    return 0;
}
