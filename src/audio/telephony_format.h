#pragma once

#include <string>
#include <string_view>

#include "platform/message_boxes.h"

namespace porthold::audio {

// The box keeps its long-standing text word for word, the missing space in
// its last words included; the literal is only split across lines.
inline constexpr std::string_view kNotTelephonyFormatText =
    "The selected sound file is not a valid telephony format.\nPlease see the documentation for "
    "the valid formatspec"
    "ifications.";

// Whether a WAVE file can be played on the telephone line: PCM, mono, 8000
// samples a second, 16 bits. A file in another format is refused with a
// message box owned by the caller's dialog; a file that cannot be read as
// WAVE at all is refused without one.
bool IsTelephonyFormat(const std::string& fileName, platform::MessageBoxes& messageBoxes);

}  // namespace porthold::audio
