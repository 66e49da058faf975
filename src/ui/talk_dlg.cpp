#include "ui/talk_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/dialog_units.h"
#include "ui/popup_window.h"

namespace porthold::ui {

namespace {

constexpr int kWidth = 186;
constexpr int kHeight = 70;

}  // namespace

TalkDlg::TalkDlg(const std::string& callerText, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TalkDlg"));
    QFrame* frame = PreparePopupWindow(*this, kWidth, kHeight);
    const LayoutUnits units = PopupUnits(*this);
    const QPoint origin = frame->contentsRect().topLeft();

    auto* text = new QLabel(QString::fromStdString(callerText), frame);
    text->setObjectName(QStringLiteral("callerText"));
    text->setTextFormat(Qt::PlainText);
    text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
    text->setGeometry(DialogRect(units, 7, 5, 173, 27).translated(origin));

    auto* how = new QLabel(QStringLiteral("Talking on the microphone and speaker..."), frame);
    how->setObjectName(QStringLiteral("talkText"));
    how->setAlignment(Qt::AlignCenter);
    how->setGeometry(DialogRect(units, 7, 36, 173, 10).translated(origin));

    auto* hangUp = new QPushButton(QStringLiteral("Hang Up"), frame);
    hangUp->setObjectName(QStringLiteral("hangUpButton"));
    hangUp->setGeometry(DialogRect(units, 51, 50, 85, 14).translated(origin));
    hangUp->setDefault(true);
    connect(hangUp, &QPushButton::clicked, this, [this] { done(kHungUp); });
}

int TalkDlg::Run() {
    CentreOnScreen(*this);
    return exec();
}

void TalkDlg::EndCall() {
    if (isVisible()) {
        done(kCallEnded);
    }
}

}  // namespace porthold::ui
