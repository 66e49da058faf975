// Telephone-event payloads and the RTP timestamps and markers around them come
// from the network. The input is a run of packets; each key the filter reports
// must be the key of the packet that brought it.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz_support.h"
#include "service/sip/telephone_event.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace porthold::fuzz;
    using namespace porthold::service::sip;
    FuzzedDataProvider provider(data, size);
    DtmfEventFilter filter;
    // Timestamps stay near each other most of the time, as in a real stream,
    // so that the filter's memory of recent events is exercised.
    std::uint32_t timestamp = provider.ConsumeIntegral<std::uint32_t>();
    while (provider.remaining_bytes() > 0) {
        if (provider.ConsumeBool()) {
            timestamp += provider.ConsumeIntegralInRange<std::uint32_t>(0, 2000);
        } else {
            timestamp = provider.ConsumeIntegral<std::uint32_t>();
        }
        const RtpMarker marker = provider.ConsumeBool() ? RtpMarker::Set : RtpMarker::Clear;
        const std::vector<std::uint8_t> payload =
            provider.ConsumeBytes<std::uint8_t>(provider.ConsumeIntegralInRange(0, 6));
        const std::optional<TelephoneEvent> event = ParseTelephoneEvent(payload);
        const std::optional<char> key = filter.Receive(timestamp, marker, payload);
        if (key) {
            Require(event && event->key == *key, "a reported key is the packet's key");
        }
        if (event) {
            Require(KeyOfEvent(event->event) == event->key, "an event's key matches its code");
        }
    }
    return 0;
}
