#include "emulator_options.h"

#include "command_line_options.h"
#include "service/line_configuration.h"

namespace porthold::modem_emulator {
namespace {

using tools::IsOption;
using tools::OptionValue;

// The longest caller-ID text an exchange sends.
constexpr std::size_t kLongestCallerIdText = 32;

bool IsPrintable(const std::string& text) {
    for (const char character : text) {
        if (character < ' ' || character > '~') {
            return false;
        }
    }
    return true;
}

// The switches that take no value.
bool TakeSwitch(const std::string& argument, EmulatorOptions& options) {
    ModemQuirks& quirks = options.quirks;
    if (argument == "--extra-dle") {
        quirks.end = EndOfPlayback::NeedsExtraDle;
    } else if (argument == "--ignore-vsd") {
        quirks.tones = ToneReports::Ignored;
    } else if (argument == "--echo") {
        quirks.echo = Echo::AlwaysOn;
    } else if (argument == "--vcon") {
        quirks.voiceLine = VoiceLineReply::Vcon;
    } else if (argument == "--key-thrice") {
        quirks.keys = KeyReports::ThreeTimes;
    } else if (argument == "--caller-id-first") {
        quirks.callerIdTiming = CallerIdTiming::BeforeFirstRing;
    } else if (argument == "--forget-caller-id") {
        quirks.callerIdAfterReset = CallerIdAfterReset::Forgotten;
    } else if (argument == "--help" || argument == "-h") {
        options.help = true;
    } else {
        return false;
    }
    return true;
}

// The options that take a value; false with `problem` set when the value is
// wrong, false with `problem` empty when `argument` is none of them.
bool TakeValue(std::span<const std::string> arguments, std::size_t& index, EmulatorOptions& options,
               std::string& problem) {
    const std::string& argument = arguments[index];
    for (const char* name :
         {"--chip", "--link", "--socket", "--name", "--number", "--stop-answering-after"}) {
        if (!IsOption(argument, name)) {
            continue;
        }
        const std::optional<std::string> value = OptionValue(arguments, index, name, problem);
        if (!value) {
            return false;
        }
        const std::string option = name;
        if (option == "--chip" && (*value == "usr" || *value == "cx93001")) {
            options.quirks.chip = *value == "usr" ? ChipProfile::Usr : ChipProfile::Cx93001;
        } else if ((option == "--link" || option == "--socket") && !value->empty()) {
            (option == "--link" ? options.linkPath : options.socketPath) = *value;
        } else if (option == "--name" && value->size() <= kLongestCallerIdText &&
                   IsPrintable(*value)) {
            options.callerId.name = *value;
        } else if (option == "--number" && value->size() <= kLongestCallerIdText &&
                   (*value == "P" || *value == "O" ||
                    value->find_first_not_of("0123456789") == std::string::npos)) {
            options.callerId.number = *value;
        } else if (option == "--stop-answering-after" && !value->empty() && value->size() <= 6 &&
                   value->find_first_not_of("0123456789") == std::string::npos) {
            options.stopAnsweringAfter = static_cast<std::uint32_t>(std::stoul(*value));
        } else {
            problem = "bad value \"" + *value + "\" for " + option;
            return false;
        }
        return true;
    }
    return false;
}

}  // namespace

std::string EmulatorUsageText() {
    return "usage: porthold-modem [--chip usr|cx93001] [--link PATH] [--socket PATH]\n"
           "                      [--extra-dle] [--ignore-vsd] [--echo] [--vcon] [--key-thrice]\n"
           "                      [--caller-id-first] [--forget-caller-id]\n"
           "                      [--stop-answering-after LINES] [--name TEXT] [--number DIGITS]\n"
           "Plays a voice modem on a pseudo-terminal; porthold-phone calls it through the\n"
           "line socket. --stop-answering-after: answer that many command lines, then hang.\n";
}

std::optional<EmulatorOptions> ParseEmulatorOptions(std::span<const std::string> arguments,
                                                    const platform::ProcessEnvironment& environment,
                                                    std::string& problem) {
    EmulatorOptions options;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        if (TakeSwitch(arguments[index], options)) {
            continue;
        }
        if (TakeValue(arguments, index, options, problem)) {
            continue;
        }
        if (problem.empty()) {
            problem = "unknown option " + arguments[index];
        }
        return std::nullopt;
    }
    if (options.socketPath.empty()) {
        options.socketPath = service::DefaultSocketFolder(environment) + "/modem.sock";
    }
    return options;
}

}  // namespace porthold::modem_emulator
