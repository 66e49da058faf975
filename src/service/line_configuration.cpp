#include "service/line_configuration.h"

#include <algorithm>
#include <sstream>

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

std::vector<std::string> Words(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

class Parser {
public:
    Parser(std::string_view fileName, const platform::ProcessEnvironment& environment)
        : fileName_(fileName), environment_(environment) {}

    void ParseLine(const std::string& text, int number) {
        std::string content = text.substr(0, text.find('#'));
        if (!content.empty() && content.back() == '\r') {
            content.pop_back();
        }
        const std::vector<std::string> words = Words(content);
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
        if (words[2] != "simulated-modem") {
            problem("unknown provider \"" + words[2] + "\"");
            return;
        }
        for (std::size_t index = 3; index < words.size(); ++index) {
            const std::string& option = words[index];
            if (option.starts_with("socket=")) {
                line.socketPath = option.substr(7);
                if (line.socketPath.empty() || line.socketPath.front() != '/') {
                    problem("the socket of line \"" + line.name + "\" needs an absolute path");
                    return;
                }
            } else if (option == "answer=reply-first") {
                line.answerOrder = AnswerOrder::ReplyThenConnected;
            } else if (option == "answer=connected-first") {
                line.answerOrder = AnswerOrder::ConnectedThenReply;
            } else {
                problem("unknown option \"" + option + "\"");
                return;
            }
        }
        result_.lines.push_back(std::move(line));
    }

    ServiceConfiguration Finish() {
        for (std::size_t index = 0; index < result_.lines.size(); ++index) {
            LineConfiguration& line = result_.lines[index];
            if (!line.socketPath.empty()) {
                continue;
            }
            const auto override = environment_.Variable("PORTHOLD_LINE_SOCKET");
            line.socketPath = index == 0 && IsAbsoluteSetting(override)
                                  ? *override
                                  : DefaultSocketFolder(environment_) + "/" + line.name + ".sock";
        }
        return std::move(result_);
    }

private:
    std::string_view fileName_;
    const platform::ProcessEnvironment& environment_;
    ServiceConfiguration result_;
};

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
                                               const platform::ProcessEnvironment& environment) {
    Parser parser(fileName, environment);
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
            "line " + std::string(kDefaultLineName) + " simulated-modem", "(default)", environment);
    }
    const std::optional<std::string> text = platform::ReadFileContents(path);
    if (!text) {
        ServiceConfiguration unreadable;
        unreadable.problems.push_back(path + ": cannot be read");
        return unreadable;
    }
    const std::string fileName = path.substr(path.find_last_of('/') + 1);
    return ParseServiceConfiguration(*text, fileName, environment);
}

}  // namespace porthold::service
