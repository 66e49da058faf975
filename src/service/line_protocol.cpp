#include "service/line_protocol.h"

#include <limits>

namespace porthold::service {
namespace {

// Commands whose last argument gives the length of a payload that follows.
bool CarriesPayload(std::string_view command) {
    return command == "SAY" || command == "HEARD";
}

std::vector<std::string> SplitWords(std::string_view line) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        words.emplace_back(line.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

}  // namespace

MessageReader::Status MessageReader::Fail(std::string problem) {
    problem_ = std::move(problem);
    return Status::Malformed;
}

MessageReader::Status MessageReader::Next(ProtocolMessage& message) {
    if (!problem_.empty()) {
        return Status::Malformed;
    }
    const std::size_t end = buffer_.find('\n');
    if (end == std::string::npos) {
        return buffer_.size() > kMaximumLineLength ? Fail("line too long") : Status::Incomplete;
    }
    if (end > kMaximumLineLength) {
        return Fail("line too long");
    }
    std::string_view line(buffer_.data(), end);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return Fail("empty line");
    }
    std::vector<std::string> words = SplitWords(line);
    std::size_t payloadSize = 0;
    if (CarriesPayload(words.front())) {
        const auto size = words.size() > 1 ? ParseCount(words.back()) : std::nullopt;
        if (!size || *size > kMaximumPayload) {
            return Fail("bad payload length");
        }
        payloadSize = static_cast<std::size_t>(*size);
    }
    if (buffer_.size() - (end + 1) < payloadSize) {
        return Status::Incomplete;
    }
    message.command = std::move(words.front());
    message.arguments.assign(std::make_move_iterator(words.begin() + 1),
                             std::make_move_iterator(words.end()));
    message.payload = buffer_.substr(end + 1, payloadSize);
    buffer_.erase(0, end + 1 + payloadSize);
    return Status::Complete;
}

std::string EncodeMessage(std::string_view line, std::string_view payload) {
    std::string message;
    message.reserve(line.size() + 1 + payload.size());
    message.append(line);
    message.push_back('\n');
    message.append(payload);
    return message;
}

std::string SamplesToPayload(std::span<const std::int16_t> samples) {
    std::string payload;
    payload.reserve(samples.size() * 2);
    for (const std::int16_t sample : samples) {
        const auto value = static_cast<std::uint16_t>(sample);
        payload.push_back(static_cast<char>(value & 0xFFu));
        payload.push_back(static_cast<char>(value >> 8));
    }
    return payload;
}

std::vector<std::int16_t> PayloadToSamples(std::string_view payload) {
    std::vector<std::int16_t> samples;
    samples.reserve(payload.size() / 2);
    for (std::size_t index = 0; index + 1 < payload.size(); index += 2) {
        const auto low = static_cast<unsigned char>(payload[index]);
        const auto high = static_cast<unsigned char>(payload[index + 1]);
        samples.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8))));
    }
    return samples;
}

std::optional<std::uint64_t> ParseCount(std::string_view text) {
    if (text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char character : text) {
        if (character < '0' || character > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(character - '0');
    }
    return value;
}

}  // namespace porthold::service
