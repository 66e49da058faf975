#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "service/voice_modem_settings.h"

namespace porthold::service::modem {

enum class PortStatus { Working, Gone };

// A modem's serial port, opened for this program alone: raw 8N1 at the
// configured speed, non-blocking, with the modem's carrier ignored. A port
// another program has opened exclusively or locked with flock is refused
// (ModemManager, for one, probes every new modem). Works on a pseudo-terminal
// too, where hardware flow control is not available and not needed.
class SerialPort {
public:
    // The open port, or null with the reason in `problem`.
    static std::unique_ptr<SerialPort> Open(const std::string& device, std::uint32_t speed,
                                            FlowControl flow, std::string& problem);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    int Descriptor() const { return descriptor_; }

    // Reads what has arrived into `bytes` (cleared first). Gone when the
    // device vanished or broke; `problem` then says how.
    PortStatus Read(std::string& bytes, std::string& problem);
    // Writes what the port takes now from the front of `bytes` and removes
    // it; the rest waits for the next call.
    PortStatus Write(std::string& bytes, std::string& problem);

private:
    explicit SerialPort(int descriptor) : descriptor_(descriptor) {}

    int descriptor_;
};

}  // namespace porthold::service::modem
