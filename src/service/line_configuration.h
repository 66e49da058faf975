#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/environment.h"
#include "service/line_provider.h"
#include "service/sip_line_settings.h"
#include "service/voice_modem_settings.h"

namespace porthold::service {

enum class ProviderKind { SimulatedModem, Sip, VoiceModem };

// One line of the service, as its configuration describes it.
struct LineConfiguration {
    std::string name;
    ProviderKind provider = ProviderKind::SimulatedModem;
    // Where a simulated line listens for porthold-phone; empty for the others.
    std::string socketPath;
    AnswerOrder answerOrder = AnswerOrder::ReplyThenConnected;
    // How a SIP line reaches its provider; unused by a simulated line.
    SipLineSettings sip;
    // How a voice modem line reaches its modem; unused by the others.
    VoiceModemSettings modem;
};

struct ServiceConfiguration {
    std::vector<LineConfiguration> lines;
    // What was wrong with the file, one text per entry left out
    // ("lines.conf:3: unknown provider "isdn"").
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
//     line <name> sip [listen=...] [registrar=... user=... password-file=...]
//                     [ring-every=...]         (see sip_line_settings.h)
//     line <name> voice-modem device=<absolute path> [speed=...] [caller-id=...]
//                             [flow=...]       (see voice_modem_settings.h)
//
// A '#' starts a comment at the start of a line or after a space or tab; a
// '#' inside a word belongs to the word, so that a path or URI may hold one
// ("password-file=pbx#2.secret"). A relative password file is found in
// `folder`, the absolute folder of the file; "~/" stands for $HOME.
//
// A simulated line without a socket listens on "<name>.sock" in the default
// folder; $PORTHOLD_LINE_SOCKET takes the place of the first simulated line's
// default socket. Entries that are wrong are left out and described in
// `problems`.
ServiceConfiguration ParseServiceConfiguration(std::string_view text, std::string_view fileName,
                                               std::string_view folder,
                                               const platform::ProcessEnvironment& environment);

// The configuration from the file; without a file, one simulated voice-modem
// line "line0", so that the program works out of the box.
ServiceConfiguration LoadServiceConfiguration(const platform::ProcessEnvironment& environment);

}  // namespace porthold::service
