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
// The program's picture in the about and help dialog: the same as the pick-up prompt's.
inline constexpr BitmapId kBitmapAbout = 177;
// A globe before the web and e-mail links, and a book before the local help.
inline constexpr BitmapId kBitmapWebLink = 112;
inline constexpr BitmapId kBitmapHelpLink = 173;
// Two 16 × 16 row images side by side: a new message, then a heard one.
inline constexpr BitmapId kBitmapMessageStates = 166;

// One picture at each density it was drawn for, the plain one first; every
// image carries its device-pixel ratio. Empty when the picture does not exist.
using PictureImages = std::vector<QImage>;

// The embedded picture with that number. Its white pixels are meant to be
// transparent.
PictureImages LoadBitmap(BitmapId id);

// The program's window icon, in every size that was drawn.
QIcon ApplicationIcon();

}  // namespace porthold::ui::widgets
