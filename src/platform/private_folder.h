#pragma once

#include <string>

#include "platform/environment.h"

namespace porthold::platform {

// The user's folder for what the program and its telephony service keep
// while they run (the lines' sockets, the single-instance lock):
// "$XDG_RUNTIME_DIR/porthold", or "/tmp/porthold-<user id>" when that
// variable is unset or not an absolute path, as the base directory rules ask.
std::string RuntimeFolder(const ProcessEnvironment& environment);

// Makes `folder` ready to hold the user's private files: creates it (mode
// 0700) when missing, then checks that it is a real folder rather than a link,
// that it belongs to the user, and that no one else may enter, read or write
// it. Anyone who could would be able to plant, swap or read what goes in it.
// False, with the reason in `problem`, when the folder must not be used. Only
// the last part of the path is created.
bool PreparePrivateFolder(const std::string& folder, std::string& problem);

}  // namespace porthold::platform
