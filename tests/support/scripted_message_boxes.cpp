#include "support/scripted_message_boxes.h"

#include <gtest/gtest.h>

namespace porthold::testing {

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;

platform::MessageBoxAnswer ScriptedMessageBoxes::Show(std::string_view text,
                                                      std::string_view caption,
                                                      MessageBoxButtons buttons,
                                                      platform::MessageBoxIcon icon) {
    shown_.push_back(Shown{std::string(text), std::string(caption), buttons, icon});
    if (!answers_.empty()) {
        const MessageBoxAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    if (buttons != MessageBoxButtons::Ok) {
        ADD_FAILURE() << "unexpected question: " << text;
    }
    return buttons == MessageBoxButtons::YesNo ? MessageBoxAnswer::Yes : MessageBoxAnswer::Ok;
}

}  // namespace porthold::testing
