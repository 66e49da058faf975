#pragma once

#include <QDialog>
#include <string>

#include "config/settings.h"
#include "ui/dialog_services.h"

namespace porthold::ui {

// Placeholder until the dialog is built.
class MessagesDlg final : public QDialog {
    Q_OBJECT

public:
    MessagesDlg(const DialogServices& services, QWidget* parent = nullptr);
    void SetNewMessageCount(int count) { count_ = count; }
    int NewMessageCount() const { return count_; }
    int count_ = 0;

private:
    const DialogServices& services_;
};

}  // namespace porthold::ui
