// porthold-phone: a simulated caller for a simulated line of the telephony
// service, so that Porthold can be tried, and tested end to end, without a
// telephone.

#include <iostream>
#include <string>
#include <vector>

#include "phone_call.h"
#include "phone_options.h"
#include "platform/environment.h"
#include "platform/system_clock.h"

int main(int argc, char** argv) {
    using namespace porthold;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    platform::SystemEnvironment environment;
    std::string problem;
    const auto command = phone::ParsePhoneCommand(arguments, environment, problem);
    if (!command) {
        std::cerr << "porthold-phone: " << problem << '\n' << phone::UsageText();
        return phone::kUsageError;
    }
    platform::SystemClock clock;
    switch (command->kind) {
        case phone::PhoneCommand::Kind::Call:
            return phone::RunCall(command->call, clock, std::cout, std::cerr);
        case phone::PhoneCommand::Kind::Busy:
            return phone::RunBusy(command->busy, clock, std::cout, std::cerr);
        case phone::PhoneCommand::Kind::Help:
            break;
    }
    std::cout << phone::UsageText();
    return 0;
}
