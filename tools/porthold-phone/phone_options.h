#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace porthold::phone {

// One thing the caller does after the answer.
struct Step {
    enum class Kind { Wait, Keys, Pulse, Say, HangUp };
    Kind kind = Kind::Wait;
    std::uint32_t milliseconds = 0;     // Wait
    std::string keys;                   // Keys (DTMF), Pulse (one digit)
    std::string file;                   // Say
    std::vector<std::int16_t> samples;  // Say: 8000 a second, mono
};

struct CallOptions {
    std::string socketPath;
    std::uint32_t ringEveryMilliseconds = 6000;
    // The caller gives up after this many rings unanswered; none: never.
    std::optional<std::uint32_t> ringsBeforeHangUp;
    // Where to write what the caller heard; empty: nowhere.
    std::string hearFile;
    // Whether the timeline is stamped with the machine's monotonic clock (in
    // milliseconds, to the microsecond) rather than the time since the dial,
    // so that it can be set against another process's readings.
    bool trace = false;
    std::vector<Step> steps;
};

struct BusyOptions {
    std::string socketPath;
    std::uint32_t milliseconds = 0;
};

struct PhoneCommand {
    enum class Kind { Call, Busy, Help };
    Kind kind = Kind::Help;
    CallOptions call;
    BusyOptions busy;
};

// The usage text, as shown for --help and after a usage error.
std::string UsageText();

// The command line (without the program name) checked in full, the WAVE files
// of say: steps read, before anything is dialled. None, with the reason in
// `problem`, for anything wrong.
std::optional<PhoneCommand> ParsePhoneCommand(std::span<const std::string> arguments,
                                              const platform::ProcessEnvironment& environment,
                                              std::string& problem);

// The socket of the line porthold-phone calls without --socket: the first
// line of the service's configuration.
std::string DefaultLineSocket(const platform::ProcessEnvironment& environment);

// "6", "0.2", "1.25" as milliseconds (rounded to the nearest); none for
// anything else or more than a day.
std::optional<std::uint32_t> ParseSeconds(const std::string& text);

}  // namespace porthold::phone
