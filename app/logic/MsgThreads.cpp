#include "app/logic/MsgThreads.h"

#include <algorithm>
#include <cassert>

#include "app/logic/MsgText.h"
#include "core/Area.h"
#include "platform/CaseFold.h"

namespace velmaris {

namespace {

std::string Cut(std::string text) {
  if (text.size() > kThreadTextMax) text.resize(kThreadTextMax);
  return text;
}

// Subjects are stored in the ANSI code page; its letters fold.
bool LessNoCase(const std::string& a, const std::string& b) {
  return platform::LessNoCase(a, b, platform::AnsiCodePage());
}

}  // namespace

void TThreadForest::Clear() {
  nodes_.clear();
  nodes_.shrink_to_fit();
  RootNode = TThreadNode{};
  nextNode_ = 0;
  target_.clear();
  link_.clear();
  placing_.clear();
}

TThreadNode* TThreadForest::Take() {
  assert(static_cast<size_t>(nextNode_) < nodes_.size());
  return &nodes_[static_cast<size_t>(nextNode_++)];
}

void TThreadForest::AppendChild(TThreadNode* parent, TThreadNode* child) {
  child->Parent = parent;
  child->Prev = parent->LastChild;
  child->Next = nullptr;
  if (parent->LastChild)
    parent->LastChild->Next = child;
  else
    parent->FirstChild = child;
  parent->LastChild = child;
}

TThreadNode* TThreadForest::MessageRecord(const TArea& area, int index, bool subjectText) {
  const TMsgHeader& h = area.HeaderList()[static_cast<size_t>(index)];
  TThreadNode* record = Take();
  record->Header = &h;
  record->MsgIndex = index;
  if (subjectText) {
    record->Text = Cut(StripReplyMarker(h.Subject.View()));
  } else {  // at most 35 + 4 + 35 characters: one allocation
    record->Text.reserve(h.FromName.Length + 4 + h.ToName.Length);
    record->Text.append(h.FromName.View()).append(" to ").append(h.ToName.View());
  }
  link_[static_cast<size_t>(index)] = record;
  return record;
}

void TThreadForest::Build(TArea& area, const StepEvent& step, const CrossReferenceEvent& circle) {
  Clear();
  if (!area.IsIndexLoaded()) return;
  const int count = std::min<int>(area.Count, static_cast<int>(area.HeaderList().size()));
  if (count <= 0) return;
  link_.assign(static_cast<size_t>(count), nullptr);
  placing_.assign(static_cast<size_t>(count), 0);
  if (step) step("Building hash table ...");
  area.BuildReplyTable();
  target_.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int t = area.FindReplyTarget(area.HeaderList()[static_cast<size_t>(i)]);
    target_[static_cast<size_t>(i)] = t < count ? t : -1;
  }
  area.FreeReplyTable();
  // One record per message and at most one subject group per root.
  const auto roots = static_cast<size_t>(std::count(target_.begin(), target_.end(), -1));
  nodes_.resize(static_cast<size_t>(count) + roots);
  if (step) step("Creating threads and roots ...");
  CreateRoots(area);
  if (step) step("Processing links ...");
  LinkReplies(area, circle);
}

void TThreadForest::CreateRoots(const TArea& area) {
  struct Root {
    std::string subject;
    int index;
  };
  std::vector<Root> roots;
  for (int i = 0; i < static_cast<int>(target_.size()); ++i)
    if (target_[static_cast<size_t>(i)] < 0)
      roots.push_back(
          {StripReplyMarker(area.HeaderList()[static_cast<size_t>(i)].Subject.View()), i});
  std::stable_sort(roots.begin(), roots.end(),
                   [](const Root& a, const Root& b) { return LessNoCase(a.subject, b.subject); });
  std::string previous;
  TThreadNode* group = nullptr;
  for (const Root& root : roots) {
    std::string folded = root.subject;
    platform::FoldInPlace(folded, platform::AnsiCodePage());
    if (!group || folded != previous) {
      group = Take();
      group->Text = Cut(root.subject);
      AppendChild(&RootNode, group);
      previous = std::move(folded);
    }
    AppendChild(group, MessageRecord(area, root.index, false));
  }
}

void TThreadForest::LinkReplies(const TArea& area, const CrossReferenceEvent& circle) {
  std::vector<int> chain;
  for (int i = 0; i < static_cast<int>(target_.size()); ++i) {
    if (link_[static_cast<size_t>(i)] || placing_[static_cast<size_t>(i)]) continue;
    // Follow the parents that are not placed yet; the walk ends at a placed
    // parent or at one already on the chain (a circle).
    chain.clear();
    int m = i;
    int parent = target_[static_cast<size_t>(m)];
    for (;;) {
      chain.push_back(m);
      placing_[static_cast<size_t>(m)] = 1;
      if (link_[static_cast<size_t>(parent)] || placing_[static_cast<size_t>(parent)]) break;
      m = parent;
      parent = target_[static_cast<size_t>(m)];
    }
    // Place the chain from its deepest end back to i.
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const int j = *it;
      const int p = target_[static_cast<size_t>(j)];
      placing_[static_cast<size_t>(j)] = 0;
      if (TThreadNode* parentRecord = link_[static_cast<size_t>(p)]) {
        AppendChild(parentRecord, MessageRecord(area, j, false));
      } else {
        if (circle) circle(j);
        AppendChild(&RootNode, MessageRecord(area, j, true));
      }
    }
  }
}

TThreadNode* TThreadForest::NodeOf(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= link_.size()) return nullptr;
  return link_[static_cast<size_t>(index)];
}

TThreadNode* TThreadForest::TopRecordOf(int index) const {
  TThreadNode* record = NodeOf(index);
  while (record && record->Parent && record->Parent != &RootNode) record = record->Parent;
  return record;
}

int TThreadForest::ReplyTargetOf(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= target_.size()) return -1;
  return target_[static_cast<size_t>(index)];
}

TThreadGroupStats GroupStatistics(const TThreadNode& group) {
  TThreadGroupStats stats;
  ForEachBelow(group, [&](TThreadNode& record) {
    if (!record.Header) return true;
    ++stats.Count;
    const bool unread = record.Header->Flags & MsgFlag::Unread;
    const bool sysop = record.Header->Flags & MsgFlag::ToSysop;
    if (unread) stats.Bits |= 2;
    if (sysop) stats.Bits |= 4;
    if (unread && sysop) stats.Bits |= 8;
    return true;
  });
  return stats;
}

}  // namespace velmaris
