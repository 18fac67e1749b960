// The list of open tool windows (export, maintenance, mailer windows and
// the like), listed under their captions. Windows register when they open
// and leave when they close; the list never frees them. Main thread only.
#pragma once

#include <string>

#include "core/PubLst.h"

namespace velmaris {

class TWinLst : public TPubLst {
 public:
  int Add(const std::string& caption, TObject* window) { return AddObject(caption, window); }
  // Takes the window out of the list; false when it was not listed.
  bool Remove(const TObject* window);
  // The window at the index (EListIndexError out of range).
  TObject* GetItem(int index) const { return GetObject(index); }
};

// The one window list of the program.
TWinLst& WinLst();

}  // namespace velmaris
