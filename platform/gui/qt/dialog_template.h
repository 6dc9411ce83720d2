// Dialog units on Qt: the base units of a font measured the way Windows measures a dialog font.
#pragma once

#include <QFont>
#include <QRect>

#include "platform/gui/dialog_template.h"

namespace platform {

// Base units of a font the way Windows measures a dialog font: the average width of the 52 Latin
// letters, rounded, and the cell height (ascent + descent).
DialogBaseUnits dialogBaseUnits(const QFont& font);

// Maps a rectangle given as x, y, width, height in dialog units to pixels. The edges are mapped,
// not the sizes, so adjacent controls stay adjacent.
QRect mapDialogRect(int x, int y, int cx, int cy, DialogBaseUnits units);

// The font a template asks for: its face when installed, else the application's font family, at
// the template's point size.
QFont dialogFont(const DialogTemplate& dialogTemplate);

}  // namespace platform
