#include "pixel_probe.h"

namespace porthold::testing {

QPalette TestPalette() {
    QPalette palette;
    palette.setColor(QPalette::Button, QColor::fromRgb(kFace));
    palette.setColor(QPalette::Window, QColor::fromRgb(kFace));
    palette.setColor(QPalette::ButtonText, QColor::fromRgb(kText));
    palette.setColor(QPalette::Light, QColor::fromRgb(kLight));
    palette.setColor(QPalette::Midlight, QColor::fromRgb(kMidlight));
    palette.setColor(QPalette::Dark, QColor::fromRgb(kDark));
    palette.setColor(QPalette::Shadow, QColor::fromRgb(kShadow));
    return palette;
}

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRect BoundingBox(const QImage& image, const QRect& region,
                  const std::function<bool(QRgb)>& wanted) {
    QRect box;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            if (wanted(image.pixel(x, y))) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

QImage SolidPicture(QSize size, QRgb colour, int whiteSquare) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const int left = (size.width() - whiteSquare) / 2;
    const int top = (size.height() - whiteSquare) / 2;
    for (int y = top; y < top + whiteSquare; ++y) {
        for (int x = left; x < left + whiteSquare; ++x) {
            image.setPixel(x, y, 0xFFFFFFFF);
        }
    }
    return image;
}

}  // namespace porthold::testing
