#include "app/logic/MsgNavigate.h"

#include <string>

#include "app/logic/MsgThreads.h"
#include "app/logic/SelectionTools.h"
#include "core/Area.h"
#include "core/MsgHeader.h"

namespace velmaris {

const std::vector<TFlagBox>& FlagBoxes() {
  static const std::vector<TFlagBox> boxes = {
      {"F_ToSysop", MsgFlag::ToSysop, true, true}, {"F_Unread", MsgFlag::Unread, true, true},
      {"F_Hold", MsgFlag::Hold, false, false},     {"F_Kill", MsgFlag::Kill, false, false},
      {"F_Send", MsgFlag::Send, false, true},      {"F_Sent", MsgFlag::Sent, false, false},
      {"F_Crash", MsgFlag::Crash, false, false},   {"F_Attach", MsgFlag::Attach, false, false},
      {"F_Request", MsgFlag::Request, false, false},
  };
  return boxes;
}

const TFlagBox* FindFlagBox(std::string_view name) {
  for (const TFlagBox& box : FlagBoxes())
    if (name == box.Name) return &box;
  return nullptr;
}

std::vector<int> ThreadSelection(const TThreadNode* node) {
  std::vector<int> out;
  if (!node) return out;
  if (node->MsgIndex >= 0) {
    out.push_back(node->MsgIndex);
    return out;
  }
  auto deepest = [](const TThreadNode* n) {
    while (n->FirstChild) n = n->FirstChild;
    return n;
  };
  for (const TThreadNode* n = deepest(node); n != node;) {
    if (n->MsgIndex >= 0) out.push_back(n->MsgIndex);
    n = n->Next ? deepest(n->Next) : n->Parent;
  }
  return out;
}

bool CatchUpMessages(TArea& area, const std::vector<int>& indexes) {
  if (!area.Lock(true)) return false;
  TAreaLockHold hold(area);
  ClearUnreadMarks(area, &indexes);
  return true;
}

std::string AreaInUseText(std::string_view areaName) {
  return "Could not access area " + std::string(areaName) + " " + "because it is in use by " +
         "another process !";
}

}  // namespace velmaris
