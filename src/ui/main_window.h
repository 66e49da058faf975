#pragma once

// The main window and the program behind it, as each sees the other. Neither
// side needs Qt here: the start-up sequence is run and tested without a
// window system, and the window is tested without the telephone line.

#include "config/settings.h"
#include "platform/clock.h"
#include "telephony/call_state.h"
#include "telephony/main_controls.h"
#include "telephony/status_line.h"
#include "ui/layout_units.h"

namespace porthold::ui {

enum class Availability { Disabled, Enabled };

// What start-up and shutdown do to the main window, beyond the status line and
// the main controls. It is also the handler of the window's timers, which the
// engine arms.
class MainWindow : public telephony::StatusLine,
                   public telephony::MainControls,
                   public platform::TimerHandler {
public:
    // The font the three main buttons are given when they are created.
    virtual void SelectButtonFont() = 0;
    // baseUnitX and baseUnitY of the window's own font.
    virtual LayoutUnits MeasureLayoutUnits() = 0;
    // Creates "Messages", "PIN List" and "Settings", laid out in `units`.
    virtual void CreateMainButtons(LayoutUnits units) = 0;
    virtual void DeleteMainButtons() = 0;
    // The three buttons only.
    virtual void SetMainButtons(Availability availability) = 0;
    // The four View and Documentation commands only; File, Exit always works.
    virtual void SetMenuCommands(Availability availability) = 0;
    virtual void ShowApplicationIcon() = 0;
};

// The program the main window runs: its initialisation is the start-up, its
// destruction the shutdown, its timer messages drive the engine. The
// management dialogs it opens read the settings and suspend answering.
class MainWindowProgram {
public:
    virtual ~MainWindowProgram() = default;

    // The start-up sequence. False when it stopped early; the window still
    // opens, but stays inert.
    virtual bool OnInitDialog() = 0;
    // The shutdown, once, whatever closed the window.
    virtual void OnDestroyWindow() = 0;
    virtual void OnWindowTimer(platform::TimerId id) = 0;

    virtual telephony::CallState& CallState() = 0;
    virtual const config::Settings& Settings() const = 0;
    // Reads the settings again after the Settings dialog saved them.
    virtual void ReloadSettings() = 0;
    // Has the engine's tick show at once what a closed dialog changed, rather
    // than at the end of its rest.
    virtual void WakeEngine() {}
};

}  // namespace porthold::ui
