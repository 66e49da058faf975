#pragma once

#include <QString>

namespace porthold::bench {

// One line on standard output for each thing the probe sees, stamped with the
// machine's monotonic clock in milliseconds, so that the script that started
// the probe can set it against its own readings of the same clock:
//   1234.567 status  Waiting for call...
// Line breaks in the text are written as "\n", keeping one event a line.
void PrintEvent(const char* kind, QString text);

// The monotonic clock in milliseconds, as printed.
double MonotonicMilliseconds();

}  // namespace porthold::bench
