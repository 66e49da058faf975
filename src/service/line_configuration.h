#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/environment.h"
#include "service/line_provider.h"

namespace porthold::service {

enum class ProviderKind { SimulatedModem };

// One line of the service, as its configuration describes it.
struct LineConfiguration {
    std::string name;
    ProviderKind provider = ProviderKind::SimulatedModem;
    // Where a simulated line listens for porthold-phone.
    std::string socketPath;
    AnswerOrder answerOrder = AnswerOrder::ReplyThenConnected;
};

struct ServiceConfiguration {
    std::vector<LineConfiguration> lines;
    // What was wrong with the file, one text per entry left out
    // ("lines.conf:3: unknown provider "sip"").
    std::vector<std::string> problems;
};

// The name of the line the service has when nothing is configured.
inline constexpr std::string_view kDefaultLineName = "line0";

// The service's own configuration file: $PORTHOLD_LINES_FILE, or
// "porthold/lines.conf" in the user's configuration folder.
std::string LinesFilePath(const platform::ProcessEnvironment& environment);

// Where the lines' sockets go unless configured: the user's runtime folder
// (platform/private_folder.h), which also holds the program's instance lock.
std::string DefaultSocketFolder(const platform::ProcessEnvironment& environment);

// The configuration in `text`, one entry a line:
//
//     # comment
//     line <name> simulated-modem [socket=<absolute path>]
//                                 [answer=reply-first|connected-first]
//
// A line without a socket listens on "<name>.sock" in the default folder;
// $PORTHOLD_LINE_SOCKET takes the place of the first line's default socket.
// Entries that are wrong are left out and described in `problems`.
ServiceConfiguration ParseServiceConfiguration(std::string_view text, std::string_view fileName,
                                               const platform::ProcessEnvironment& environment);

// The configuration from the file; without a file, one simulated voice-modem
// line "line0", so that the program works out of the box.
ServiceConfiguration LoadServiceConfiguration(const platform::ProcessEnvironment& environment);

}  // namespace porthold::service
