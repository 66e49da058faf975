#include "service/line_configuration.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <sstream>
#include <utility>

#include "platform/files.h"
#include "platform/private_folder.h"

namespace porthold::service {
namespace {

bool IsAbsoluteSetting(const std::optional<std::string>& value) {
    return value && !value->empty() && value->front() == '/';
}

// Names become file names, so they keep to a safe alphabet.
bool IsValidName(std::string_view name) {
    return !name.empty() && name.size() <= 32 && name.front() != '.' &&
           std::all_of(name.begin(), name.end(), [](char character) {
               return (character >= 'a' && character <= 'z') ||
                      (character >= 'A' && character <= 'Z') ||
                      (character >= '0' && character <= '9') || character == '-' ||
                      character == '_' || character == '.';
           });
}

// A '#' at the start of the line or after whitespace starts a comment; one
// inside a word is part of the word. A file written for Windows keeps its
// carriage returns, which are whitespace too.
std::string WithoutComment(const std::string& text) {
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '#' &&
            (index == 0 || std::isspace(static_cast<unsigned char>(text[index - 1])))) {
            return text.substr(0, index);
        }
    }
    return text;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

std::optional<std::string> ParseSimulatedModemOptions(std::span<const std::string> options,
                                                      LineConfiguration& line) {
    for (const std::string& option : options) {
        if (option.starts_with("socket=")) {
            line.socketPath = option.substr(7);
            if (line.socketPath.empty() || line.socketPath.front() != '/') {
                return "the socket of line \"" + line.name + "\" needs an absolute path";
            }
        } else if (option == "answer=reply-first") {
            line.answerOrder = AnswerOrder::ReplyThenConnected;
        } else if (option == "answer=connected-first") {
            line.answerOrder = AnswerOrder::ConnectedThenReply;
        } else {
            return "unknown option \"" + option + "\"";
        }
    }
    return std::nullopt;
}

class Parser {
public:
    Parser(std::string_view fileName, SipPathBase sipPaths,
           const platform::ProcessEnvironment& environment)
        : fileName_(fileName), sipPaths_(std::move(sipPaths)), environment_(environment) {}

    void ParseLine(const std::string& text, int number) {
        const std::vector<std::string> words = Words(WithoutComment(text));
        if (words.empty()) {
            return;
        }
        const auto problem = [&](const std::string& what) {
            result_.problems.push_back(std::string(fileName_) + ":" + std::to_string(number) +
                                       ": " + what);
        };
        if (words[0] != "line") {
            problem("unknown entry \"" + words[0] + "\"");
            return;
        }
        if (words.size() < 3) {
            problem("a line needs a name and a provider");
            return;
        }
        LineConfiguration line;
        line.name = words[1];
        if (!IsValidName(line.name)) {
            problem("\"" + line.name + "\" is not a usable line name (letters, digits, - _ .)");
            return;
        }
        if (std::any_of(result_.lines.begin(), result_.lines.end(),
                        [&](const LineConfiguration& other) { return other.name == line.name; })) {
            problem("line \"" + line.name + "\" is configured twice");
            return;
        }
        const std::span<const std::string> options(words.begin() + 3, words.end());
        std::optional<std::string> wrong;
        if (words[2] == "simulated-modem") {
            wrong = ParseSimulatedModemOptions(options, line);
        } else if (words[2] == "sip") {
            line.provider = ProviderKind::Sip;
            wrong = ParseSipOptions(options, sipPaths_, line.sip);
            if (wrong) {
                wrong = "line \"" + line.name + "\": " + *wrong;
            }
        } else if (words[2] == "voice-modem") {
            line.provider = ProviderKind::VoiceModem;
            wrong = ParseVoiceModemOptions(options, line.modem);
            if (wrong) {
                wrong = "line \"" + line.name + "\": " + *wrong;
            }
        } else {
            wrong = "unknown provider \"" + words[2] + "\"";
        }
        if (wrong) {
            problem(*wrong);
            return;
        }
        result_.lines.push_back(std::move(line));
    }

    // Gives each simulated line without a socket its default one. SIP and
    // voice modem lines have no socket: porthold-phone cannot reach them.
    ServiceConfiguration Finish() {
        bool firstSimulated = true;
        for (LineConfiguration& line : result_.lines) {
            if (line.provider != ProviderKind::SimulatedModem) {
                continue;
            }
            const bool first = std::exchange(firstSimulated, false);
            if (!line.socketPath.empty()) {
                continue;
            }
            const auto override = environment_.Variable("PORTHOLD_LINE_SOCKET");
            line.socketPath = first && IsAbsoluteSetting(override)
                                  ? *override
                                  : DefaultSocketFolder(environment_) + "/" + line.name + ".sock";
        }
        return std::move(result_);
    }

private:
    std::string_view fileName_;
    SipPathBase sipPaths_;
    const platform::ProcessEnvironment& environment_;
    ServiceConfiguration result_;
};

// The absolute folder of `path`, without a trailing separator.
std::string FolderOf(const std::string& path, const platform::ProcessEnvironment& environment) {
    const std::size_t separator = path.find_last_of('/');
    if (separator == std::string::npos) {
        return environment.CurrentDirectory();
    }
    const std::string folder = separator == 0 ? "/" : path.substr(0, separator);
    if (folder.front() == '/') {
        return folder;
    }
    const std::string current = environment.CurrentDirectory();
    return (current == "/" ? "" : current) + "/" + folder;
}

}  // namespace

std::string LinesFilePath(const platform::ProcessEnvironment& environment) {
    if (auto configured = environment.Variable("PORTHOLD_LINES_FILE");
        configured && !configured->empty()) {
        return *configured;
    }
    return platform::UserConfigurationFolder(environment) + "/porthold/lines.conf";
}

std::string DefaultSocketFolder(const platform::ProcessEnvironment& environment) {
    return platform::RuntimeFolder(environment);
}

ServiceConfiguration ParseServiceConfiguration(std::string_view text, std::string_view fileName,
                                               std::string_view folder,
                                               const platform::ProcessEnvironment& environment) {
    Parser parser(fileName, SipPathBase{std::string(folder), environment.Variable("HOME")},
                  environment);
    std::istringstream stream{std::string(text)};
    int number = 0;
    for (std::string line; std::getline(stream, line);) {
        parser.ParseLine(line, ++number);
    }
    return parser.Finish();
}

ServiceConfiguration LoadServiceConfiguration(const platform::ProcessEnvironment& environment) {
    const std::string path = LinesFilePath(environment);
    if (!platform::FileExists(path)) {
        return ParseServiceConfiguration(
            "line " + std::string(kDefaultLineName) + " simulated-modem", "(default)", "",
            environment);
    }
    const std::optional<std::string> text = platform::ReadFileContents(path);
    if (!text) {
        ServiceConfiguration unreadable;
        unreadable.problems.push_back(path + ": cannot be read");
        return unreadable;
    }
    const std::string fileName = path.substr(path.find_last_of('/') + 1);
    return ParseServiceConfiguration(*text, fileName, FolderOf(path, environment), environment);
}

}  // namespace porthold::service
