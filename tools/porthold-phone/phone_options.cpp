#include "phone_options.h"

#include <unistd.h>

#include <string>
#include <string_view>

#include "audio/wave_layout.h"
#include "command_line_options.h"
#include "service/line_configuration.h"
#include "service/line_protocol.h"

namespace porthold::phone {
namespace {

using tools::IsOption;
using tools::OptionValue;

constexpr std::uint32_t kLongestSeconds = 24 * 60 * 60;
// A say: file goes to the line as one SAY message of two bytes a sample.
constexpr std::size_t kLongestSpeechSamples = service::kMaximumPayload / 2;

bool IsDtmfKey(char key) {
    return std::string_view("0123456789*#ABCD").find(key) != std::string_view::npos;
}

// Where a file is to be written: its folder must exist and take new files.
bool CanWriteInto(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    return !path.empty() && path.back() != '/' && ::access(folder.c_str(), W_OK) == 0;
}

std::optional<std::vector<std::int16_t>> ReadSpeech(const std::string& file, std::string& problem) {
    const std::optional<audio::WaveSamples> wave = audio::ReadWaveSamples(file);
    if (!wave) {
        problem = file + " is missing or not a WAVE file";
        return std::nullopt;
    }
    const platform::WaveFormat& format = wave->format;
    if (format.formatTag != platform::WAVE_FORMAT_PCM || format.channels != 1 ||
        format.samplesPerSecond != 8000 || format.bitsPerSample != 16 ||
        (wave->formatChunkSize != 16 && wave->formatChunkSize != 18)) {
        problem =
            file + " is not PCM at 8000 Hz, 16 bits, mono (with a 16- or 18-byte format chunk)";
        return std::nullopt;
    }
    // The line takes speech in one message of bounded length and refuses a
    // longer one in the middle of the call; checked here, it fails before
    // anything is dialled.
    if (wave->samples.size() > kLongestSpeechSamples) {
        problem = file + " is longer than the line takes (" +
                  std::to_string(kLongestSpeechSamples / 8000 / 60) + " minutes)";
        return std::nullopt;
    }
    return wave->samples;
}

std::optional<Step> ParseStep(const std::string& text, std::string& problem) {
    Step step;
    if (text == "hangup") {
        step.kind = Step::Kind::HangUp;
        return step;
    }
    const std::size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    const std::string value = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (colon == std::string::npos ||
        (name != "wait" && name != "keys" && name != "pulse" && name != "say")) {
        problem = "unknown step \"" + text + "\"";
        return std::nullopt;
    }
    if (name == "wait") {
        const auto milliseconds = ParseSeconds(value);
        if (!milliseconds) {
            problem = "wait needs seconds, not \"" + value + "\"";
            return std::nullopt;
        }
        step.kind = Step::Kind::Wait;
        step.milliseconds = *milliseconds;
    } else if (name == "keys") {
        step.kind = Step::Kind::Keys;
        for (char key : value) {
            if (key >= 'a' && key <= 'd') {
                key = static_cast<char>(key - 'a' + 'A');
            }
            if (!IsDtmfKey(key)) {
                problem = "unknown key \"" + std::string(1, key) + "\" in \"" + text +
                          "\" (keys are 0-9 * # A-D)";
                return std::nullopt;
            }
            step.keys.push_back(key);
        }
        if (step.keys.empty()) {
            problem = "keys: needs at least one key";
            return std::nullopt;
        }
    } else if (name == "pulse") {
        if (value.size() != 1 || value[0] < '0' || value[0] > '9') {
            problem = "pulse: takes one digit 0-9, not \"" + value + "\"";
            return std::nullopt;
        }
        step.kind = Step::Kind::Pulse;
        step.keys = value;
    } else {
        auto samples = ReadSpeech(value, problem);
        if (!samples) {
            return std::nullopt;
        }
        step.kind = Step::Kind::Say;
        step.file = value;
        step.samples = std::move(*samples);
    }
    return step;
}

std::optional<PhoneCommand> ParseCall(std::span<const std::string> arguments,
                                      const platform::ProcessEnvironment& environment,
                                      std::string& problem) {
    PhoneCommand command;
    command.kind = PhoneCommand::Kind::Call;
    CallOptions& call = command.call;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (IsOption(argument, "--socket")) {
            const auto value = OptionValue(arguments, index, "--socket", problem);
            if (!value || value->empty()) {
                problem = problem.empty() ? "--socket needs a path" : problem;
                return std::nullopt;
            }
            call.socketPath = *value;
        } else if (IsOption(argument, "--ring-every")) {
            const auto value = OptionValue(arguments, index, "--ring-every", problem);
            const auto milliseconds = value ? ParseSeconds(*value) : std::nullopt;
            if (!milliseconds || *milliseconds == 0) {
                problem = problem.empty() ? "--ring-every needs seconds above 0" : problem;
                return std::nullopt;
            }
            call.ringEveryMilliseconds = *milliseconds;
        } else if (IsOption(argument, "--rings-before-hangup")) {
            const auto value = OptionValue(arguments, index, "--rings-before-hangup", problem);
            const bool digits = value && !value->empty() && value->size() <= 6 &&
                                value->find_first_not_of("0123456789") == std::string::npos;
            if (!digits || std::stoul(*value) == 0) {
                problem =
                    problem.empty() ? "--rings-before-hangup needs a number above 0" : problem;
                return std::nullopt;
            }
            call.ringsBeforeHangUp = static_cast<std::uint32_t>(std::stoul(*value));
        } else if (IsOption(argument, "--hear")) {
            const auto value = OptionValue(arguments, index, "--hear", problem);
            if (!value || !CanWriteInto(*value)) {
                problem = problem.empty() ? "cannot write " + value.value_or("") : problem;
                return std::nullopt;
            }
            call.hearFile = *value;
        } else if (argument == "--trace") {
            call.trace = true;
        } else if (argument.starts_with("-")) {
            problem = "unknown option " + argument;
            return std::nullopt;
        } else {
            if (!call.steps.empty() && call.steps.back().kind == Step::Kind::HangUp) {
                problem = "nothing can follow hangup";
                return std::nullopt;
            }
            auto step = ParseStep(argument, problem);
            if (!step) {
                return std::nullopt;
            }
            call.steps.push_back(std::move(*step));
        }
    }
    if (call.socketPath.empty()) {
        call.socketPath = DefaultLineSocket(environment);
    }
    return command;
}

std::optional<PhoneCommand> ParseBusy(std::span<const std::string> arguments,
                                      const platform::ProcessEnvironment& environment,
                                      std::string& problem) {
    PhoneCommand command;
    command.kind = PhoneCommand::Kind::Busy;
    std::optional<std::uint32_t> milliseconds;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (IsOption(argument, "--socket")) {
            const auto value = OptionValue(arguments, index, "--socket", problem);
            if (!value || value->empty()) {
                problem = problem.empty() ? "--socket needs a path" : problem;
                return std::nullopt;
            }
            command.busy.socketPath = *value;
        } else if (!milliseconds && !argument.starts_with("-")) {
            milliseconds = ParseSeconds(argument);
            if (!milliseconds) {
                problem = "busy needs seconds, not \"" + argument + "\"";
                return std::nullopt;
            }
        } else {
            problem = "unexpected \"" + argument + "\"";
            return std::nullopt;
        }
    }
    if (!milliseconds) {
        problem = "busy needs the seconds to hold the line";
        return std::nullopt;
    }
    command.busy.milliseconds = *milliseconds;
    if (command.busy.socketPath.empty()) {
        command.busy.socketPath = DefaultLineSocket(environment);
    }
    return command;
}

}  // namespace

