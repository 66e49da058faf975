#pragma once

#include <iostream>

#include "emulator_options.h"

namespace porthold::modem_emulator {

// Runs the modem on a pseudo-terminal, its line served on the line socket,
// until SIGINT or SIGTERM. The exit status: 0 after a signal, 1 when the
// modem could not be set up.
int RunModemProgram(const EmulatorOptions& options, std::ostream& out, std::ostream& errors);

}  // namespace porthold::modem_emulator
