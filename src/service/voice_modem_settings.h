#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace porthold::service {

// Which command turns on the caller ID a modem reports between the rings.
// Modems differ: most know AT+VCID=1, some older chips only AT#CID=1.
enum class CallerIdCommand { Automatic, Vcid, Cid, Off };

enum class FlowControl { RtsCts, None };

// How a voice modem line reaches its modem.
struct VoiceModemSettings {
    // The absolute path of the modem's serial device, such as /dev/ttyACM0.
    std::string device;
    std::uint32_t speed = 115200;
    CallerIdCommand callerId = CallerIdCommand::Automatic;
    FlowControl flow = FlowControl::RtsCts;
};

// Reads the options of an entry "line <name> voice-modem ..." (the words after
// "voice-modem") into `settings`:
//
//     device=<absolute path>                 (needed)
//     speed=9600|19200|38400|57600|115200|230400   (115200)
//     caller-id=auto|vcid|cid|off            (auto: +VCID, else #CID)
//     flow=rtscts|none                       (rtscts)
//
// Each option may be given once. On the first wrong option returns what is
// wrong.
std::optional<std::string> ParseVoiceModemOptions(std::span<const std::string> options,
                                                  VoiceModemSettings& settings);

}  // namespace porthold::service
