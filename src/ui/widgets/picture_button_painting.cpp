#include "ui/widgets/picture_button_painting.h"

#include <QPainter>
#include <algorithm>

namespace porthold::ui::widgets::painting {

namespace {

// A horizontal or vertical line that, like a pen moved from point to point,
// leaves out its end point.
void DrawSegment(QPainter& painter, QPoint from, QPoint to, const QColor& colour) {
    if (from == to) {
        return;
    }
    QPoint last = to;
    if (from.x() == to.x()) {
        last.ry() += to.y() > from.y() ? -1 : 1;
    } else {
        last.rx() += to.x() > from.x() ? -1 : 1;
    }
    painter.fillRect(QRect(QPoint(std::min(from.x(), last.x()), std::min(from.y(), last.y())),
                           QPoint(std::max(from.x(), last.x()), std::max(from.y(), last.y()))),
                     colour);
}

void DrawPolyline(QPainter& painter, std::initializer_list<QPoint> points, const QColor& colour) {
    const QPoint* previous = nullptr;
    for (const QPoint& point : points) {
        if (previous != nullptr) {
            DrawSegment(painter, *previous, point, colour);
        }
        previous = &point;
    }
}

void FrameRect(QPainter& painter, const QRect& rect, const QColor& colour) {
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), colour);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), colour);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), colour);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), colour);
}

// Top and left edges in one colour, right and bottom edges in the other.
void Draw3dRect(QPainter& painter, const QRect& rect, const QColor& topLeft,
                const QColor& bottomRight) {
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width() - 1, 1), topLeft);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height() - 1), topLeft);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), bottomRight);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), bottomRight);
}

}  // namespace

QColor Highlight(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Light);
}

QColor Light3d(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Midlight);
}

QColor DarkShadow(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Shadow);
}

QColor ButtonShadow(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Dark);
}

QRect DrawDefaultFrame(QPainter& painter, const QRect& rect, const ButtonLook& look) {
    if (look.flat || !(look.pressed || look.isDefault)) {
        return rect;
    }
    FrameRect(painter, rect, Qt::black);
    return rect.adjusted(1, 1, -1, -1);
}

void DrawBorder(QPainter& painter, const QRect& rect, const ButtonLook& look,
                const QPalette& palette) {
    if (look.pressed) {
        if (!look.flat) {
            FrameRect(painter, rect, ButtonShadow(palette));
        } else if (look.drawBorder) {
            Draw3dRect(painter, rect, ButtonShadow(palette), Highlight(palette));
        }
        return;
    }
    if (look.flat) {
        if (look.mouseOver && look.drawBorder) {
            Draw3dRect(painter, rect, Highlight(palette), ButtonShadow(palette));
        }
        return;
    }
    // Right and bottom are exclusive here, as the pen positions are.
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.left() + rect.width();
    const int bottom = rect.top() + rect.height();
    DrawPolyline(painter, {{left, bottom - 1}, {left, top}, {right, top}}, Highlight(palette));
    DrawPolyline(painter, {{left + 1, bottom - 1}, {left + 1, top + 1}, {right, top + 1}},
                 Light3d(palette));
    DrawPolyline(painter, {{left, bottom - 1}, {right - 1, bottom - 1}, {right - 1, top - 1}},
                 DarkShadow(palette));
    DrawPolyline(painter, {{left + 1, bottom - 2}, {right - 2, bottom - 2}, {right - 2, top}},
                 ButtonShadow(palette));
}

PictureLayout LayoutPicture(const QRect& item, QSize size, int alignment, bool hasCaption,
                            QPoint margins) {
    PictureLayout layout{item.topLeft(), item};
    const int width = size.width();
    const int height = size.height();
    const QPoint centred(item.left() + (item.width() - width) / 2,
                         item.top() + (item.height() - height) / 2);
    switch (alignment) {
        case 0:
            if (!hasCaption) {
                layout.position = centred;
                break;
            }
            layout.position = {item.left() + margins.x(), centred.y()};
            layout.caption.setLeft(item.left() + width + margins.x());
            break;
        case 1:
            if (!hasCaption) {
                layout.position = centred;
                break;
            }
            layout.position = {centred.x(), item.top() + margins.y()};
            layout.caption.setTop(item.top() + height);
            break;
        case 2:
            if (!hasCaption) {
                layout.position = {centred.x(), item.top()};
                break;
            }
            layout.position = {item.left() + item.width() - width - margins.x(), centred.y()};
            layout.caption.setLeft(item.left() + margins.x());
            layout.caption.setWidth(item.width() - width - 2 * margins.x());
            break;
        default:
            break;
    }
    return layout;
}

void DrawCaption(QPainter& painter, const QRect& rect, const QString& caption, bool disabled,
                 const QColor& textColour, const QPalette& palette) {
    const int flags = Qt::AlignHCenter | Qt::TextWordWrap;
    const QRect measured = painter.boundingRect(rect, flags, caption);
    // Centre the wrapped lines as one block, so a caption with a line break
    // stays in the middle of the space below or beside the picture.
    const QRect block(rect.left(), rect.top() + (rect.height() - measured.height()) / 2,
                      rect.width(), measured.height());
    if (disabled) {
        painter.setPen(Highlight(palette));
        painter.drawText(block.translated(1, 1), flags, caption);
        painter.setPen(ButtonShadow(palette));
        painter.drawText(block, flags, caption);
        return;
    }
    painter.setPen(textColour);
    painter.drawText(block, flags, caption);
}

}  // namespace porthold::ui::widgets::painting
