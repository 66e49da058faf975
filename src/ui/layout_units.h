#pragma once

namespace porthold::ui {

// The layout units of a window font, in pixels: the average character width
// and the character height (baseUnitX and baseUnitY). Windows are laid out in
// dialog units, a quarter of the width and an eighth of the height, so that
// they keep their proportions whatever the font's size on the screen.
struct LayoutUnits {
    int x = 0;
    int y = 0;

    friend bool operator==(const LayoutUnits&, const LayoutUnits&) = default;
};

}  // namespace porthold::ui
