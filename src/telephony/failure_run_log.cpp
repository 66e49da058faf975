#include "telephony/failure_run_log.h"

#include "telephony/line_error.h"

namespace porthold::telephony {

void FailureRunLog::Report(LONG result) {
    if (result >= 0) {
        failing_ = false;
        return;
    }
    const std::uint32_t now = clock_.TickCount();
    if (!failing_ || now - lastLogTick_ >= kRepeatMilliseconds) {
        LogLineError(errorLog_, result, context_);
        lastLogTick_ = now;
    }
    failing_ = true;
}

}  // namespace porthold::telephony
