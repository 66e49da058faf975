#pragma once

#include <string_view>

namespace porthold::platform {

enum class MessageBoxButtons { Ok, OkCancel, YesNo };

// Information for notices and warnings, Stop for failures that disable a
// function, Question for questions.
enum class MessageBoxIcon { Information, Stop, Question };

enum class MessageBoxAnswer { Ok, Cancel, Yes, No };

// The program tells the user something only where the user must act. The
// desktop application shows real boxes; tests answer them in advance.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageBoxAnswer Show(std::string_view text, std::string_view caption,
                                  MessageBoxButtons buttons, MessageBoxIcon icon) = 0;
};

// Every box the program shows carries this caption.
inline constexpr std::string_view kMessageBoxCaption = "Porthold";

}  // namespace porthold::platform
