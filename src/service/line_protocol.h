#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace porthold::service {

// The conversation between a simulated line and porthold-phone over the
// line's local socket. Every message is one text line ending in "\n": a
// command and its arguments separated by single blanks. SAY and HEARD are
// followed by a payload of as many bytes as their last argument says: 16-bit
// little-endian PCM samples, mono, 8000 a second.
//
// The line greets each connection:   PORTHOLD-LINE 1 <line name>
// The phone asks:
//   DIAL                       answered OFFERED, or BUSY (the line has a call)
//   RING                       one ring of the dialled call
//   KEY <key> DTMF|PULSE       a key after the answer: 0-9 * # A-D; pulse 0-9
//   SAY <bytes> + payload      the caller speaks, from now on
//   HANGUP                     answered ENDED, after the last HEARD
//   HOLD                       another application's call holds the line:
//                              answered HELD, or BUSY
//   RELEASE                    answered RELEASED
// The line tells:
//   ANSWERED                   the program answered
//   HEARD <sample> <bytes> + payload
//                              what the caller heard; <sample> counts samples
//                              from the answer, the gaps between are silence
//   HUNGUP                     the program hung up (after the last HEARD)
//   ERROR <text>               a message it could not take; it then closes
//
// A phone that goes away during a call has hung up; a line that goes away
// has hung up on the phone.
inline constexpr std::string_view kGreeting = "PORTHOLD-LINE";
inline constexpr std::string_view kProtocolVersion = "1";

// The longest text line either side sends.
inline constexpr std::size_t kMaximumLineLength = 256;
// Ten minutes of speech or of heard audio in one message.
inline constexpr std::size_t kMaximumPayload = 8000 * 2 * 600;

struct ProtocolMessage {
    std::string command;
    std::vector<std::string> arguments;
    std::string payload;
};

// Takes the bytes of a connection as they come and cuts them into messages.
class MessageReader {
public:
    enum class Status { Incomplete, Complete, Malformed };

    void Append(std::string_view bytes) { buffer_.append(bytes); }

    // The next whole message. Malformed (with the reason in Problem()) for a
    // line longer than allowed, an empty line, or a payload length that is not
    // a number or too large; the connection cannot be read further then.
    Status Next(ProtocolMessage& message);

    const std::string& Problem() const { return problem_; }

private:
    Status Fail(std::string problem);

    std::string buffer_;
    std::string problem_;
};

// One message as sent: "<line>\n" followed by the payload.
std::string EncodeMessage(std::string_view line, std::string_view payload = {});

// Samples as payload bytes, and back (an odd byte at the end is dropped).
std::string SamplesToPayload(std::span<const std::int16_t> samples);
std::vector<std::int16_t> PayloadToSamples(std::string_view payload);

// A whole decimal number without sign, or none.
std::optional<std::uint64_t> ParseCount(std::string_view text);

}  // namespace porthold::service
