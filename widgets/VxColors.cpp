#include "widgets/VxColors.h"

namespace velmaris {

namespace {

QPalette::ColorRole RoleOfSystemColor(int index) {
  switch (index) {
    case 0x05: return QPalette::Base;
    case 0x08: return QPalette::Text;
    case 0x0D: return QPalette::Highlight;
    case 0x0E: return QPalette::HighlightedText;
    case 0x10: return QPalette::Dark;
    case 0x12: return QPalette::ButtonText;
    case 0x14: return QPalette::Light;
    case 0x15: return QPalette::Shadow;
    case 0x16: return QPalette::Midlight;
    default: return QPalette::Button;
  }
}

}  // namespace

QColor ToQColor(TColor color, const QPalette& palette) {
  if (color & 0x80000000u) return palette.color(RoleOfSystemColor(static_cast<int>(color & 0xFF)));
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

TColor FromQColor(const QColor& c) {
  return TColor(c.red()) | TColor(c.green()) << 8 | TColor(c.blue()) << 16;
}

}  // namespace velmaris
