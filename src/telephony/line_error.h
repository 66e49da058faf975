#pragma once

#include <string_view>

#include "config/error_log.h"
#include "telephony/tapi.h"

namespace porthold::telephony {

// The short name of a telephony error code, with a leading blank so that it
// can follow a context text directly: " INUSE" for LINEERR_INUSE, " Unutilized
// TAPI Error" for a line error the program never expects, " Undocumented TAPI
// Error" for any other value (phone errors included).
std::string_view LineErrorText(LONG code);

// Writes `context` (the failed step, "LineInit: lineOpen") followed by the
// code's text to the error log as one entry.
void LogLineError(config::ErrorLog& errorLog, LONG code, std::string_view context);

}  // namespace porthold::telephony
