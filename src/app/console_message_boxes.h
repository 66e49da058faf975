#pragma once

#include <iosfwd>

#include "platform/message_boxes.h"

namespace porthold::app {

// Message boxes on a terminal, for running the program before its window
// exists: the text is printed and a question is answered by typing.
class ConsoleMessageBoxes final : public platform::MessageBoxes {
public:
    ConsoleMessageBoxes(std::istream& input, std::ostream& output);

    platform::MessageBoxAnswer Show(std::string_view text, std::string_view caption,
                                    platform::MessageBoxButtons buttons,
                                    platform::MessageBoxIcon icon) override;

private:
    std::istream& input_;
    std::ostream& output_;
};

}  // namespace porthold::app
