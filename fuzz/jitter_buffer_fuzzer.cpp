// RTP sequence numbers, timestamps and packet sizes are the sender's to
// choose. The input is a run of packets and frame reads; every packet must be
// counted once, and what plays must be audio that arrived or silence.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <set>
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
    std::set<std::int16_t> sent{0};
    std::uint64_t packets = 0;
    std::uint16_t sequence = provider.ConsumeIntegral<std::uint16_t>();
    std::uint32_t timestamp = provider.ConsumeIntegral<std::uint32_t>();
    while (provider.remaining_bytes() > 0) {
        if (provider.ConsumeBool()) {
            for (const std::int16_t sample : buffer.NextFrame()) {
                Require(sent.contains(sample), "only audio that arrived plays");
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
        sent.insert(value);
        buffer.Insert(sequence, timestamp, samples);
        Require(CountedPackets(buffer) == ++packets, "every packet is counted once");
    }
    return 0;
}
