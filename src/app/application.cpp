#include "app/application.h"

namespace porthold::app {

bool Application::InitInstance(const std::function<void()>& runMainWindow) {
    // A lock that cannot be set up is no reason not to start: the program
    // then runs without the check.
    const SingleInstance::Outcome outcome = instance_.Acquire(kInstanceWaitMilliseconds);
    if (outcome == SingleInstance::Outcome::HeldByAnother) {
        messageBoxes_.Show(kAlreadyRunningText, platform::kMessageBoxCaption,
                           platform::MessageBoxButtons::Ok, platform::MessageBoxIcon::Information);
        return false;
    }
    // Said where the user who started it can see it: the program folder,
    // and with it the error log, is not known yet.
    if (outcome == SingleInstance::Outcome::Unchecked) {
        problems_ << "porthold: starting without the check for another copy: "
                  << instance_.Problem() << std::endl;
    }
    runMainWindow();
    return true;
}

}  // namespace porthold::app
