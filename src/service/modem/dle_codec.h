#pragma once

// A voice modem mixes its audio and its reports in one byte stream. The byte
// DLE (0x10) starts a two-byte code: DLE DLE is one 0x10 of audio, and DLE
// followed by another byte is an event (a key, a tone heard on the line) or,
// from the computer, a command (end of playback, stop recording). The same
// shielding applies in both directions.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace porthold::service::modem {

inline constexpr char kDle = '\x10';
inline constexpr char kEtx = '\x03';  // DLE ETX: the end of audio
inline constexpr char kCan = '\x18';  // DLE CAN: drop the audio not yet played
inline constexpr char kStopRecording = '!';
inline constexpr char kUnderrun = 'u';

// Appends `audio` to `out` with every DLE doubled.
void AppendShielded(std::span<const std::uint8_t> audio, std::string& out);

// The two-byte code DLE `code`.
std::string DleCode(char code);

// Splits a shielded stream into audio and events. The stream may arrive cut
// anywhere, even between a DLE and the byte after it: Read keeps that DLE
// and finishes the code with the next call.
class DleReader {
public:
    class Sink {
    public:
        virtual ~Sink() = default;
        // Audio bytes in stream order, unshielded.
        virtual void Audio(std::span<const std::uint8_t> bytes) = 0;
        // The byte after a DLE that was not DLE: a key, a tone, ETX...
        virtual void Event(char code) = 0;
    };

    void Read(std::string_view bytes, Sink& sink);
    // Forgets a DLE left waiting, for a stream that starts anew.
    void Reset() { pendingDle_ = false; }

private:
    bool pendingDle_ = false;
};

}  // namespace porthold::service::modem
