#pragma once

#include <map>
#include <string>

#include "platform/environment.h"

namespace porthold::testing {

// A process environment that holds only what the test put in it.
class FakeEnvironment final : public platform::ProcessEnvironment {
public:
    std::string currentDirectory = "/nonexistent";
    std::map<std::string, std::string, std::less<>> variables;

    std::string CurrentDirectory() const override { return currentDirectory; }

    std::optional<std::string> Variable(std::string_view name) const override {
        auto found = variables.find(name);
        if (found == variables.end()) {
            return std::nullopt;
        }
        return found->second;
    }
};

}  // namespace porthold::testing
