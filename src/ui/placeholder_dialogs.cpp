#include "ui/placeholder_dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/dialog_units.h"

namespace porthold::ui {

namespace {

void RunPlaceholder(QWidget* owner, const char* objectName, const QString& title,
                    const QString& text) {
    QDialog dialog(owner);
    dialog.setObjectName(QString::fromLatin1(objectName));
    dialog.setWindowTitle(title);
    dialog.setFont(DialogFont());
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(text, &dialog);
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

}  // namespace

int PlaceholderDialogs::RunMessages(QWidget* owner, int newMessageCount) {
    RunPlaceholder(owner, "MessagesDlg", QStringLiteral("Messages"),
                   QStringLiteral("Here you will play and delete your voice messages."));
    return newMessageCount;
}

void PlaceholderDialogs::RunPinList(QWidget* owner, const std::string& /*remotePin*/) {
    RunPlaceholder(owner, "PinListDlg", QStringLiteral("PIN List"),
                   QStringLiteral("Here you will add and delete caller PINs."));
}

DialogOutcome PlaceholderDialogs::RunSettings(QWidget* owner,
                                              const config::Settings& /*settings*/) {
    RunPlaceholder(owner, "SettingsDlg", QStringLiteral("Settings"),
                   QStringLiteral("Here you will change the settings."));
    return DialogOutcome::Cancel;
}

void PlaceholderDialogs::RunAbout(QWidget* owner) {
    RunPlaceholder(owner, "AboutDlg", QStringLiteral("Porthold"),
                   QStringLiteral("Porthold v2.0.1"));
}

}  // namespace porthold::ui
