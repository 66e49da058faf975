#pragma once

#include <QFont>
#include <QRect>

#include "ui/layout_units.h"

namespace porthold::ui {

// The font every window of the program is laid out with: an 8-point sans serif.
QFont DialogFont();

// The units of `font`: its height, and half the width of the 52 letters
// A-Z a-z divided by 26, rounded up, as dialog layouts have always measured
// the average character width.
LayoutUnits FontLayoutUnits(const QFont& font);

// A rectangle given in dialog units (left, top, width, height), in pixels.
QRect DialogRect(LayoutUnits units, int left, int top, int width, int height);

// A length across or down, in pixels.
int DialogWidth(LayoutUnits units, int width);
int DialogHeight(LayoutUnits units, int height);

}  // namespace porthold::ui
