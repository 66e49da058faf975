#pragma once

namespace porthold::app {

// The program as the user runs it: the settings file, the sound card, the
// telephony service library, the main window and its dialogs, on the
// system clock whose timers the Qt event loop delivers. Needs the Qt
// application object; returns the process's exit status: 0 once the window
// has closed, 1 when another copy was running. Blocks the termination signals
// in the calling thread first (BlockTerminationSignals), which main should
// have done before Qt started any thread.
int RunDesktopProgram();

}  // namespace porthold::app
