// The thread tree of an area: every message whose REPLY names no message of
// the area is a root; roots are grouped by their subject without reply
// marker (case-insensitive), and each reply hangs under the message it
// answers. Replies that form a circle (a message answering itself, two
// answering each other) are broken where the circle closes: that message
// becomes a top-level record under its subject, and the caller hears of it
// once per circle.
//
// Records come from one block of count + roots records (one per message, at most
// one group per root), so their addresses stay fixed until the next build.
// The per-message links live beside the headers, never in them: the area's
// header records are written back to the index unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/MsgHeader.h"

namespace velmaris {

class TArea;

inline constexpr size_t kThreadTextMax = 200;

struct TThreadNode {
  TThreadNode* Parent = nullptr;
  TThreadNode* Next = nullptr;  // next sibling
  TThreadNode* Prev = nullptr;  // previous sibling
  TThreadNode* FirstChild = nullptr;
  TThreadNode* LastChild = nullptr;
  const TMsgHeader* Header = nullptr;  // none for a subject group
  int32_t MsgIndex = -1;               // -1 for a subject group
  std::string Text;                    // at most kThreadTextMax characters
  void* TreeNode = nullptr;            // the tree view's node that shows it

  bool IsGroup() const { return Header == nullptr; }
};

// Statistics of a subject group: the messages below it and the marks
// 2 (one is unread), 4 (one is to the sysop), 8 (one is both).
struct TThreadGroupStats {
  int Count = 0;
  int Bits = 0;
};

class TThreadForest {
 public:
  // The build steps, announced before each: "Building hash table ...",
  // "Creating threads and roots ...", "Processing links ...". The area's
  // index is loaded; its reply table is built and freed here.
  using StepEvent = std::function<void(const char* label)>;
  // A circle of REPLY references closed at the message.
  using CrossReferenceEvent = std::function<void(int index)>;

  void Build(TArea& area, const StepEvent& step = {}, const CrossReferenceEvent& circle = {});
  void Clear();

  TThreadNode RootNode;  // parent of all top-level records
  int NextNode() const { return nextNode_; }
  // The record of a message, nullptr when none (index out of range too).
  TThreadNode* NodeOf(int index) const;
  // The top-most record above the message (the one whose parent is the root).
  TThreadNode* TopRecordOf(int index) const;
  // The message a message answers, -1 for none.
  int ReplyTargetOf(int index) const;

 private:
  TThreadNode* Take();
  void AppendChild(TThreadNode* parent, TThreadNode* child);
  TThreadNode* MessageRecord(const TArea& area, int index, bool subjectText);
  void CreateRoots(const TArea& area);
  void LinkReplies(const TArea& area, const CrossReferenceEvent& circle);

  std::vector<TThreadNode> nodes_;
  int nextNode_ = 0;
  std::vector<int32_t> target_;     // reply target per message
  std::vector<TThreadNode*> link_;  // record per message
  std::vector<uint8_t> placing_;    // 1 while being placed
};

// Pre-order walk of the records below node (node itself excluded); stops
// when visit returns false. Needs no stack, so deep chains cost nothing.
template <typename Visit>
void ForEachBelow(const TThreadNode& node, Visit&& visit) {
  TThreadNode* current = node.FirstChild;
  while (current) {
    if (!visit(*current)) return;
    if (current->FirstChild) {
      current = current->FirstChild;
      continue;
    }
    while (current != &node && !current->Next) current = current->Parent;
    if (current == &node) return;
    current = current->Next;
  }
}
// Counts the messages below a group and ORs their marks.
TThreadGroupStats GroupStatistics(const TThreadNode& group);

}  // namespace velmaris
