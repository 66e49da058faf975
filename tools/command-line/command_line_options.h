#pragma once

// The options of the project's command-line tools, which take each option's
// value either as the next word ("--socket PATH") or joined ("--socket=PATH").

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace porthold::tools {

// Whether `argument` is the option `name`, in either form.
inline bool IsOption(const std::string& argument, const std::string& name) {
    return argument == name || argument.starts_with(name + "=");
}

// The value of the option `name` at `index`, moving `index` past the value
// when it is the next word; none, with the reason in `problem`, when it is
// missing.
inline std::optional<std::string> OptionValue(std::span<const std::string> arguments,
                                              std::size_t& index, const std::string& name,
                                              std::string& problem) {
    const std::string& argument = arguments[index];
    if (argument.size() > name.size() && argument[name.size()] == '=') {
        return argument.substr(name.size() + 1);
    }
    if (index + 1 >= arguments.size()) {
        problem = name + " needs a value";
        return std::nullopt;
    }
    return arguments[++index];
}

}  // namespace porthold::tools
