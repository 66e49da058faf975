#include "ui/widgets/picture_button.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QUrl>
#include <algorithm>

#include "ui/widgets/picture_button_painting.h"

namespace porthold::ui::widgets {

PictureButton::PictureButton(const QString& caption, QWidget* parent, ButtonType type)
    : QPushButton(caption, parent) {
    setCheckable(type == ButtonType::CheckBox);
    // Movement without a held button is needed for the flat look's hover border.
    setMouseTracking(true);
    ResetColours();
    connect(this, &QAbstractButton::clicked, this, &PictureButton::OnClicked);
}

PictureButtonResult PictureButton::SetPictures(BitmapId inPicture, QRgb inTransparent,
                                               BitmapId outPicture, QRgb outTransparent) {
    return InstallPictures(LoadBitmap(inPicture), inTransparent, LoadBitmap(outPicture),
                           outTransparent);
}

PictureButtonResult PictureButton::SetPictures(BitmapId inPicture, QRgb inTransparent,
                                               AutomaticPicture outPicture) {
    return SetPictureImages(LoadBitmap(inPicture), inTransparent, outPicture);
}

PictureButtonResult PictureButton::SetPictureImages(const PictureImages& inPicture,
                                                    QRgb inTransparent,
                                                    const PictureImages& outPicture,
                                                    QRgb outTransparent) {
    return InstallPictures(inPicture, inTransparent, outPicture, outTransparent);
}

PictureButtonResult PictureButton::SetPictureImages(const PictureImages& inPicture,
                                                    QRgb inTransparent,
                                                    AutomaticPicture outPicture) {
    return InstallPictures(inPicture, inTransparent,
                           AutomaticCopy(inPicture, inTransparent, outPicture), inTransparent);
}

PictureButtonResult PictureButton::InstallPictures(const PictureImages& inPicture,
                                                   QRgb inTransparent,
                                                   const PictureImages& outPicture,
                                                   QRgb outTransparent) {
    for (ButtonPicture& picture : pictures_) {
        picture.Clear();
    }
    // Without an in picture there is nothing to draw, and an out picture alone
    // is never chosen.
    PictureResult result = pictures_[0].Build(inPicture, inTransparent);
    if (result == PictureResult::Ok && !pictures_[0].IsEmpty()) {
        result = pictures_[1].Build(outPicture, outTransparent);
    }
    if (result != PictureResult::Ok) {
        for (ButtonPicture& picture : pictures_) {
            picture.Clear();
        }
    }
    update();
    return static_cast<PictureButtonResult>(result);
}

PictureButtonResult PictureButton::SetFlatLook(FlatLook look, Redraw redraw) {
    flat_ = look == FlatLook::On;
    if (!flat_) {
        mouseOver_ = false;
    }
    RedrawIf(redraw);
    return PictureButtonResult::Ok;
}

PictureButtonResult PictureButton::SetPictureAlignment(int alignment, Redraw redraw) {
    if (alignment < kPictureLeft || alignment > kPictureUnplaced) {
        return PictureButtonResult::AlignmentOutOfRange;
    }
    pictureAlignment_ = alignment;
    RedrawIf(redraw);
    return PictureButtonResult::Ok;
}

void PictureButton::SetToolTip(const QString& text, ToolTipState state) {
    if (text.isEmpty()) {
        return;
    }
    // Qt's tool-tip follows the pointer by itself; an inactive tip is simply
    // not handed to it.
    setToolTip(state == ToolTipState::Active ? text : QString());
}

void PictureButton::SetLinkTarget(std::string_view target) {
    std::size_t length = std::min(target.size(), kMaximumLinkTargetBytes);
    // Cutting inside a UTF-8 sequence would leave a target no opener accepts.
    while (length < target.size() && length > 0 &&
           (static_cast<unsigned char>(target[length]) & 0xC0) == 0x80) {
        --length;
    }
    linkTarget_.assign(target.substr(0, length));
}

void PictureButton::SetColours(ColourState state, const QColor& background, const QColor& text,
                               Redraw redraw) {
    colours_[static_cast<std::size_t>(state)] = Colours{background, text};
    RedrawIf(redraw);
}

void PictureButton::SetCheck(int state) {
    if (isCheckable()) {
        setChecked(state == 1 || state == 2);
    }
}

void PictureButton::ResetColours() {
    const Colours system{palette().color(QPalette::Active, QPalette::Button),
                         palette().color(QPalette::Active, QPalette::ButtonText)};
    colours_.fill(system);
}

void PictureButton::RedrawIf(Redraw redraw) {
    if (redraw == Redraw::Yes) {
        update();
    }
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const bool checkBox = isCheckable();
    const bool pressed = isDown() || (checkBox && isChecked());
    const bool focused = hasFocus();
    const bool disabled = !isEnabled();
    const painting::ButtonLook look{flat_, pressed, isDefault(), mouseOver_, drawBorder_};
    const Colours& colours =
        colours_[static_cast<std::size_t>(mouseOver_ || pressed ? ColourState::In
                                          : focused             ? ColourState::Focus
                                                                : ColourState::Out)];

    const QRect inner = painting::DrawDefaultFrame(painter, rect(), look);
    painter.fillRect(inner, colours.background);
    painting::DrawBorder(painter, inner, look, palette());

    const QString caption = text();
    QRect captionRect = rect();
    const bool moved = pressed && !checkBox;
    if (!pictures_[0].IsEmpty()) {
        const bool inState = checkBox ? pressed : pressed || mouseOver_;
        const ButtonPicture& picture =
            inState || pictures_[1].IsEmpty() ? pictures_[0] : pictures_[1];
        const painting::PictureLayout layout = painting::LayoutPicture(
            rect(), picture.Size(), pictureAlignment_, !caption.isEmpty(), margins_);
        captionRect = layout.caption;
        const QRect target(layout.position + (moved ? pressedOffset_ : QPoint()), picture.Size());
        // The device transform also tells the density of an image the button
        // is rendered into, which the widget's own ratio does not.
        const QImage& image = picture.ForDevicePixelRatio(
            std::max(painter.device()->devicePixelRatioF(), painter.deviceTransform().m11()));
        if (disabled && greyedWhenDisabled_) {
            QStyleOption option;
            option.initFrom(this);
            painter.drawPixmap(target, style()->generatedIconPixmap(
                                           QIcon::Disabled, QPixmap::fromImage(image), &option));
        } else {
            painter.drawImage(target, image);
        }
    }

    if (!caption.isEmpty()) {
        painting::DrawCaption(painter, captionRect.translated(moved ? pressedOffset_ : QPoint()),
                              caption, disabled, colours.text, palette());
    }

    if (focused && (!flat_ || flatFocus_)) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = inner.adjusted(3, 3, -3, -3);
        option.backgroundColor = colours.background;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void PictureButton::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    TrackPointer(event->position().toPoint(), QApplication::mouseButtons());
}

void PictureButton::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    TrackPointer(event->position().toPoint(), event->buttons());
}

void PictureButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    EndHover();
}

void PictureButton::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    EndHover();
}

void PictureButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    switch (event->type()) {
        case QEvent::PaletteChange:
            ResetColours();
            update();
            break;
        case QEvent::ActivationChange:
            if (!isActiveWindow()) {
                EndHover();
            }
            break;
        case QEvent::EnabledChange:
            // Qt has already handed the focus on to the next widget in the tab
            // chain by the time this arrives.
            if (!isEnabled()) {
                EndHover();
            }
            break;
        default:
            break;
    }
}

void PictureButton::TrackPointer(QPoint position, Qt::MouseButtons buttons) {
    if (!flat_) {
        return;
    }
    // A press that started elsewhere and was dragged in does not light the button.
    if ((buttons & Qt::LeftButton) && !mouseOver_) {
        return;
    }
    bool inside = rect().contains(position);
    if (!alwaysTrack_ && QApplication::activeWindow() == nullptr) {
        inside = false;
    }
    if (!inside) {
        EndHover();
        return;
    }
    if (!mouseOver_) {
        mouseOver_ = true;
        update();
    }
}

void PictureButton::EndHover() {
    if (flat_ && mouseOver_) {
        mouseOver_ = false;
        update();
    }
}

void PictureButton::OnClicked() {
    setFocus(Qt::MouseFocusReason);
    if (isCheckable() || linkTarget_.empty()) {
        return;
    }
    // The opener reports nothing the user must act on, so its result is not shown.
    QDesktopServices::openUrl(
        QUrl::fromUserInput(QString::fromStdString(linkTarget_), QDir::currentPath()));
}

}  // namespace porthold::ui::widgets
