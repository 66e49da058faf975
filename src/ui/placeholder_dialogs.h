#pragma once

#include "ui/management_dialogs.h"

namespace porthold::ui {

// Stands in for the management dialogs until they are built: each command
// opens a small closable window that names the dialog to come, so that the
// main window's opening sequence (answering suspended, buttons disabled) runs
// as it will with the real ones. Nothing is changed.
class PlaceholderDialogs final : public ManagementDialogs {
public:
    int RunMessages(QWidget* owner, int newMessageCount) override;
    void RunPinList(QWidget* owner, const std::string& remotePin) override;
    DialogOutcome RunSettings(QWidget* owner, const config::Settings& settings) override;
    void RunAbout(QWidget* owner) override;
};

}  // namespace porthold::ui
