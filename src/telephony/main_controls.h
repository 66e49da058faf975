#pragma once

#include <string_view>

namespace porthold::telephony {

// The user's access to the main window's three buttons ("Messages", "PIN
// List", "Settings") and its View and Documentation menu commands, which the
// engine takes away while a call is connected, and the look of the "Messages"
// button, which shows whether new messages are waiting.
class MainControls {
public:
    virtual ~MainControls() = default;

    // Disables the three buttons and the four menu commands; File, Exit stays.
    virtual void LockMainControls() = 0;
    // Enables the three buttons and the four menu commands.
    virtual void UnlockMainControls() = 0;
    // Gives the "Messages" button the picture of bitmap resource `bitmap`
    // (white as its transparent colour) and the caption `caption`.
    virtual void SetMessagesLook(int bitmap, std::string_view caption) = 0;
};

}  // namespace porthold::telephony
