#include "ui/popup_window.h"

#include <QScreen>
#include <QVBoxLayout>

#include "ui/dialog_units.h"

namespace porthold::ui {

QFrame* PreparePopupWindow(QDialog& dialog, int width, int height) {
    dialog.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setFont(DialogFont());
    const LayoutUnits units = PopupUnits(dialog);

    auto* frame = new QFrame(&dialog);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setFrameStyle(QFrame::WinPanel | QFrame::Raised);
    frame->setLineWidth(2);
    const int border = frame->frameWidth();
    frame->setFixedSize(DialogWidth(units, width) + 2 * border,
                        DialogHeight(units, height) + 2 * border);
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(frame);
    return frame;
}

LayoutUnits PopupUnits(const QDialog& dialog) {
    return FontLayoutUnits(dialog.font());
}

void CentreOnScreen(QDialog& dialog) {
    dialog.adjustSize();
    const QScreen* screen = dialog.screen();
    if (screen == nullptr) {
        return;
    }
    const QRect available = screen->availableGeometry();
    dialog.move(available.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
}

}  // namespace porthold::ui
