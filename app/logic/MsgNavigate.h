// Rules of the message list commands that change the flags of the shown
// message and work on the thread tree, kept apart from the window so that
// they are tested without a display.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmaris {

class TArea;
struct TThreadNode;

// --- Flag check boxes of the message view ---------------------------------------

struct TFlagBox {
  const char* Name;      // the check box
  uint16_t Bit;          // its flag bit
  bool RedrawRow;        // the message's row and tree node
  bool RedrawAreaLine;   // the area's line in the main window
};
const std::vector<TFlagBox>& FlagBoxes();
const TFlagBox* FindFlagBox(std::string_view name);
inline uint16_t ApplyFlagBox(uint16_t flags, uint16_t bit, bool checked) {
  return checked ? static_cast<uint16_t>(flags | bit) : static_cast<uint16_t>(flags & ~bit);
}

// --- Thread tree ---------------------------------------------------------------

// The messages of a thread record: the record's own message, or for a
// subject group every message below it, depth first with the replies
// before the message they answer. Walks without a stack, so a chain of any
// depth is safe.
std::vector<int> ThreadSelection(const TThreadNode* node);

// Catching up a thread: under the area's exclusive lock, Unread is cleared
// on every message of the selection inside the area (the index must be in
// use). False, nothing changed, when the lock is refused; releasing the lock
// rebuilds the area's message list.
bool CatchUpMessages(TArea& area, const std::vector<int>& indexes);
// "Could not access area NAME because it is in use by another process !"
std::string AreaInUseText(std::string_view areaName);

}  // namespace velmaris
