#include "platform/environment.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace porthold::platform {

std::string SystemEnvironment::CurrentDirectory() const {
    std::error_code error;
    const auto path = std::filesystem::current_path(error);
    return error ? std::string() : path.string();
}

std::optional<std::string> SystemEnvironment::Variable(std::string_view name) const {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::string UserConfigurationFolder(const ProcessEnvironment& environment) {
    // The base directory rules ask to ignore a relative or empty setting.
    if (auto configured = environment.Variable("XDG_CONFIG_HOME");
        configured && !configured->empty() && configured->front() == '/') {
        return *configured;
    }
    return environment.Variable("HOME").value_or("") + "/.config";
}

}  // namespace porthold::platform
