#include "widgets/logic/SplitterRules.h"

namespace velmaris {

int SplitStyle(TAlign f, TAlign s, TAlign splitter) {
  const bool sNoneOrClient = s == TAlign::alNone || s == TAlign::alClient;
  int style = 0;
  if ((f == TAlign::alTop || f == TAlign::alBottom) && sNoneOrClient) {
    style = 1;
  } else if (f == TAlign::alClient && (s == TAlign::alBottom || s == TAlign::alTop)) {
    style = 2;
  } else if ((f == TAlign::alLeft || f == TAlign::alRight) && sNoneOrClient) {
    style = 3;
  } else if (f == TAlign::alClient && (s == TAlign::alRight || s == TAlign::alLeft)) {
    style = 4;
  }
  if ((style == 1 || style == 3) && splitter != f) return 0;
  if ((style == 2 || style == 4) && splitter != s) return 0;
  return style;
}

int SplitNewSize(int style, TAlign first, TAlign second, int oldSize, int dx, int dy, int room) {
  if (first == TAlign::alRight || second == TAlign::alRight) dx = -dx;
  if (first == TAlign::alBottom || second == TAlign::alBottom) dy = -dy;
  const int delta = (style == 1 || style == 2) ? dy : dx;
  int size = oldSize + delta;
  if (size < 1) size = 1;
  if (size >= room) size = room - 3;
  return size;
}

}  // namespace velmaris
