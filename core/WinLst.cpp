#include "core/WinLst.h"

namespace velmaris {

bool TWinLst::Remove(const TObject* window) {
  int index = IndexOfObject(window);
  if (index < 0) return false;
  Delete(index);
  return true;
}

TWinLst& WinLst() {
  static TWinLst list;
  return list;
}

}  // namespace velmaris