std::string UsageText() {
    return "usage: porthold-phone call [--socket PATH] [--ring-every SECONDS]\n"
           "                           [--rings-before-hangup N] [--hear FILE.wav] [--trace]\n"
           "                           [STEP ...]\n"
           "       porthold-phone busy [--socket PATH] SECONDS\n"
           "steps, after the answer: wait:SECONDS  keys:KEYS  pulse:DIGIT  say:FILE.wav  hangup\n";
}

std::optional<std::uint32_t> ParseSeconds(const std::string& text) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    const auto allDigits = [](const std::string& part) {
        return part.find_first_not_of("0123456789") == std::string::npos;
    };
    if ((whole.empty() && fraction.empty()) || !allDigits(whole) || !allDigits(fraction) ||
        (point != std::string::npos && fraction.empty()) || whole.size() > 6 ||
        fraction.size() > 9) {
        return std::nullopt;
    }
    // Whole milliseconds, the rest of the fraction rounded.
    std::uint64_t milliseconds = whole.empty() ? 0 : std::stoull(whole) * 1000;
    const std::string padded = fraction + "0000";
    milliseconds += std::stoull(padded.substr(0, 3));
    if (padded[3] >= '5') {
        ++milliseconds;
    }
    if (milliseconds > std::uint64_t{kLongestSeconds} * 1000) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(milliseconds);
}

std::string DefaultLineSocket(const platform::ProcessEnvironment& environment) {
    const service::ServiceConfiguration configuration =
        service::LoadServiceConfiguration(environment);
    // The phone can reach simulated lines only: a SIP line is called over SIP.
    for (const service::LineConfiguration& line : configuration.lines) {
        if (line.provider == service::ProviderKind::SimulatedModem) {
            return line.socketPath;
        }
    }
    return service::DefaultSocketFolder(environment) + "/" +
           std::string(service::kDefaultLineName) + ".sock";
}

std::optional<PhoneCommand> ParsePhoneCommand(std::span<const std::string> arguments,
                                              const platform::ProcessEnvironment& environment,
                                              std::string& problem) {
    if (arguments.empty()) {
        problem = "a command is needed: call or busy";
        return std::nullopt;
    }
    const std::string& command = arguments.front();
    if (command == "--help" || command == "-h" || command == "help") {
        return PhoneCommand{};
    }
    if (command == "call") {
        return ParseCall(arguments.subspan(1), environment, problem);
    }
    if (command == "busy") {
        return ParseBusy(arguments.subspan(1), environment, problem);
    }
    problem = "unknown command \"" + command + "\"";
    return std::nullopt;
}

}  // namespace porthold::phone
