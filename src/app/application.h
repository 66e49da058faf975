#pragma once

#include <functional>
#include <iostream>
#include <ostream>
#include <string_view>

#include "app/single_instance.h"
#include "platform/message_boxes.h"

namespace porthold::app {

inline constexpr std::string_view kAlreadyRunningText =
    "An instance of this program is already running.";

// The application object: keeps a second copy of the program from starting
// and runs the main window of the first.
class Application {
public:
    // Why the check for another copy had to be skipped goes to `problems`.
    Application(SingleInstance& instance, platform::MessageBoxes& messageBoxes,
                std::ostream& problems = std::cerr)
        : instance_(instance), messageBoxes_(messageBoxes), problems_(problems) {}

    // False, once the user has been told, when another copy kept running for
    // a second; the running copy is left alone. Otherwise runs the main window
    // until it has closed (its shutdown lets the lock go) and returns true.
    bool InitInstance(const std::function<void()>& runMainWindow);

private:
    SingleInstance& instance_;
    platform::MessageBoxes& messageBoxes_;
    std::ostream& problems_;
};

}  // namespace porthold::app
