// What porthold-phone sends over a line's socket arrives in pieces of any
// size. The reader must cut the same messages out of the bytes however they
// were split, and stop at the same place when they are malformed.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "service/line_protocol.h"

namespace porthold::fuzz {
namespace {

using service::MessageReader;
using service::ProtocolMessage;

struct Reading {
    std::vector<ProtocolMessage> messages;
    bool malformed = false;
};

// Takes every whole message the reader holds so far.
void Drain(MessageReader& reader, Reading& reading) {
    ProtocolMessage message;
    MessageReader::Status status;
    while ((status = reader.Next(message)) == MessageReader::Status::Complete) {
        reading.messages.push_back(message);
    }
    reading.malformed = status == MessageReader::Status::Malformed;
}

bool SameMessage(const ProtocolMessage& left, const ProtocolMessage& right) {
    return left.command == right.command && left.arguments == right.arguments &&
           left.payload == right.payload;
}

void CheckPayload(const ProtocolMessage& message) {
    if (message.command != "SAY" && message.command != "HEARD") {
        Require(message.payload.empty(), "only SAY and HEARD carry a payload");
        return;
    }
    Require(!message.arguments.empty() &&
                service::ParseCount(message.arguments.back()) == message.payload.size(),
            "a payload is as long as its message says");
    const std::string even = message.payload.substr(0, message.payload.size() & ~std::size_t{1});
    Require(service::SamplesToPayload(service::PayloadToSamples(message.payload)) == even,
            "samples and payload bytes convert both ways");
}

}  // namespace
}  // namespace porthold::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace porthold::fuzz;
    // The first bytes choose where the stream is cut; the rest is the stream.
    FuzzedDataProvider provider(data, size);
    std::vector<std::size_t> cuts;
    for (int count = provider.ConsumeIntegralInRange(0, 8); count > 0; --count) {
        cuts.push_back(provider.ConsumeIntegralInRange<std::size_t>(1, 300));
    }
    const std::string stream = provider.ConsumeRemainingBytesAsString();

    Reading whole;
    MessageReader wholeReader;
    wholeReader.Append(stream);
    Drain(wholeReader, whole);

    Reading pieces;
    MessageReader pieceReader;
    std::size_t offset = 0;
    for (std::size_t index = 0; offset < stream.size() && !pieces.malformed; ++index) {
        const std::size_t length = cuts.empty() ? 1 : cuts[index % cuts.size()];
        pieceReader.Append(std::string_view(stream).substr(offset, length));
        offset += length;
        Drain(pieceReader, pieces);
    }
    Require(whole.malformed == pieces.malformed, "a stream is malformed however it arrives");
    Require(whole.messages.size() == pieces.messages.size(),
            "a stream holds the same messages however it arrives");
    for (std::size_t index = 0; index < whole.messages.size(); ++index) {
        Require(SameMessage(whole.messages[index], pieces.messages[index]),
                "a message reads the same however it arrives");
        CheckPayload(whole.messages[index]);
    }
    return 0;
}
