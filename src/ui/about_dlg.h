#pragma once

#include <QDialog>
#include <string>

#include "config/settings.h"
#include "ui/dialog_services.h"

namespace porthold::ui {

// Placeholder until the dialog is built.
class AboutDlg final : public QDialog {
    Q_OBJECT

public:
    AboutDlg(const DialogServices& services, QWidget* parent = nullptr);

private:
    const DialogServices& services_;
};

}  // namespace porthold::ui
