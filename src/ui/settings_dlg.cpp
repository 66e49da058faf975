#include "ui/settings_dlg.h"

namespace porthold::ui {

SettingsDlg::SettingsDlg(const DialogServices& services, const config::Settings& values,
                         QWidget* parent)
    : QDialog(parent), services_(services) {
    (void)values;
    setObjectName(QStringLiteral("SettingsDlg"));
}

}  // namespace porthold::ui
