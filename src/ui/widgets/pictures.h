#pragma once

#include <QIcon>
#include <QImage>
#include <vector>

namespace porthold::ui::widgets {

// Pictures are numbered the way the windows that use them name them.
using BitmapId = int;

inline constexpr BitmapId kNoBitmap = 0;
inline constexpr BitmapId kBitmapNewMessages = 147;
inline constexpr BitmapId kBitmapMessages = 148;
inline constexpr BitmapId kBitmapPinList = 162;
inline constexpr BitmapId kBitmapSettings = 172;
inline constexpr BitmapId kBitmapPickUp = 177;

// One picture at each density it was drawn for, the plain one first; every
// image carries its device-pixel ratio. Empty when the picture does not exist.
using PictureImages = std::vector<QImage>;

// The embedded picture with that number. Its white pixels are meant to be
// transparent.
PictureImages LoadBitmap(BitmapId id);

// The program's window icon, in every size that was drawn.
QIcon ApplicationIcon();

}  // namespace porthold::ui::widgets
