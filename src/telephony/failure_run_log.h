#pragma once

#include <cstdint>
#include <string_view>

#include "config/error_log.h"
#include "platform/clock.h"
#include "telephony/tapi.h"

namespace porthold::telephony {

// Logs a request that is made on every tick and may keep failing: the first
// failure of a run of failures, then at most one line a minute while the run
// goes on, and nothing once the request succeeds again. A line that stays
// broken thus writes a handful of lines an hour instead of a hundred a second.
class FailureRunLog {
public:
    static constexpr std::uint32_t kRepeatMilliseconds = 60000;

    FailureRunLog(config::ErrorLog& errorLog, const platform::Clock& clock,
                  std::string_view context)
        : errorLog_(errorLog), clock_(clock), context_(context) {}

    // The request's result: negative is a failure, anything else a success.
    void Report(LONG result);

private:
    config::ErrorLog& errorLog_;
    const platform::Clock& clock_;
    std::string_view context_;
    bool failing_ = false;
    std::uint32_t lastLogTick_ = 0;
};

}  // namespace porthold::telephony
