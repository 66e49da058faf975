#pragma once

#include <ostream>

#include "phone_options.h"
#include "platform/clock.h"

namespace porthold::phone {

// porthold-phone's exit statuses.
inline constexpr int kCallRan = 0;
inline constexpr int kFailed = 1;  // what the caller heard could not be written
inline constexpr int kUsageError = 2;
inline constexpr int kNoLine = 3;
inline constexpr int kLineBusy = 4;

// Calls the line and plays the caller: rings until the answer (or gives up),
// runs the steps, and writes what the caller heard. The timeline goes to
// `timeline`, one event a line with the milliseconds since the dial; problems
// go to `problems`. Returns the exit status.
int RunCall(const CallOptions& options, platform::Clock& clock, std::ostream& timeline,
            std::ostream& problems);

// Holds another application's call on the line for the time given.
int RunBusy(const BusyOptions& options, platform::Clock& clock, std::ostream& timeline,
            std::ostream& problems);

}  // namespace porthold::phone
