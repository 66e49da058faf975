#include "ui/incoming_call_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/dialog_resources.h"
#include "ui/dialog_units.h"
#include "ui/popup_window.h"

namespace porthold::ui {

namespace {

constexpr int kWidth = 186;
constexpr int kHeight = 90;

}  // namespace

IncomingCallDlg::IncomingCallDlg(const telephony::IncomingCallRequest& request,
                                 audio::WavePlayer& player, platform::Clock& clock, QWidget* parent)
    : QDialog(parent), notification_(request, player, clock), clock_(clock) {
    setObjectName(QStringLiteral("IncomingCallDlg"));
    setProperty("templateId", kIncomingCallTemplate);
    QFrame* frame = PreparePopupWindow(*this, kWidth, kHeight);
    const LayoutUnits units = PopupUnits(*this);
    const QPoint origin = frame->contentsRect().topLeft();

    text_ = new QLabel(QString::fromStdString(notification_.NotificationText()), frame);
    text_->setObjectName(QStringLiteral("notificationText"));
    text_->setProperty("controlId", kNotificationText);
    text_->setTextFormat(Qt::PlainText);
    text_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    text_->setAlignment(Qt::AlignCenter);
    text_->setWordWrap(true);
    text_->setGeometry(DialogRect(units, 7, 5, 173, 27).translated(origin));

    answer_ = new QPushButton(QStringLiteral("Answer this Call"), frame);
    answer_->setObjectName(QStringLiteral("answerButton"));
    answer_->setProperty("controlId", telephony::kAnswerCallResult);
    answer_->setGeometry(DialogRect(units, 36, 40, 115, 21).translated(origin));
    answer_->setDefault(true);

    takeMessage_ = new QPushButton(QStringLiteral("Take a Message"), frame);
    takeMessage_->setObjectName(QStringLiteral("takeMessageButton"));
    takeMessage_->setProperty("controlId", telephony::kTakeMessageResult);
    takeMessage_->setGeometry(DialogRect(units, 51, 69, 85, 14).translated(origin));
    takeMessage_->setAutoDefault(false);

    // Neither button stops the sounds already started.
    connect(answer_, &QPushButton::clicked, this, [this] {
        notification_.Answer();
        CloseWhenFinished();
    });
    connect(takeMessage_, &QPushButton::clicked, this, [this] {
        notification_.TakeMessage();
        CloseWhenFinished();
    });
}

IncomingCallDlg::~IncomingCallDlg() {
    clock_.KillTimer(*this, kWatchTimer);
}

int IncomingCallDlg::Run() {
    CentreOnScreen(*this);
    notification_.Start();
    clock_.SetTimer(*this, kWatchTimer, kWatchMilliseconds);
    const int result = exec();
    clock_.KillTimer(*this, kWatchTimer);
    return result;
}

void IncomingCallDlg::reject() {
    notification_.Cancel();
    CloseWhenFinished();
}

void IncomingCallDlg::OnTimer(platform::TimerId /*id*/) {
    CloseWhenFinished();
}

void IncomingCallDlg::CloseWhenFinished() {
    if (notification_.IsFinished() && isVisible()) {
        done(notification_.Result());
    }
}

}  // namespace porthold::ui
