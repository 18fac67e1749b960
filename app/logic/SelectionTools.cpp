#include "app/logic/SelectionTools.h"

#include <memory>

#include "core/Area.h"
#include "core/Mail.h"

namespace velmaris {

namespace {

// Copies are written in groups of at most this many body bytes, so a large
// selection never sits in memory whole and a failure loses no finished
// group.
constexpr size_t kCopyGroupBytes = 4u << 20;

// One use of the area's index for the time of a tool's work.
class TIndexUse {
 public:
  explicit TIndexUse(TArea& area) : area_(area), open_(area.OpenIndex()) {}
  ~TIndexUse() {
    if (open_) area_.CloseIndex();
  }
  TIndexUse(const TIndexUse&) = delete;
  TIndexUse& operator=(const TIndexUse&) = delete;
  bool Open() const { return open_; }

 private:
  TArea& area_;
  bool open_;
};

TToolOutcome Refused(const TArea& area) {
  TToolOutcome out;
  out.Outcome = TToolOutcome::Refused;
  out.InUse = area.Name;
  return out;
}

TToolOutcome NotOpened(const TArea& area) {
  TToolOutcome out;
  out.Outcome = TToolOutcome::Failed;
  out.Error = "Could not open area " + area.NameInAnsi();
  return out;
}

// Runs step over the cleaned selection with progress and abort; the
// outcome counts the messages stepped through.
template <typename Step>
TToolOutcome WalkSelection(const std::vector<int32_t>& chosen, TToolProgress& progress, Step step) {
  TToolOutcome out;
  progress.Begin(static_cast<int>(chosen.size()));
  for (size_t i = 0; i < chosen.size(); ++i) {
    if (!step(chosen[i])) break;
    ++out.Processed;
    progress.Step(static_cast<int>(i + 1), chosen[i]);
    if (progress.Aborted()) {
      if (i + 1 < chosen.size()) out.Outcome = TToolOutcome::Aborted;
      break;
    }
  }
  return out;
}

}  // namespace

std::vector<int32_t> CleanSelection(const std::vector<int32_t>& selection, int32_t count) {
  std::vector<int32_t> chosen;
  if (count <= 0) return chosen;
  std::vector<uint8_t> seen(static_cast<size_t>(count), 0);
  chosen.reserve(selection.size());
  for (int32_t index : selection) {
    if (index < 0 || index >= count || seen[static_cast<size_t>(index)]) continue;
    seen[static_cast<size_t>(index)] = 1;
    chosen.push_back(index);
  }
  return chosen;
}

TToolOutcome DeleteMessages(TArea& area, const std::vector<int32_t>& selection,
                            TToolProgress& progress) {
  if (!area.Lock(true)) return Refused(area);
  TAreaLockHold hold(area);
  TIndexUse use(area);
  if (!use.Open()) return NotOpened(area);
  const std::vector<int32_t> chosen = CleanSelection(selection, area.Count);
  std::vector<uint8_t> doomed(static_cast<size_t>(area.Count), 0);
  TToolOutcome out = WalkSelection(chosen, progress, [&](int32_t index) {
    doomed[static_cast<size_t>(index)] = 1;
    return true;
  });
  if (out.Processed > 0) area.PurgeChosen(doomed);
  return out;
}

TToolOutcome SetMessageFlags(TArea& area, const std::vector<int32_t>& selection,
                             const TFlagOperations& operations, TToolProgress& progress) {
  if (!area.Lock(true)) return Refused(area);
  TAreaLockHold hold(area);
  TIndexUse use(area);
  if (!use.Open()) return NotOpened(area);
  const std::vector<int32_t> chosen = CleanSelection(selection, area.Count);
  return WalkSelection(chosen, progress, [&](int32_t index) {
    for (size_t k = 0; k < kToolFlagBits.size(); ++k)
      if (operations[k] >= FlagOperation::Clear && operations[k] <= FlagOperation::Toggle)
        area.ChangeHeaderFlags(index, kToolFlagBits[k], operations[k]);
    return true;
  });
}

TToolOutcome MarkAreaRead(TArea& area) {
  if (!area.Lock(true)) return Refused(area);
  TAreaLockHold hold(area);
  TIndexUse use(area);
  if (!use.Open()) return NotOpened(area);
  TToolOutcome out;
  out.Processed = ClearUnreadMarks(area);
  return out;
}

int ClearUnreadMarks(TArea& area, const std::vector<int32_t>* selection) {
  int changed = 0;
  auto clear = [&](int32_t index) {
    if (index < 0 || index >= area.Count || !(area.HeaderPtr(index)->Flags & MsgFlag::Unread))
      return;
    area.ChangeHeaderFlags(index, MsgFlag::Unread, FlagOperation::Clear);
    ++changed;
  };
  if (selection) {
    for (int32_t index : *selection) clear(index);
  } else {
    for (int32_t index = 0; index < area.Count; ++index) clear(index);
  }
  return changed;
}

namespace {

// The copies read so far and the source indexes they came from.
struct TCopyGroup {
  std::vector<std::unique_ptr<TMail>> mails;
  std::vector<int32_t> from;
  size_t bytes = 0;
};

// Stores the group in the target; the source indexes of the mails the
// target now holds are marked in moved. False when not all went in.
bool StoreGroup(TArea& target, TCopyGroup& group, std::vector<uint8_t>* moved, int& stored,
                std::string& error) {
  if (group.mails.empty()) return true;
  const int32_t before = target.Count;
  const bool ok = target.StoreMails(std::move(group.mails));
  // The mails go in order and the count follows each one written.
  const int32_t written = target.Count - before;
  stored += written;
  if (moved)
    for (int32_t k = 0; k < written && k < static_cast<int32_t>(group.from.size()); ++k)
      (*moved)[static_cast<size_t>(group.from[static_cast<size_t>(k)])] = 1;
  if (!ok)
    error = target.WriteError.empty()
                ? "The messages could not be written into " + target.NameInAnsi()
                : target.WriteError;
  group = TCopyGroup();
  return ok;
}

}  // namespace

TToolOutcome CopyMessages(TArea& source, TArea& target, const std::vector<int32_t>& selection,
                          bool move, TToolProgress& progress) {
  if (target.IsSeparator()) {
    TToolOutcome out;
    out.Outcome = TToolOutcome::Failed;
    out.Error = "The separator is no message area";
    return out;
  }
  if (!source.Lock(move)) return Refused(source);
  TAreaLockHold sourceHold(source);
  if (!target.Lock(true)) return Refused(target);
  TAreaLockHold targetHold(target);
  TIndexUse use(source);
  if (!use.Open()) return NotOpened(source);

  const std::vector<int32_t> chosen = CleanSelection(selection, source.Count);
  std::vector<uint8_t> moved;
  if (move) moved.assign(static_cast<size_t>(source.Count), 0);
  TCopyGroup group;
  std::string error;
  int unreadable = 0, stored = 0;
  const bool opened = source.OpenBody();
  TToolOutcome out = WalkSelection(chosen, progress, [&](int32_t index) {
    auto mail = source.ReadMail(index);
    if (mail->Header.BodyOffset == TMsgHeader::NotStored) {
      ++unreadable;
      return true;
    }
    group.bytes += mail->Body.size();
    group.mails.push_back(std::move(mail));
    group.from.push_back(index);
    if (group.bytes < kCopyGroupBytes) return true;
    return StoreGroup(target, group, move ? &moved : nullptr, stored, error);
  });
  if (opened) source.CloseBody();
  if (error.empty()) StoreGroup(target, group, move ? &moved : nullptr, stored, error);
  out.Unreadable = unreadable;
  out.Processed = stored;
  if (!error.empty()) {
    out.Outcome = TToolOutcome::Failed;
    out.Error = error;
  }
  if (move) source.PurgeChosen(moved);
  // The target's lock goes first, then the source's.
  targetHold.Release();
  return out;
}

}  // namespace velmaris
