// The rules of the shadow label without Qt: the angle, the preset shadow
// styles, the copies of the text that make highlight and shadow, and the box
// of rotated text.
#pragma once

#include <vector>

namespace velmaris {

enum class TDirection {
  drNone,
  drUp,
  drDown,
  drLeft,
  drRight,
  drUpLeft,
  drUpRight,
  drDownLeft,
  drDownRight
};
enum class TShadowStyle {
  ssNone,
  ssCustom,
  ssRaised,
  ssRaisedColor,
  ssRaisedShadow,
  ssRaisedThickShadow,
  ssRecessed,
  ssRecessedColor,
  ssRecessedShadow,
  ssShadow,
  ssThickShadow
};

struct TShadowSettings {
  TDirection highlightDirection = TDirection::drNone;
  int highlightDepth = 0;
  TDirection shadowDirection = TDirection::drNone;
  int shadowDepth = 0;
  int shadowSize = 0;
  bool operator==(const TShadowSettings&) const = default;
};

// Kept in 0..359.
int NormalizeAngle(int angle);
// One step in a direction.
void DirectionStep(TDirection d, int& dx, int& dy);
// The settings a style fills in; false for ssCustom, which changes nothing.
// faceColor: the style also gives the text the button-face colour.
bool ShadowPreset(TShadowStyle style, TShadowSettings& settings, bool& faceColor);

// One extra copy of the text, moved by (dx, dy); shadow copies come first,
// then the highlight copy.
struct TTextCopy {
  int dx = 0, dy = 0;
  bool highlight = false;
  bool operator==(const TTextCopy&) const = default;
};
std::vector<TTextCopy> ShadowCopies(TShadowStyle style, const TShadowSettings& s);

// The box of a w x h text rotated by angle degrees, and the text's starting
// point inside it.
struct TRotatedBox {
  int width = 0, height = 0, startX = 0, startY = 0;
};
TRotatedBox RotatedTextBox(int w, int h, int angle);

}  // namespace velmaris
