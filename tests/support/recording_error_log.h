#pragma once

#include <string>
#include <vector>

#include "config/error_log.h"

namespace porthold::testing {

// Keeps the logged lines in memory, in order, for tests to assert on.
class RecordingErrorLog final : public config::ErrorLog {
public:
    void LogError(std::string_view message) override { lines.emplace_back(message); }

    std::vector<std::string> lines;
};

}  // namespace porthold::testing
