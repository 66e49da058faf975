#include "ui/qt_message_boxes.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "modal_closer.h"

namespace porthold::ui {
namespace {

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using testing::WhenModalOpens;

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    Qt::TextFormat format = Qt::AutoText;
    QWidget* owner = nullptr;
};

// Answers the next box by clicking `answer`, after noting what it showed.
void AnswerNextBox(SeenBox& seen, QMessageBox::StandardButton answer) {
    WhenModalOpens("QMessageBox", [&seen, answer](QWidget& modal) {
        auto& box = static_cast<QMessageBox&>(modal);
        seen = SeenBox{box.windowTitle(),
                       box.text(),
                       box.icon(),
                       box.standardButtons(),
                       box.standardButton(box.defaultButton()),
                       box.textFormat(),
                       box.parentWidget()};
        box.button(answer)->click();
    });
}

TEST(QtMessageBoxesTest, ShowsEachKindOfBoxWithItsIconButtonsAndCaption) {
    struct Case {
        MessageBoxButtons buttons;
        MessageBoxIcon icon;
        QMessageBox::StandardButton clicked;
        MessageBoxAnswer expectedAnswer;
        QMessageBox::Icon expectedIcon;
        QMessageBox::StandardButtons expectedButtons;
        QMessageBox::StandardButton expectedDefault;
    };
    const Case cases[] = {
        {MessageBoxButtons::Ok, MessageBoxIcon::Information, QMessageBox::Ok, MessageBoxAnswer::Ok,
         QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok},
        {MessageBoxButtons::OkCancel, MessageBoxIcon::Stop, QMessageBox::Cancel,
         MessageBoxAnswer::Cancel, QMessageBox::Critical, QMessageBox::Ok | QMessageBox::Cancel,
         QMessageBox::Ok},
        {MessageBoxButtons::YesNo, MessageBoxIcon::Question, QMessageBox::No, MessageBoxAnswer::No,
         QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes},
        {MessageBoxButtons::YesNo, MessageBoxIcon::Question, QMessageBox::Yes,
         MessageBoxAnswer::Yes, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::Yes},
    };
    QtMessageBoxes boxes;
    for (const Case& check : cases) {
        SeenBox seen;
        AnswerNextBox(seen, check.clicked);
        EXPECT_EQ(boxes.Show("The sound card is currently in use.\nYou may not hear it.",
                             platform::kMessageBoxCaption, check.buttons, check.icon),
                  check.expectedAnswer);
        EXPECT_EQ(seen.title, "Porthold");
        EXPECT_EQ(seen.text, "The sound card is currently in use.\nYou may not hear it.");
        EXPECT_EQ(seen.icon, check.expectedIcon);
        EXPECT_EQ(seen.buttons, check.expectedButtons);
        EXPECT_EQ(seen.defaultButton, check.expectedDefault);
    }
}

TEST(QtMessageBoxesTest, ShowsTheTextAsWrittenOverItsOwner) {
    QWidget owner;
    QtMessageBoxes boxes(&owner);
    SeenBox seen;
    AnswerNextBox(seen, QMessageBox::Ok);
    boxes.Show("Caller <b>5</b> & co", "Porthold", MessageBoxButtons::Ok,
               MessageBoxIcon::Information);
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.text, "Caller <b>5</b> & co");
    EXPECT_EQ(seen.owner, &owner);
}

TEST(QtMessageBoxesTest, EscapeGivesTheCautiousAnswer) {
    QtMessageBoxes boxes;
    const struct {
        MessageBoxButtons buttons;
        MessageBoxAnswer expected;
    } cases[] = {{MessageBoxButtons::Ok, MessageBoxAnswer::Ok},
                 {MessageBoxButtons::OkCancel, MessageBoxAnswer::Cancel},
                 {MessageBoxButtons::YesNo, MessageBoxAnswer::No}};
    for (const auto& check : cases) {
        WhenModalOpens("QMessageBox", [](QWidget& box) { QTest::keyClick(&box, Qt::Key_Escape); });
        EXPECT_EQ(boxes.Show("Restore the defaults?", "Porthold", check.buttons,
                             MessageBoxIcon::Question),
                  check.expected);
    }
}

}  // namespace
}  // namespace porthold::ui
