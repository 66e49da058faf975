#include "ui/pin_list_dlg.h"

namespace porthold::ui {

PinListDlg::PinListDlg(const DialogServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
    setObjectName(QStringLiteral("PinListDlg"));
}

}  // namespace porthold::ui
