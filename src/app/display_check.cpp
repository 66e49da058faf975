#include "app/display_check.h"

#include <string>

namespace porthold::app {

namespace {

std::string NamedPlatform(const platform::ProcessEnvironment& environment,
                          std::span<char* const> arguments) {
    for (std::size_t index = 1; index + 1 < arguments.size(); ++index) {
        const std::string_view argument = arguments[index] ? arguments[index] : "";
        if (argument == "-platform" || argument == "--platform") {
            return arguments[index + 1] ? arguments[index + 1] : "";
        }
    }
    return environment.Variable("QT_QPA_PLATFORM").value_or("");
}

bool IsEmpty(const platform::ProcessEnvironment& environment, std::string_view name) {
    const auto value = environment.Variable(name);
    return !value || value->empty();
}

}  // namespace

bool LacksDisplay(const platform::ProcessEnvironment& environment,
                  std::span<char* const> arguments) {
    const std::string named = NamedPlatform(environment, arguments);
    // Options follow the plugin's name after a colon ("xcb:option=value").
    const std::string_view plugin = std::string_view(named).substr(0, named.find(':'));
    if (plugin == "xcb") {
        return IsEmpty(environment, "DISPLAY");
    }
    return plugin.empty() && IsEmpty(environment, "DISPLAY") &&
           IsEmpty(environment, "WAYLAND_DISPLAY");
}

}  // namespace porthold::app
