// The modem's command mode: AT command lines, echoed and answered.

#include <cctype>
#include <string>
#include <utility>

#include "modem_emulator.h"

namespace porthold::modem_emulator {
namespace {

// A command line longer than any real one is a stream of garbage: it is
// dropped and answered ERROR.
constexpr std::size_t kLongestCommandLine = 256;

constexpr char kBackspace = '\x08';

// Commands a voice modem takes whose settings make no difference here: the
// inactivity timer, the silence and tone reports, gains, ring-back and
// answer timers, the tone and detection reports.
constexpr std::string_view kAcceptedVoiceSettings[] = {"+VIT", "+VSD", "+VGT", "+VGR", "+VRA",
                                                       "+VRN", "+VDR", "+VTD", "+VNH", "+VEM"};

std::string Normalised(std::string_view line) {
    std::string text;
    for (const char character : line) {
        if (character != ' ') {
            text.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(character))));
        }
    }
    return text;
}

// A number of up to `mostDigits` digits at the start of `text`, taken off it.
std::optional<int> TakeNumber(std::string_view& text, std::size_t mostDigits = 3) {
    int value = 0;
    std::size_t length = 0;
    while (length < text.size() && length <= mostDigits &&
           std::isdigit(static_cast<unsigned char>(text[length]))) {
        value = value * 10 + (text[length] - '0');
        ++length;
    }
    if (length == 0 || length > mostDigits) {
        return std::nullopt;
    }
    text.remove_prefix(length);
    return value;
}

// The digit after a basic command, if any, taken off `text`.
std::optional<int> TakeDigit(std::string_view& text) {
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text.front()))) {
        const int digit = text.front() - '0';
        text.remove_prefix(1);
        return digit;
    }
    return std::nullopt;
}

// Splits "+VSM=128,8000" into "+VSM" and "=128,8000".
std::pair<std::string_view, std::string_view> SplitCommand(std::string_view command) {
    const std::size_t end = command.find_first_of("=?");
    if (end == std::string_view::npos) {
        return {command, {}};
    }
    return {command.substr(0, end), command.substr(end)};
}

}  // namespace

void ModemEmulator::ReceiveCommandBytes(std::string_view bytes) {
    // Echoed a line at a time, before the line runs, as a modem echoes each
    // character as it comes.
    std::size_t echoedUpTo = 0;
    const auto echoUpTo = [&](std::size_t end) {
        if (echo_ || quirks_.echo == Echo::AlwaysOn) {
            computer_.Send(bytes.substr(echoedUpTo, end - echoedUpTo));
        }
        echoedUpTo = end;
    };
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        const char byte = bytes[index];
        if (byte == '\r' || byte == '\n') {
            echoUpTo(index + 1);
            std::string line = std::exchange(commandLine_, {});
            if (std::exchange(commandLineOverflow_, false)) {
                SendResult(Result::Error);
            } else if (!line.empty()) {
                RunCommandLine(std::move(line));
            }
            if (IsSilent()) {
                return;
            }
            if (mode_ != Mode::Command) {
                ReceiveStreamBytes(bytes.substr(index + 1));
                return;
            }
        } else if (byte == kBackspace) {
            if (!commandLine_.empty()) {
                commandLine_.pop_back();
            }
        } else if (byte >= ' ' && byte <= '~') {
            if (commandLine_.size() < kLongestCommandLine) {
                commandLine_.push_back(byte);
            } else {
                commandLineOverflow_ = true;
            }
        }
    }
    if (echoedUpTo < bytes.size()) {
        echoUpTo(bytes.size());
    }
}

void ModemEmulator::RunCommandLine(std::string line) {
    if (commandLinesLeft_) {
        if (*commandLinesLeft_ == 0) {
            answering_ = false;
            return;
        }
        --*commandLinesLeft_;
    }
    const std::string text = Normalised(line);
    // Anything not starting with AT is noise on the line, which modems
    // ignore.
    if (!text.starts_with("AT")) {
        return;
    }
    SendResult(RunBasicCommands(std::string_view(text).substr(2)));
}

ModemEmulator::Result ModemEmulator::RunBasicCommands(std::string_view body) {
    while (!body.empty()) {
        const char command = body.front();
        if (command == '+' || command == '#') {
            return RunExtendedCommand(body);
        }
        body.remove_prefix(1);
        if (const std::optional<Result> last = RunBasicCommand(command, body)) {
            return *last;
        }
    }
    return Result::Ok;
}

std::optional<ModemEmulator::Result> ModemEmulator::RunBasicCommand(char command,
                                                                    std::string_view& rest) {
    const std::optional<int> digit = TakeDigit(rest);
    switch (command) {
        case 'E':
            if (digit.value_or(1) > 1) {
                return Result::Error;
            }
            echo_ = digit.value_or(1) == 1;
            return std::nullopt;
        case 'V':
        case 'Q':
        case 'L':
        case 'M':
        case 'X':
            return std::nullopt;
        case 'Z':
            Reset();
            return std::nullopt;
        case 'H':
            if (digit.value_or(0) != 0) {
                return Result::Error;
            }
            GoOnHook();
            return std::nullopt;
        case 'I':
            SendLine(chip_.identity);
            return std::nullopt;
        case 'A':
            // Never in voice mode: a voice modem goes off hook with +VLS.
            return voiceMode_ ? Result::Error : Result::NoCarrier;
        case 'S':
            return digit ? RunRegisterCommand(rest) : Result::Error;
        case '&':
            if (digit || rest.empty() || !std::isalpha(static_cast<unsigned char>(rest.front()))) {
                return Result::Error;
            }
            if (rest.front() == 'F') {
                Reset();
            }
            rest.remove_prefix(1);
            TakeDigit(rest);
            return std::nullopt;
        default:
            return Result::Error;
    }
}

