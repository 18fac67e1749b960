#include "widgets/Placement.h"

#include <algorithm>

namespace velmaris {

PlaceRect ClampToScreens(const PlaceRect& stored, const std::vector<PlaceRect>& screens, int minW,
                         int minH) {
  if (screens.empty()) return stored;
  auto overlap = [&](const PlaceRect& s) -> long long {
    const long long w = std::min<long long>(stored.x + static_cast<long long>(stored.w),
                                            s.x + static_cast<long long>(s.w)) -
                        std::max<long long>(stored.x, s.x);
    const long long h = std::min<long long>(stored.y + static_cast<long long>(stored.h),
                                            s.y + static_cast<long long>(s.h)) -
                        std::max<long long>(stored.y, s.y);
    return w > 0 && h > 0 ? w * h : 0;
  };
  // Squared distance from the centre of the stored bounds to a screen.
  auto distance = [&](const PlaceRect& s) -> long double {
    const long double cx = stored.x + stored.w / 2.0L, cy = stored.y + stored.h / 2.0L;
    const long double dx =
        cx < s.x ? s.x - cx : (cx > s.x + static_cast<long double>(s.w) ? cx - s.x - s.w : 0);
    const long double dy =
        cy < s.y ? s.y - cy : (cy > s.y + static_cast<long double>(s.h) ? cy - s.y - s.h : 0);
    return dx * dx + dy * dy;
  };
  const PlaceRect* best = &screens.front();
  long long bestArea = overlap(*best);
  for (const PlaceRect& s : screens) {
    const long long a = overlap(s);
    if (a > bestArea) {
      bestArea = a;
      best = &s;
    }
  }
  if (bestArea == 0) {
    // On no screen: the nearest one.
    for (const PlaceRect& s : screens)
      if (distance(s) < distance(*best)) best = &s;
  }
  const PlaceRect& s = *best;
  PlaceRect r;
  r.w = std::clamp(stored.w, std::min(minW, s.w), s.w);
  r.h = std::clamp(stored.h, std::min(minH, s.h), s.h);
  r.x = std::clamp(stored.x, s.x, s.x + s.w - r.w);
  r.y = std::clamp(stored.y, s.y, s.y + s.h - r.h);
  return r;
}

PlaceRect MoveOntoScreens(const PlaceRect& frame, const std::vector<PlaceRect>& screens) {
  return FitOntoScreens(frame, screens, frame.w, frame.h);
}

PlaceRect FitOntoScreens(const PlaceRect& frame, const std::vector<PlaceRect>& screens, int minW,
                         int minH) {
  if (screens.empty()) return frame;
  // On the screen, as small as it must be; then back up to what the layout
  // needs (the screen's left or top edge stays where it is).
  PlaceRect r = ClampToScreens(frame, screens, 1, 1);
  r.w = std::max(r.w, std::min(std::max(frame.w, 1), minW));
  r.h = std::max(r.h, std::min(std::max(frame.h, 1), minH));
  return r;
}

PlaceRect PlaceBeside(const PlaceRect& window, const PlaceRect& other, const PlaceRect& screen) {
  const auto covered = [&](const PlaceRect& r) -> long long {
    const long long w = std::min<long long>(static_cast<long long>(r.x) + r.w,
                                            static_cast<long long>(other.x) + other.w) -
                        std::max(r.x, other.x);
    const long long h = std::min<long long>(static_cast<long long>(r.y) + r.h,
                                            static_cast<long long>(other.y) + other.h) -
                        std::max(r.y, other.y);
    return w > 0 && h > 0 ? w * h : 0;
  };
  if (covered(window) == 0) return window;
  const auto onScreen = [&](PlaceRect r) {
    r.x = std::clamp(r.x, screen.x, std::max(screen.x, screen.x + screen.w - r.w));
    r.y = std::clamp(r.y, screen.y, std::max(screen.y, screen.y + screen.h - r.h));
    return r;
  };
  const PlaceRect sides[] = {
      {other.x + other.w, window.y, window.w, window.h},
      {other.x - window.w, window.y, window.w, window.h},
      {window.x, other.y + other.h, window.w, window.h},
      {window.x, other.y - window.h, window.w, window.h},
  };
  PlaceRect best = window;
  long long bestCovered = covered(window);
  for (const PlaceRect& side : sides) {
    const PlaceRect r = onScreen(side);
    if (const long long c = covered(r); c < bestCovered) {
      best = r;
      bestCovered = c;
    }
  }
  return best;
}

}  // namespace velmaris
