#include "ui/pick_up_dlg.h"

#include <QLabel>

#include "ui/dialog_resources.h"
#include "ui/dialog_units.h"
#include "ui/popup_window.h"
#include "ui/widgets/pictures.h"

namespace porthold::ui {

namespace {

constexpr int kWidth = 168;
constexpr int kHeight = 33;

}  // namespace

PickUpDlg::PickUpDlg(platform::Clock& clock, QWidget* parent)
    : QDialog(parent), prompt_(clock), clock_(clock) {
    setObjectName(QStringLiteral("PickUpDlg"));
    setProperty("templateId", kPickUpTemplate);
    QFrame* frame = PreparePopupWindow(*this, kWidth, kHeight);
    const LayoutUnits units = PopupUnits(*this);
    const QPoint origin = frame->contentsRect().topLeft();

    // The picture keeps its own size, in a sunken frame.
    auto* picture = new QLabel(frame);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picture->setLineWidth(1);
    const widgets::PictureImages images = widgets::LoadBitmap(widgets::kBitmapPickUp);
    if (!images.empty()) {
        picture->setPixmap(QPixmap::fromImage(images.front()));
    }
    picture->adjustSize();
    picture->move(origin + DialogRect(units, 7, 8, 0, 0).topLeft());

    auto* text = new QLabel(QString::fromUtf8(telephony::PickUpPrompt::kText.data(),
                                              telephony::PickUpPrompt::kText.size()),
                            frame);
    text->setObjectName(QStringLiteral("promptText"));
    text->setTextFormat(Qt::PlainText);
    text->setGeometry(DialogRect(units, 32, 12, 129, 10).translated(origin));
}

PickUpDlg::~PickUpDlg() {
    clock_.KillTimer(*this, kWatchTimer);
}

void PickUpDlg::Run() {
    CentreOnScreen(*this);
    prompt_.Start();
    clock_.SetTimer(*this, kWatchTimer, kWatchMilliseconds);
    exec();
    clock_.KillTimer(*this, kWatchTimer);
}

void PickUpDlg::OnTimer(platform::TimerId /*id*/) {
    if (prompt_.IsFinished() && isVisible()) {
        done(telephony::PickUpPrompt::kResult);
    }
}

}  // namespace porthold::ui
