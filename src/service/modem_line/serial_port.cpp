#include "service/modem_line/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace porthold::service::modem {
namespace {

constexpr std::size_t kReadChunk = 4096;

speed_t SpeedConstant(std::uint32_t speed) {
    switch (speed) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 230400:
            return B230400;
        default:
            return B115200;
    }
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

bool Configure(int descriptor, std::uint32_t speed, FlowControl flow, std::string& problem) {
    termios settings{};
    if (::tcgetattr(descriptor, &settings) != 0) {
        problem = "is not a serial port (" + ErrorText(errno) + ")";
        return false;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE);
    // HUPCL drops DTR when the port is closed, which hangs a modem up (its
    // factory &D2): a line whose program goes away mid-call is not left
    // off hook.
    settings.c_cflag |= CS8 | CLOCAL | CREAD | HUPCL;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, SpeedConstant(speed));
    ::cfsetospeed(&settings, SpeedConstant(speed));
    if (::tcsetattr(descriptor, TCSANOW, &settings) != 0) {
        problem = "cannot be set up (" + ErrorText(errno) + ")";
        return false;
    }
    if (flow == FlowControl::RtsCts) {
        // A pseudo-terminal refuses hardware flow control; it has no wires
        // that could need it.
        settings.c_cflag |= CRTSCTS;
        ::tcsetattr(descriptor, TCSANOW, &settings);
    }
    ::tcflush(descriptor, TCIOFLUSH);
    return true;
}

}  // namespace

std::unique_ptr<SerialPort> SerialPort::Open(const std::string& device, std::uint32_t speed,
                                             FlowControl flow, std::string& problem) {
    const auto inUse = [&] {
        problem = "is in use by another program (ModemManager probes modems; see the README)";
        return nullptr;
    };
    const int descriptor = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        // A port another program holds with TIOCEXCL refuses the open itself.
        if (errno == EBUSY) {
            return inUse();
        }
        problem = "cannot be opened (" + ErrorText(errno) + ")";
        return nullptr;
    }
    std::unique_ptr<SerialPort> port(new SerialPort(descriptor));
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        return inUse();
    }
    // Keeps later opens out, except root's; the flock above covers those.
    ::ioctl(descriptor, TIOCEXCL);
    if (!Configure(descriptor, speed, flow, problem)) {
        return nullptr;
    }
    return port;
}

SerialPort::~SerialPort() {
    ::ioctl(descriptor_, TIOCNXCL);
    ::close(descriptor_);
}

PortStatus SerialPort::Read(std::string& bytes, std::string& problem) {
    bytes.clear();
    std::array<char, kReadChunk> buffer{};
    const ssize_t count = ::read(descriptor_, buffer.data(), buffer.size());
    if (count > 0) {
        bytes.assign(buffer.data(), static_cast<std::size_t>(count));
        return PortStatus::Working;
    }
    if (count == 0) {
        problem = "went away";
        return PortStatus::Gone;
    }
    if (errno == EAGAIN || errno == EINTR) {
        return PortStatus::Working;
    }
    // EIO, ENODEV, ENXIO: the modem was unplugged or its port broke.
    problem = "went away (" + ErrorText(errno) + ")";
    return PortStatus::Gone;
}

PortStatus SerialPort::Write(std::string& bytes, std::string& problem) {
    if (bytes.empty()) {
        return PortStatus::Working;
    }
    const ssize_t count = ::write(descriptor_, bytes.data(), bytes.size());
    if (count >= 0) {
        bytes.erase(0, static_cast<std::size_t>(count));
        return PortStatus::Working;
    }
    if (errno == EAGAIN || errno == EINTR) {
        return PortStatus::Working;
    }
    problem = "went away (" + ErrorText(errno) + ")";
    return PortStatus::Gone;
}

}  // namespace porthold::service::modem
