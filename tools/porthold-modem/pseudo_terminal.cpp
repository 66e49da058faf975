#include "pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace porthold::modem_emulator {

PseudoTerminal::~PseudoTerminal() {
    if (slave_ >= 0) {
        ::close(slave_);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

bool PseudoTerminal::Open(std::string& problem) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        problem = std::string("no pseudo-terminal to be had: ") + std::strerror(errno);
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof(name)) != 0) {
        problem = std::string("the pseudo-terminal has no name: ") + std::strerror(errno);
        return false;
    }
    path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (slave_ < 0 || ::tcgetattr(slave_, &settings) != 0) {
        problem = "cannot open " + path_ + ": " + std::strerror(errno);
        return false;
    }
    // No echo, no line editing, no translation of line ends: a modem's port
    // passes bytes as they are.
    ::cfmakeraw(&settings);
    if (::tcsetattr(slave_, TCSANOW, &settings) != 0) {
        problem = "cannot set " + path_ + " to raw mode: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace porthold::modem_emulator
