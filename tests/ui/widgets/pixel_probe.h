#pragma once

#include <QImage>
#include <QPalette>
#include <QRect>
#include <QWidget>
#include <functional>

namespace porthold::testing {

// Colours that tell every part of a button apart in a grabbed image.
inline constexpr QRgb kFace = 0xFFC0C0C0;
inline constexpr QRgb kText = 0xFF000000;
inline constexpr QRgb kLight = 0xFFFFFFFF;
inline constexpr QRgb kMidlight = 0xFFE0E0E0;
inline constexpr QRgb kDark = 0xFF808080;
inline constexpr QRgb kShadow = 0xFF404040;
inline constexpr QRgb kBlue = 0xFF0000FF;

QPalette TestPalette();

// What the widget shows, one pixel per device-independent pixel.
QImage Grab(QWidget& widget);

// The smallest rectangle inside `region` holding every pixel that `wanted`
// accepts; empty when there is none.
QRect BoundingBox(const QImage& image, const QRect& region,
                  const std::function<bool(QRgb)>& wanted);

// A picture of one colour with a white square cut in its middle.
QImage SolidPicture(QSize size, QRgb colour, int whiteSquare = 0);

}  // namespace porthold::testing
