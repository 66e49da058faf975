#pragma once

namespace porthold::app {

// Keeps Qt's own diagnostics off the terminal: the program reports its
// failures in its error log and otherwise says nothing. Only a fatal message,
// after which Qt ends the process, is still written to standard error, so
// that the cause of such an end is not lost. When no window system could be
// opened, the fatal message blames the installation; the filter then writes
// Qt's own word on the cause (its last platform messages) and a plain
// explanation instead, and ends the process with status 1 rather than an
// abort. Call before the application object is made.
void SilenceQtMessages();

}  // namespace porthold::app
