#pragma once

#include <string>

#include "config/settings.h"

class QWidget;

namespace porthold::ui {

enum class DialogOutcome { Ok, Cancel };

// The dialogs the main window opens from its buttons and its menu, each run
// modally over `owner` with the engine's tick going on beneath it. The main
// window suspends answering around the first three (see MainDialog).
class ManagementDialogs {
public:
    virtual ~ManagementDialogs() = default;

    // The messages, with the count of new ones; returns the count once the
    // user is done (listening marks messages heard).
    virtual int RunMessages(QWidget* owner, int newMessageCount) = 0;
    // The caller list; the remote retrieval PIN may not be given to a caller.
    virtual void RunPinList(QWidget* owner, const std::string& remotePin) = 0;
    // The settings; Ok when the dialog saved them to the registry.
    virtual DialogOutcome RunSettings(QWidget* owner, const config::Settings& settings) = 0;
    // The about and help dialog.
    virtual void RunAbout(QWidget* owner) = 0;
};

}  // namespace porthold::ui
