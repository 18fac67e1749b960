#include "widgets/logic/LabelRules.h"

#include <cmath>

namespace velmaris {

int NormalizeAngle(int angle) {
  angle %= 360;
  return angle < 0 ? angle + 360 : angle;
}

void DirectionStep(TDirection d, int& dx, int& dy) {
  static const int steps[9][2] = {{0, 0},   {0, -1}, {0, 1},  {-1, 0}, {1, 0},
                                  {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
  dx = steps[static_cast<int>(d)][0];
  dy = steps[static_cast<int>(d)][1];
}

bool ShadowPreset(TShadowStyle style, TShadowSettings& s, bool& faceColor) {
  using enum TDirection;
  faceColor = false;
  switch (style) {
    case TShadowStyle::ssCustom: return false;
    case TShadowStyle::ssNone: s = {drNone, 0, drNone, 0, 0}; break;
    case TShadowStyle::ssRaised: s = {drUpLeft, 1, drNone, 0, 0}; break;
    case TShadowStyle::ssRaisedColor:
      s = {drUpLeft, 1, drDownRight, 1, 1};
      faceColor = true;
      break;
    case TShadowStyle::ssRaisedShadow: s = {drUpLeft, 1, drDownRight, 1, 1}; break;
    case TShadowStyle::ssRaisedThickShadow: s = {drUpLeft, 1, drDownRight, 1, 4}; break;
    case TShadowStyle::ssRecessed: s = {drDownRight, 1, drNone, 0, 0}; break;
    case TShadowStyle::ssRecessedColor:
      s = {drDownRight, 1, drUpLeft, 1, 1};
      faceColor = true;
      break;
    case TShadowStyle::ssRecessedShadow: s = {drDownRight, 1, drUpLeft, 1, 1}; break;
    case TShadowStyle::ssShadow: s = {drNone, 0, drDownRight, 2, 1}; break;
    case TShadowStyle::ssThickShadow: s = {drNone, 0, drDownRight, 1, 4}; break;
  }
  return true;
}

std::vector<TTextCopy> ShadowCopies(TShadowStyle style, const TShadowSettings& s) {
  std::vector<TTextCopy> out;
  if (style == TShadowStyle::ssNone) return out;
  int dx, dy;
  DirectionStep(s.shadowDirection, dx, dy);
  int x = dx * s.shadowDepth, y = dy * s.shadowDepth;
  for (int i = 0; i < s.shadowSize; ++i, x += dx, y += dy) out.push_back({x, y, false});
  DirectionStep(s.highlightDirection, dx, dy);
  out.push_back({dx * s.highlightDepth, dy * s.highlightDepth, true});
  return out;
}

TRotatedBox RotatedTextBox(int w, int h, int angle) {
  angle = NormalizeAngle(angle);
  const double rad = angle * M_PI / 180.0;
  const int wc = static_cast<int>(std::lround(w * std::cos(rad)));
  const int ws = static_cast<int>(std::lround(w * std::sin(rad)));
  const int hs = static_cast<int>(std::lround(h * std::sin(rad)));
  const int hc = static_cast<int>(std::lround(h * std::cos(rad)));
  TRotatedBox b;
  if (angle < 90) {
    b = {wc + hs, ws + hc, 0, ws};
  } else if (angle < 180) {
    b = {hs - wc, ws - hc, -wc, 0};
    b.startY = b.height;
  } else if (angle < 270) {
    b = {-hs - wc, -hc - ws, 0, -hc};
    b.startX = b.width;
  } else {
    b = {wc - hs, hc - ws, -hs, 0};
  }
  return b;
}

}  // namespace velmaris