std::optional<ModemEmulator::Result> ModemEmulator::RunRegisterCommand(std::string_view& rest) {
    // The register number may have more digits. Registers are taken, and
    // read as 0: none changes what the emulator does.
    TakeNumber(rest);
    if (rest.starts_with("?")) {
        rest.remove_prefix(1);
        SendLine("000");
        return std::nullopt;
    }
    if (rest.starts_with("=")) {
        rest.remove_prefix(1);
        TakeNumber(rest);
        return std::nullopt;
    }
    return Result::Error;
}

ModemEmulator::Result ModemEmulator::RunExtendedCommand(std::string_view command) {
    const auto [name, rest] = SplitCommand(command);
    if (name == "+FCLASS") {
        if (rest == "=?") {
            SendLine("0,8");
        } else if (rest == "?") {
            SendLine(voiceMode_ ? "8" : "0");
        } else if (rest == "=0") {
            // Leaving voice mode lets go of the line.
            GoOnHook();
            voiceMode_ = false;
        } else if (rest == "=8") {
            voiceMode_ = true;
        } else {
            return Result::Error;
        }
        return Result::Ok;
    }
    if (name == "+VCID" || name == "#CID") {
        return RunCallerIdCommand(command);
    }
    if (name.starts_with("+V")) {
        return RunVoiceCommand(command);
    }
    return Result::Error;
}

ModemEmulator::Result ModemEmulator::RunCallerIdCommand(std::string_view command) {
    const auto [name, rest] = SplitCommand(command);
    if (!(name == "+VCID" ? chip_.takesVcid : chip_.takesHashCid)) {
        return Result::Error;
    }
    if (rest == "=?") {
        SendLine("(0-1)");
    } else if (rest == "?") {
        SendLine(callerIdOn_ ? "1" : "0");
    } else if (rest == "=0" || rest == "=1") {
        callerIdOn_ = rest == "=1";
    } else {
        return Result::Error;
    }
    return Result::Ok;
}

ModemEmulator::Result ModemEmulator::RunVoiceCommand(std::string_view command) {
    // The voice commands exist only in voice mode.
    if (!voiceMode_) {
        return Result::Error;
    }
    const auto [name, rest] = SplitCommand(command);
    if (name == "+VSM") {
        return RunCompressionCommand(rest);
    }
    if (name == "+VLS") {
        return RunVoiceLineCommand(rest);
    }
    if ((name == "+VTX" || name == "+VRX") && rest.empty()) {
        return StartStreaming(name == "+VTX" ? Mode::Playing : Mode::Recording);
    }
    for (const std::string_view accepted : kAcceptedVoiceSettings) {
        if (name == accepted) {
            return Result::Ok;
        }
    }
    return Result::Error;
}

ModemEmulator::Result ModemEmulator::RunCompressionCommand(std::string_view value) {
    if (value == "=?") {
        for (const OfferedFormat& format : chip_.formats) {
            SendLine(format.text);
        }
        return Result::Ok;
    }
    if (value == "?") {
        SendLine(std::to_string(compression_->number) + ",8000");
        return Result::Ok;
    }
    if (!value.starts_with("=")) {
        return Result::Error;
    }
    value.remove_prefix(1);
    const std::optional<int> number = TakeNumber(value);
    // The rate may be left out; what follows it (silence detection and the
    // like) makes no difference.
    std::optional<int> rate = 8000;
    if (value.starts_with(",")) {
        value.remove_prefix(1);
        rate = TakeNumber(value, 5);
    }
    const OfferedFormat* format = number ? FindFormat(chip_, *number) : nullptr;
    if (format == nullptr || rate != 8000 || !format->takes8000 ||
        format->encoding == service::modem::SampleEncoding::Other ||
        (!value.empty() && !value.starts_with(","))) {
        return Result::Error;
    }
    compression_ = format;
    return Result::Ok;
}

ModemEmulator::Result ModemEmulator::RunVoiceLineCommand(std::string_view value) {
    if (value == "=?") {
        for (const std::string_view state : chip_.voiceLineStates) {
            SendLine(state);
        }
        return Result::Ok;
    }
    if (value == "?") {
        SendLine(offHook_ ? "1" : "0");
        return Result::Ok;
    }
    if (value == "=0") {
        GoOnHook();
        return Result::Ok;
    }
    if (value == "=1") {
        return GoOffHook();
    }
    return Result::Error;
}

ModemEmulator::Result ModemEmulator::StartStreaming(Mode mode) {
    if (!offHook_) {
        return Result::Error;
    }
    const bool opened = mode == Mode::Playing ? playback_.Open(compression_->encoding)
                                              : recording_.Open(clock_.TickCount());
    if (!opened) {
        return Result::Error;
    }
    mode_ = mode;
    streamPendingDle_ = false;
    lastAudioWasDle_ = false;
    return Result::Connect;
}

void ModemEmulator::Reset() {
    GoOnHook();
    voiceMode_ = false;
    echo_ = true;
    compression_ = &DefaultFormat(chip_);
    if (quirks_.callerIdAfterReset == CallerIdAfterReset::Forgotten) {
        callerIdOn_ = false;
    }
}

void ModemEmulator::SendResult(Result result) {
    switch (result) {
        case Result::Ok:
            SendLine("OK");
            break;
        case Result::Error:
            SendLine("ERROR");
            break;
        case Result::Connect:
            SendLine("CONNECT");
            break;
        case Result::Vcon:
            SendLine("VCON");
            break;
        case Result::NoCarrier:
            SendLine("NO CARRIER");
            break;
    }
}

}  // namespace porthold::modem_emulator
