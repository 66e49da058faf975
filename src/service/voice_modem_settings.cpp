#include "service/voice_modem_settings.h"

#include <array>
#include <set>
#include <string_view>

namespace porthold::service {
namespace {

// A device path longer than this is a typing mistake, never a real device.
constexpr std::size_t kLongestDevicePath = 256;

constexpr std::array<std::uint32_t, 6> kSpeeds = {9600, 19200, 38400, 57600, 115200, 230400};

bool HasControlCharacter(std::string_view text) {
    for (const char character : text) {
        if (static_cast<unsigned char>(character) < 0x20 || character == 0x7f) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> ParseOption(std::string_view key, std::string_view value,
                                       VoiceModemSettings& settings) {
    if (key == "device") {
        if (value.empty() || value.front() != '/' || value.size() > kLongestDevicePath ||
            HasControlCharacter(value)) {
            return "device= needs the absolute path of the modem's serial device";
        }
        settings.device = std::string(value);
    } else if (key == "speed") {
        for (const std::uint32_t speed : kSpeeds) {
            if (value == std::to_string(speed)) {
                settings.speed = speed;
                return std::nullopt;
            }
        }
        return "speed= needs 9600, 19200, 38400, 57600, 115200 or 230400";
    } else if (key == "caller-id") {
        if (value == "auto") {
            settings.callerId = CallerIdCommand::Automatic;
        } else if (value == "vcid") {
            settings.callerId = CallerIdCommand::Vcid;
        } else if (value == "cid") {
            settings.callerId = CallerIdCommand::Cid;
        } else if (value == "off") {
            settings.callerId = CallerIdCommand::Off;
        } else {
            return "caller-id= needs auto, vcid, cid or off";
        }
    } else if (key == "flow") {
        if (value == "rtscts") {
            settings.flow = FlowControl::RtsCts;
        } else if (value == "none") {
            settings.flow = FlowControl::None;
        } else {
            return "flow= needs rtscts or none";
        }
    } else {
        return "unknown option \"" + std::string(key) + "\"";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseVoiceModemOptions(std::span<const std::string> options,
                                                  VoiceModemSettings& settings) {
    std::set<std::string, std::less<>> seen;
    for (const std::string& option : options) {
        const std::size_t equals = option.find('=');
        if (equals == std::string::npos) {
            return "an option of a voice modem line is written key=value";
        }
        const std::string key = option.substr(0, equals);
        if (!seen.insert(key).second) {
            return "option \"" + key + "\" is given twice";
        }
        if (auto wrong = ParseOption(key, std::string_view(option).substr(equals + 1), settings)) {
            return wrong;
        }
    }
    if (settings.device.empty()) {
        return "a voice modem line needs device=";
    }
    return std::nullopt;
}

}  // namespace porthold::service
