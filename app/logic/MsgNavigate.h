// Rules of the message list commands that move through an area, change the
// flags of the shown message and work on the thread tree, kept apart from
// the window so that they are tested without a display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmaris {

class TArea;

// --- Keys of the text viewer ---------------------------------------------------

enum class TViewKey { Delete, Enter, Escape, Backspace, Left, Right, Other };

enum class TViewKeyCommand {
  None,         // the key passes on
  ToggleKill,   // Kill on the selected messages
  ListView,     // back to the list
  FocusTree,    // the thread tree takes the focus
  Previous,     // previous message
  Next,         // next message
  PreviousSame, // previous message with the same subject
  NextSame,     // next message with the same subject
  First,        // first message
  Last,         // last message
};

// The command of a key on the text viewer. Only Shift, Alt and Ctrl count;
// Ctrl wins over Shift. FocusTree only while the tree is shown.
TViewKeyCommand ViewKeyCommand(TViewKey key, bool shift, bool alt, bool ctrl, bool treeVisible);

// --- Message number of the navigator ----------------------------------------

// The area index of a typed message number (1 .. count); none for anything
// else, which puts the shown number back.
std::optional<int> ParseMessageNumber(std::string_view text, int count);

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

// The first message: the first row in display-order navigation, else area
// index 0; -1 in an empty area or list.
int FirstMessageIndex(bool displayOrder, const std::vector<int>& displayList, int count);

// --- Thread tree ---------------------------------------------------------------

// The picture of a subject group follows its state: bit 1 set when open.
inline int GroupImageIndex(int image, bool expanded) { return expanded ? (image | 2) : (image & ~2); }

// The messages of a thread node: the node's own message for a message node,
// every message below a group (depth first, children before their parent).
// Node has FirstChild, Next (pointers) and MsgIndex (-1 for a group).
template <class Node>
void CollectThread(const Node* node, std::vector<int>& out) {
  for (const Node* child = node->FirstChild; child; child = child->Next) CollectThread(child, out);
  if (node->MsgIndex >= 0) out.push_back(node->MsgIndex);
}
template <class Node>
std::vector<int> ThreadSelection(const Node* node) {
  std::vector<int> out;
  if (!node) return out;
  if (node->MsgIndex >= 0) {
    out.push_back(node->MsgIndex);
  } else {
    CollectThread(node, out);
  }
  return out;
}

// Catching up a thread: under the area's exclusive lock, Unread is cleared
// on every message of the selection inside the area (the index must be in
// use). False, nothing changed, when the lock is refused; releasing the lock
// rebuilds the area's message list.
bool CatchUpMessages(TArea& area, const std::vector<int>& indexes);
// "Could not access area NAME because it is in use by another process !"
std::string AreaInUseText(std::string_view areaName);

// The tree's width in a container of the given width: it leaves 20 pixels.
inline int TreeWidthInContainer(int containerWidth, int treeWidth) {
  return containerWidth < treeWidth + 20 ? containerWidth - 20 : treeWidth;
}

}  // namespace velmaris
