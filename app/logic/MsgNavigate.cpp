#include "app/logic/MsgNavigate.h"

#include <charconv>
#include <string>

#include "core/Area.h"
#include "core/MsgHeader.h"

namespace velmaris {

TViewKeyCommand ViewKeyCommand(TViewKey key, bool shift, bool alt, bool ctrl, bool treeVisible) {
  using enum TViewKeyCommand;
  switch (key) {
    case TViewKey::Delete:
      return ToggleKill;
    case TViewKey::Enter:
    case TViewKey::Escape:
      return ListView;
    case TViewKey::Backspace:
      return treeVisible ? FocusTree : None;
    case TViewKey::Left:
    case TViewKey::Right: {
      const bool left = key == TViewKey::Left;
      if (ctrl) return left ? First : Last;
      if (!shift && !alt) return left ? Previous : Next;
      if (shift && !alt) return left ? PreviousSame : NextSame;
      return None;
    }
    default:
      return None;
  }
}

std::optional<int> ParseMessageNumber(std::string_view text, int count) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int n = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, n);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  if (n < 1 || n > count) return std::nullopt;
  return n - 1;
}

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

int FirstMessageIndex(bool displayOrder, const std::vector<int>& displayList, int count) {
  if (displayOrder) return displayList.empty() ? -1 : displayList.front();
  return count > 0 ? 0 : -1;
}

bool CatchUpMessages(TArea& area, const std::vector<int>& indexes) {
  if (!area.Lock(true)) return false;
  TAreaLockHold hold(area);
  for (int index : indexes)
    if (index >= 0 && index < area.Count)
      area.ChangeHeaderFlags(index, MsgFlag::Unread, FlagOperation::Clear);
  return true;
}

std::string AreaInUseText(std::string_view areaName) {
  return "Could not access area " + std::string(areaName) + " " + "because it is in use by " +
         "another process !";
}

}  // namespace velmaris
