#include "app/application.h"

namespace porthold::app {

bool Application::InitInstance(const std::function<void()>& runMainWindow) {
    // A lock that cannot be set up is no reason not to start: the program
    // then runs without the check.
    if (instance_.Acquire(kInstanceWaitMilliseconds) == SingleInstance::Outcome::HeldByAnother) {
        messageBoxes_.Show(kAlreadyRunningText, platform::kMessageBoxCaption,
                           platform::MessageBoxButtons::Ok, platform::MessageBoxIcon::Information);
        return false;
    }
    runMainWindow();
    return true;
}

}  // namespace porthold::app
