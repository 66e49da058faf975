#include "ui/messages_dlg.h"

namespace porthold::ui {

MessagesDlg::MessagesDlg(const DialogServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
    setObjectName(QStringLiteral("MessagesDlg"));
}

}  // namespace porthold::ui
