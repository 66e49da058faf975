#pragma once

#include <string>

namespace porthold::modem_emulator {

// A pseudo-terminal in raw mode: the modem's end (the master) for the
// emulator, the other end's path for the program that opens the "modem".
// It keeps the other end open itself, so that the master never reads EIO
// when that program closes the port, and the terminal's settings last.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // False, with the reason in `problem`, when no terminal can be had.
    bool Open(std::string& problem);

    // Non-blocking.
    int Master() const { return master_; }
    const std::string& Path() const { return path_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

}  // namespace porthold::modem_emulator
