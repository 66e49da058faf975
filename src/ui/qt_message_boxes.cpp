#include "ui/qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>

namespace porthold::ui {

namespace {

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon IconFor(MessageBoxIcon icon) {
    switch (icon) {
        case MessageBoxIcon::Information:
            return QMessageBox::Information;
        case MessageBoxIcon::Stop:
            return QMessageBox::Critical;
        case MessageBoxIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::Information;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
    // What Escape and the close box answer: the cautious choice. Qt's own
    // rule makes No the escape of a Yes/No question.
    QMessageBox::StandardButton escapeButton;
    MessageBoxAnswer dismissed;
};

ButtonSet ButtonsFor(MessageBoxButtons buttons) {
    switch (buttons) {
        case MessageBoxButtons::Ok:
            return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, MessageBoxAnswer::Ok};
        case MessageBoxButtons::OkCancel:
            return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Cancel,
                    MessageBoxAnswer::Cancel};
        case MessageBoxButtons::YesNo:
            return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No,
                    MessageBoxAnswer::No};
    }
    return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, MessageBoxAnswer::Ok};
}

}  // namespace

MessageBoxAnswer QtMessageBoxes::Show(std::string_view text, std::string_view caption,
                                      MessageBoxButtons buttons, MessageBoxIcon icon) {
    const ButtonSet set = ButtonsFor(buttons);
    // A box belongs to the window the user is working in: the topmost dialog
    // when one is open, otherwise the owner.
    QWidget* parent = QApplication::activeModalWidget();
    QMessageBox box(IconFor(icon), FromUtf8(caption), FromUtf8(text), set.buttons,
                    parent != nullptr ? parent : owner_.data());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(set.defaultButton);
    box.setEscapeButton(set.escapeButton);
    switch (box.exec()) {
        case QMessageBox::Ok:
            return MessageBoxAnswer::Ok;
        case QMessageBox::Cancel:
            return MessageBoxAnswer::Cancel;
        case QMessageBox::Yes:
            return MessageBoxAnswer::Yes;
        case QMessageBox::No:
            return MessageBoxAnswer::No;
        default:
            return set.dismissed;
    }
}

}  // namespace porthold::ui
