#pragma once

#include <cstdio>
#include <string_view>

#include "config/error_log.h"
#include "config/settings.h"
#include "platform/clock.h"

namespace porthold::config {

// The program's log: "error.log" in the program folder, one line per entry,
// "MM/DD/YYYY hh:mm AM message" ended by CR LF. The folder is taken from
// `Path` at every call, because start-up logs both before and after the
// settings that give it are loaded.
class FileErrorLog final : public ErrorLog {
public:
    // `fallback` takes the entries the file cannot: with `Path` naming a
    // folder that does not exist, the log has nowhere else to go, and the
    // entry saying why start-up stalled would be lost with it.
    FileErrorLog(const Settings& settings, const platform::Clock& clock,
                 std::FILE* fallback = stderr);

    // Appends one time-stamped line, opening and closing the file each time so
    // that the entry is on disk when the call returns. An entry that cannot be
    // written goes to the fallback stream instead.
    void LogError(std::string_view message) override;

    // Cuts the log back to its last 199 lines; a log of 198 lines or fewer is
    // left alone. Called once at start-up, so the log cannot grow without bound.
    void TrimErrorLog();

private:
    const Settings& settings_;
    const platform::Clock& clock_;
    std::FILE* fallback_;
};

}  // namespace porthold::config
