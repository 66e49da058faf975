#pragma once

#include <QColor>
#include <QPalette>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

// The drawing steps of PictureButton, kept apart from its state handling.
// Rectangles are in the button's device-independent pixels.
namespace porthold::ui::widgets::painting {

// What one paint of the button depends on besides its colours.
struct ButtonLook {
    bool flat = false;
    bool pressed = false;
    bool isDefault = false;
    bool mouseOver = false;
    bool drawBorder = true;
};

// The one-pixel black frame of a raised button that is pressed or default;
// returns the rectangle left inside it.
QRect DrawDefaultFrame(QPainter& painter, const QRect& rect, const ButtonLook& look);

// The raised four-line border, the pressed shadow frame, or the flat look's
// hover border.
void DrawBorder(QPainter& painter, const QRect& rect, const ButtonLook& look,
                const QPalette& palette);

struct PictureLayout {
    QPoint position;  // top left of the picture
    QRect caption;    // what is left for the caption
};

// Places a picture of `size` in `item` for the alignment, moving the caption
// rectangle out of its way.
PictureLayout LayoutPicture(const QRect& item, QSize size, int alignment, bool hasCaption,
                            QPoint margins);

// The caption word-wrapped and centred as one block in `rect`; embossed in
// the palette's light and dark colours when disabled.
void DrawCaption(QPainter& painter, const QRect& rect, const QString& caption, bool disabled,
                 const QColor& textColour, const QPalette& palette);

// The colours that stand for the classic system colours of a button.
QColor Highlight(const QPalette& palette);     // outer top-left edge, emboss
QColor Light3d(const QPalette& palette);       // inner top-left edge
QColor DarkShadow(const QPalette& palette);    // outer bottom-right edge
QColor ButtonShadow(const QPalette& palette);  // inner bottom-right edge, emboss

}  // namespace porthold::ui::widgets::painting
