#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "modem_emulator.h"
#include "platform/environment.h"

namespace porthold::modem_emulator {

struct EmulatorOptions {
    ModemQuirks quirks;
    CallerIdentity callerId;
    // Where to put a link to the modem's terminal; empty: nowhere.
    std::string linkPath;
    std::string socketPath;
    // Command lines answered before the modem hangs; none: it never does.
    std::optional<std::uint32_t> stopAnsweringAfter;
    bool help = false;
};

std::string EmulatorUsageText();

// The command line without the program name. None, with the reason in
// `problem`, for anything wrong.
std::optional<EmulatorOptions> ParseEmulatorOptions(std::span<const std::string> arguments,
                                                    const platform::ProcessEnvironment& environment,
                                                    std::string& problem);

}  // namespace porthold::modem_emulator
