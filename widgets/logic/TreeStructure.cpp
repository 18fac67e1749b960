#include "widgets/logic/TreeStructure.h"

#include <algorithm>
#include <cassert>

namespace velmaris {

bool TreeStructure::Valid(int id) const {
  return id >= 0 && id < static_cast<int>(nodes_.size()) && nodes_[id].live;
}

void TreeStructure::Reserve(int count) { nodes_.reserve(static_cast<size_t>(count)); }

int TreeStructure::AddChild(int parent) {
  assert(parent == kNone || Valid(parent));
  int id;
  if (!free_.empty()) {
    id = free_.back();
    free_.pop_back();
    nodes_[id] = Node();
  } else {
    id = static_cast<int>(nodes_.size());
    nodes_.emplace_back();
  }
  Node& n = nodes_[id];
  n.live = true;
  n.parent = parent;
  int& first = parent == kNone ? firstRoot_ : nodes_[parent].first;
  int& last = parent == kNone ? lastRoot_ : nodes_[parent].last;
  n.prev = last;
  if (last != kNone) nodes_[last].next = id;
  last = id;
  if (first == kNone) first = id;
  if (parent == kNone) {
    ++rootCount_;
  } else {
    ++nodes_[parent].count;
    n.level = nodes_[parent].level + 1;
  }
  ++count_;
  stale_ = true;
  return id;
}

void TreeStructure::Unlink(int id) {
  Node& n = nodes_[id];
  int& first = n.parent == kNone ? firstRoot_ : nodes_[n.parent].first;
  int& last = n.parent == kNone ? lastRoot_ : nodes_[n.parent].last;
  if (n.prev != kNone)
    nodes_[n.prev].next = n.next;
  else
    first = n.next;
  if (n.next != kNone)
    nodes_[n.next].prev = n.prev;
  else
    last = n.prev;
  if (n.parent == kNone)
    --rootCount_;
  else
    --nodes_[n.parent].count;
}

void TreeStructure::Remove(int id, const std::function<void(int)>& removed) {
  if (!Valid(id)) return;
  Unlink(id);
  // Post-order over the subtree without recursion.
  std::vector<int> stack{id};
  std::vector<int> order;
  while (!stack.empty()) {
    const int n = stack.back();
    stack.pop_back();
    order.push_back(n);
    for (int c = nodes_[n].first; c != kNone; c = nodes_[c].next) stack.push_back(c);
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    if (removed) removed(*it);
    nodes_[*it].live = false;
    free_.push_back(*it);
    --count_;
  }
  stale_ = true;
}

void TreeStructure::Clear() {
  nodes_.clear();
  free_.clear();
  firstRoot_ = lastRoot_ = kNone;
  rootCount_ = count_ = 0;
  stale_ = true;
}

int TreeStructure::ChildAt(int id, int index) const {
  if (index < 0) return kNone;
  int c = id == kNone ? firstRoot_ : nodes_[id].first;
  while (c != kNone && index-- > 0) c = nodes_[c].next;
  return c;
}

int TreeStructure::IndexAmongSiblings(int id) const {
  int i = 0;
  for (int c = nodes_[id].prev; c != kNone; c = nodes_[c].prev) ++i;
  return i;
}

void TreeStructure::SetExpanded(int id, bool on) {
  if (nodes_[id].expanded == on) return;
  nodes_[id].expanded = on;
  stale_ = true;
}

int TreeStructure::NextInTree(int id) const {
  if (nodes_[id].first != kNone) return nodes_[id].first;
  for (int n = id; n != kNone; n = nodes_[n].parent)
    if (nodes_[n].next != kNone) return nodes_[n].next;
  return kNone;
}

int TreeStructure::PrevInTree(int id) const {
  int p = nodes_[id].prev;
  if (p == kNone) return nodes_[id].parent;
  while (nodes_[p].last != kNone) p = nodes_[p].last;
  return p;
}

int TreeStructure::AbsoluteIndex(int id) const {
  if (!Valid(id)) return kNone;
  int i = 0;
  for (int n = firstRoot_; n != kNone && n != id; n = NextInTree(n)) ++i;
  return i;
}

int TreeStructure::NodeAtAbsolute(int index) const {
  if (index < 0 || index >= count_) return kNone;
  int n = firstRoot_;
  while (index-- > 0) n = NextInTree(n);
  return n;
}

void TreeStructure::Rebuild() const {
  rows_.clear();
  rowOf_.assign(nodes_.size(), kNone);
  int n = firstRoot_;
  while (n != kNone) {
    rowOf_[n] = static_cast<int>(rows_.size());
    rows_.push_back(n);
    const Node& node = nodes_[n];
    if (node.expanded && node.first != kNone) {
      n = node.first;
      continue;
    }
    while (n != kNone && nodes_[n].next == kNone) n = nodes_[n].parent;
    if (n != kNone) n = nodes_[n].next;
  }
  stale_ = false;
}

int TreeStructure::RowCount() const {
  if (stale_) Rebuild();
  return static_cast<int>(rows_.size());
}

int TreeStructure::NodeAtRow(int row) const {
  if (stale_) Rebuild();
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row] : kNone;
}

int TreeStructure::RowOf(int id) const {
  if (stale_) Rebuild();
  return id >= 0 && id < static_cast<int>(rowOf_.size()) ? rowOf_[id] : kNone;
}

void TreeStructure::SortChildren(int parent, const std::function<bool(int, int)>& less) {
  std::vector<int> kids;
  for (int c = parent == kNone ? firstRoot_ : nodes_[parent].first; c != kNone; c = nodes_[c].next)
    kids.push_back(c);
  std::stable_sort(kids.begin(), kids.end(), less);
  int& first = parent == kNone ? firstRoot_ : nodes_[parent].first;
  int& last = parent == kNone ? lastRoot_ : nodes_[parent].last;
  first = last = kNone;
  for (int c : kids) {
    nodes_[c].prev = last;
    nodes_[c].next = kNone;
    if (last != kNone)
      nodes_[last].next = c;
    else
      first = c;
    last = c;
  }
  stale_ = true;
}

}  // namespace velmaris
