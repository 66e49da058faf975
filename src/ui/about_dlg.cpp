#include "ui/about_dlg.h"

namespace porthold::ui {

AboutDlg::AboutDlg(const DialogServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
    setObjectName(QStringLiteral("AboutDlg"));
}

}  // namespace porthold::ui
