#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/message_boxes.h"

namespace porthold::testing {

// Message boxes answered in advance. Records every box shown; a box for which
// no answer was queued fails the test and is answered with its first button.
class ScriptedMessageBoxes final : public platform::MessageBoxes {
public:
    struct Shown {
        std::string text;
        std::string caption;
        platform::MessageBoxButtons buttons;
        platform::MessageBoxIcon icon;
    };

    void QueueAnswer(platform::MessageBoxAnswer answer) { answers_.push_back(answer); }

    platform::MessageBoxAnswer Show(std::string_view text, std::string_view caption,
                                    platform::MessageBoxButtons buttons,
                                    platform::MessageBoxIcon icon) override;

    const std::vector<Shown>& shown() const { return shown_; }

private:
    std::deque<platform::MessageBoxAnswer> answers_;
    std::vector<Shown> shown_;
};

}  // namespace porthold::testing
