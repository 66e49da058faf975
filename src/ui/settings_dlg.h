#pragma once

#include <QDialog>
#include <string>

#include "config/settings.h"
#include "ui/dialog_services.h"

namespace porthold::ui {

// Placeholder until the dialog is built.
class SettingsDlg final : public QDialog {
    Q_OBJECT

public:
    SettingsDlg(const DialogServices& services, const config::Settings& values,
                QWidget* parent = nullptr);

private:
    const DialogServices& services_;
};

}  // namespace porthold::ui
