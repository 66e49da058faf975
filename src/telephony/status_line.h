#pragma once

#include <string_view>

namespace porthold::telephony {

// The one line of text that tells the user what the program is doing. Start-up,
// line initialisation, the engine and the management dialogs all write it.
class StatusLine {
public:
    virtual ~StatusLine() = default;

    // Shows `text` unchanged, and at once: the caller may block in a telephony
    // or audio request right after, and the text must be visible meanwhile.
    virtual void SetStatus(std::string_view text) = 0;
};

}  // namespace porthold::telephony
