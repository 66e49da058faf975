#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace porthold::platform {

// What the program learns from the process it runs in. Tests substitute their
// own so that no test depends on, or touches, the user's folders.
class ProcessEnvironment {
public:
    virtual ~ProcessEnvironment() = default;

    // The working directory, without a trailing separator (except for "/").
    virtual std::string CurrentDirectory() const = 0;

    // An environment variable; none when unset.
    virtual std::optional<std::string> Variable(std::string_view name) const = 0;
};

class SystemEnvironment final : public ProcessEnvironment {
public:
    std::string CurrentDirectory() const override;
    std::optional<std::string> Variable(std::string_view name) const override;
};

// The folder for the user's configuration: $XDG_CONFIG_HOME, or ~/.config.
std::string UserConfigurationFolder(const ProcessEnvironment& environment);

}  // namespace porthold::platform
