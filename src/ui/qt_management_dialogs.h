#pragma once

#include <optional>

#include "ui/dialog_services.h"
#include "ui/management_dialogs.h"

namespace porthold::ui {

// The management dialogs as windows: Messages, PIN List, Settings and the
// about and help dialog, each run modally over the owner. The main window
// exists before the program's lists and audio do, so the dialogs are bound
// to them once the program is made; unbound, a command opens nothing.
class QtManagementDialogs final : public ManagementDialogs {
public:
    void Bind(const DialogServices& services) { services_.emplace(services); }

    int RunMessages(QWidget* owner, int newMessageCount) override;
    void RunPinList(QWidget* owner, const std::string& remotePin) override;
    DialogOutcome RunSettings(QWidget* owner, const config::Settings& settings) override;
    void RunAbout(QWidget* owner) override;

private:
    std::optional<DialogServices> services_;
};

}  // namespace porthold::ui
