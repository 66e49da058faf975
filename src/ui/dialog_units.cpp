#include "ui/dialog_units.h"

#include <QFontMetrics>

namespace porthold::ui {

namespace {

// Rounds to the nearest pixel, as dialog layouts convert their units.
int Scale(int value, int unit, int divisor) {
    const long long product = static_cast<long long>(value) * unit;
    return static_cast<int>((product + divisor / 2) / divisor);
}

}  // namespace

QFont DialogFont() {
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

LayoutUnits FontLayoutUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return LayoutUnits{((width / 26) + 1) / 2, metrics.height()};
}

int DialogWidth(LayoutUnits units, int width) {
    return Scale(width, units.x, 4);
}

int DialogHeight(LayoutUnits units, int height) {
    return Scale(height, units.y, 8);
}

QRect DialogRect(LayoutUnits units, int left, int top, int width, int height) {
    const int x = DialogWidth(units, left);
    const int y = DialogHeight(units, top);
    // Both edges are converted, so that adjacent controls meet exactly.
    return QRect(QPoint(x, y), QPoint(DialogWidth(units, left + width) - 1,
                                      DialogHeight(units, top + height) - 1));
}

}  // namespace porthold::ui
