#pragma once

#include <QDialog>
#include <QFrame>

#include "ui/layout_units.h"

namespace porthold::ui {

// The look of the windows that pop up during a call: no title bar, a raised
// frame, the dialog font, a fixed client area of `width` × `height` dialog
// units, modal to the whole application and kept above other windows.
// Returns the frame, inside which the controls are placed in dialog units
// from its contents' top left corner.
QFrame* PreparePopupWindow(QDialog& dialog, int width, int height);

// The layout units of the popup's font.
LayoutUnits PopupUnits(const QDialog& dialog);

// Places the window in the middle of its screen.
void CentreOnScreen(QDialog& dialog);

}  // namespace porthold::ui
