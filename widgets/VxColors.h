// TColor values (0x00BBGGRR; 0x800000nn the system colour nn) and the
// widgets' colours.
#pragma once

#include <QColor>
#include <QPalette>

#include "widgets/logic/ColorArray.h"

namespace velmaris {

// The button face.
inline constexpr TColor clBtnFace = 0x8000000F;
// A system colour is taken from the palette.
QColor ToQColor(TColor color, const QPalette& palette);
TColor FromQColor(const QColor& color);

}  // namespace velmaris
