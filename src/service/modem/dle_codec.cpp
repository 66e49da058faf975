#include "service/modem/dle_codec.h"

#include <vector>

namespace porthold::service::modem {

void AppendShielded(std::span<const std::uint8_t> audio, std::string& out) {
    out.reserve(out.size() + audio.size() + audio.size() / 64);
    for (const std::uint8_t byte : audio) {
        out.push_back(static_cast<char>(byte));
        if (byte == static_cast<std::uint8_t>(kDle)) {
            out.push_back(kDle);
        }
    }
}

std::string DleCode(char code) {
    return std::string{kDle, code};
}

void DleReader::Read(std::string_view bytes, Sink& sink) {
    // Audio runs are handed on whole, so a stream without codes costs one call
    // per read rather than one per byte.
    std::vector<std::uint8_t> audio;
    audio.reserve(bytes.size());
    const auto flushAudio = [&] {
        if (!audio.empty()) {
            sink.Audio(audio);
            audio.clear();
        }
    };
    for (const char byte : bytes) {
        if (pendingDle_) {
            pendingDle_ = false;
            if (byte == kDle) {
                audio.push_back(static_cast<std::uint8_t>(kDle));
            } else {
                flushAudio();
                sink.Event(byte);
            }
        } else if (byte == kDle) {
            pendingDle_ = true;
        } else {
            audio.push_back(static_cast<std::uint8_t>(byte));
        }
    }
    flushAudio();
}

}  // namespace porthold::service::modem
