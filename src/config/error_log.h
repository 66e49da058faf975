#pragma once

#include <string_view>

namespace porthold::config {

// Where every failing step reports what failed: one line per failure, never
// shown to the user. The program's log is a file (FileErrorLog); tests record.
class ErrorLog {
public:
    virtual ~ErrorLog() = default;
    virtual void LogError(std::string_view message) = 0;
};

}  // namespace porthold::config
