// The shape of the tree view's nodes without Qt: parent, children and
// sibling links by node id, the expanded state, and a flat index of the
// visible rows (every node whose ancestors are all expanded, in tree order).
//
// Ids are indexes into one vector and are reused after removal. Adding,
// removing, expanding and collapsing only mark the row index stale; it is
// rebuilt in one pass over the visible nodes when next asked, so building a
// large tree costs O(1) per node and a paint asks for rows in O(1).
#pragma once

#include <functional>
#include <vector>

namespace velmaris {

class TreeStructure {
 public:
  static constexpr int kNone = -1;

  // A new last child of parent (kNone: a new last top-level node).
  int AddChild(int parent);
  // Removes the node and everything below it; each removed id is reported
  // (children before their parent) before it is freed.
  void Remove(int id, const std::function<void(int)>& removed = {});
  void Clear();
  void Reserve(int count);

  bool Valid(int id) const;
  int Count() const { return count_; }
  int Parent(int id) const { return nodes_[id].parent; }
  int FirstChild(int id) const { return nodes_[id].first; }
  int LastChild(int id) const { return nodes_[id].last; }
  int NextSibling(int id) const { return nodes_[id].next; }
  int PrevSibling(int id) const { return nodes_[id].prev; }
  int ChildCount(int id) const { return nodes_[id].count; }
  int Level(int id) const { return nodes_[id].level; }
  int FirstRoot() const { return firstRoot_; }
  int RootCount() const { return rootCount_; }
  // The index-th child (kNone when out of range).
  int ChildAt(int id, int index) const;
  int IndexAmongSiblings(int id) const;

  bool Expanded(int id) const { return nodes_[id].expanded; }
  void SetExpanded(int id, bool on);

  // Tree order (pre-order over all nodes, expanded or not).
  int NextInTree(int id) const;
  int PrevInTree(int id) const;
  int AbsoluteIndex(int id) const;
  int NodeAtAbsolute(int index) const;

  // Visible rows.
  int RowCount() const;
  int NodeAtRow(int row) const;  // kNone out of range
  int RowOf(int id) const;       // kNone when hidden
  // Every ancestor expanded.
  bool IsVisible(int id) const { return RowOf(id) != kNone; }

  // Reorders the children of parent (kNone: the top level) by less.
  void SortChildren(int parent, const std::function<bool(int, int)>& less);

 private:
  struct Node {
    int parent = kNone, first = kNone, last = kNone, next = kNone, prev = kNone;
    int count = 0, level = 0;
    bool expanded = false, live = false;
  };
  void Unlink(int id);
  void Rebuild() const;

  std::vector<Node> nodes_;
  std::vector<int> free_;
  int firstRoot_ = kNone, lastRoot_ = kNone, rootCount_ = 0, count_ = 0;
  mutable std::vector<int> rows_;
  mutable std::vector<int> rowOf_;
  mutable bool stale_ = true;
};

}  // namespace velmaris
