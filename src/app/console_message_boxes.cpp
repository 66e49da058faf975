#include "app/console_message_boxes.h"

#include <istream>
#include <ostream>
#include <string>

namespace porthold::app {

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;

ConsoleMessageBoxes::ConsoleMessageBoxes(std::istream& input, std::ostream& output)
    : input_(input), output_(output) {}

MessageBoxAnswer ConsoleMessageBoxes::Show(std::string_view text, std::string_view caption,
                                           MessageBoxButtons buttons, platform::MessageBoxIcon) {
    output_ << caption << ": " << text << '\n';
    if (buttons == MessageBoxButtons::Ok) {
        return MessageBoxAnswer::Ok;
    }
    const bool yesNo = buttons == MessageBoxButtons::YesNo;
    output_ << (yesNo ? "[y/n] " : "[ok/cancel] ") << std::flush;
    std::string reply;
    // An answer that is not a clear yes (or a closed input) takes the safe
    // choice, as closing a box does.
    const bool agreed = std::getline(input_, reply) && !reply.empty() &&
                        (reply[0] == 'y' || reply[0] == 'Y' || reply[0] == 'o' || reply[0] == 'O');
    if (yesNo) {
        return agreed ? MessageBoxAnswer::Yes : MessageBoxAnswer::No;
    }
    return agreed ? MessageBoxAnswer::Ok : MessageBoxAnswer::Cancel;
}

}  // namespace porthold::app
