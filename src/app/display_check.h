#pragma once

#include <span>
#include <string_view>

#include "platform/environment.h"

namespace porthold::app {

inline constexpr std::string_view kNoDisplayText =
    "Porthold needs a graphical display, and none could be opened. Set DISPLAY, or run it "
    "under a virtual one: xvfb-run -a scripts/start";

// Whether the window system Qt would choose certainly has no display to open:
// its X11 platform, named or chosen by default, without DISPLAY, and when none
// is named, no WAYLAND_DISPLAY either. Qt itself would end the process with an
// abort and a hint at reinstalling, which hides the cause. A platform named
// in the program's arguments ("-platform name") counts as one named in
// QT_QPA_PLATFORM does; any other platform is left for Qt to judge.
bool LacksDisplay(const platform::ProcessEnvironment& environment,
                  std::span<char* const> arguments);

}  // namespace porthold::app
