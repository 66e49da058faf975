#include "ui/qt_file_dialogs.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFileDialog>

namespace porthold::ui {

std::optional<std::string> QtFileDialogs::ChooseFile(const platform::FileDialogRequest& request) {
    const bool opening = request.purpose == platform::FileDialogPurpose::Open;
    QFileDialog dialog(QApplication::activeModalWidget(),
                       opening ? QStringLiteral("Open") : QStringLiteral("Save As"),
                       QString::fromStdString(request.startFolder));
    dialog.setAcceptMode(opening ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(opening ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromStdString(request.filter));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    // A desktop's native dialog may be a GTK one, which only GLib's event loop
    // serves; without it, Qt's own dialog is used.
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr || !dispatcher->inherits("QEventDispatcherGlib")) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    }
    // Qt asks before replacing a file when saving, unless told not to.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst().toStdString();
}

}  // namespace porthold::ui
