#pragma once

#include <QDialog>
#include <string>

#include "config/settings.h"
#include "ui/dialog_services.h"

namespace porthold::ui {

// Placeholder until the dialog is built.
class PinListDlg final : public QDialog {
    Q_OBJECT

public:
    PinListDlg(const DialogServices& services, QWidget* parent = nullptr);
    void SetRemotePin(const std::string& pin) { remotePin_ = pin; }
    std::string remotePin_;

private:
    const DialogServices& services_;
};

}  // namespace porthold::ui
