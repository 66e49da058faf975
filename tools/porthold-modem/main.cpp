// porthold-modem: a voice modem played in software on a pseudo-terminal, so
// that Porthold's modem line can be tried, and tested end to end, without a
// modem. Its telephone line is called with porthold-phone.

#include <iostream>
#include <string>
#include <vector>

#include "emulator_options.h"
#include "modem_program.h"
#include "platform/environment.h"

int main(int argc, char** argv) {
    using namespace porthold;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    platform::SystemEnvironment environment;
    std::string problem;
    const auto options = modem_emulator::ParseEmulatorOptions(arguments, environment, problem);
    if (!options) {
        std::cerr << "porthold-modem: " << problem << '\n' << modem_emulator::EmulatorUsageText();
        return 2;
    }
    if (options->help) {
        std::cout << modem_emulator::EmulatorUsageText();
        return 0;
    }
    return modem_emulator::RunModemProgram(*options, std::cout, std::cerr);
}
