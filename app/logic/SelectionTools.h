// The tools that work on the messages selected in a message list: delete
// them, copy or move them into another area, change their flags.
//
// The selection is a list of area indexes as the message list hands it
// over. Indexes outside the area and repeated indexes are left out, so a
// tool never acts on a message twice and never on one that was not chosen.
// Each tool takes the area locks itself and fails at once when one is
// refused (the window tells the user); it holds one use of the index while
// it works. Between two messages it reports its progress and asks whether
// it is to stop; what was done before a stop stays done and leaves the
// areas consistent.
//
// Safety rules:
// - Delete removes exactly the messages it went through, whatever other
//   messages carry the Deleted mark; the index is written when its last
//   user releases it, the bodies stay until the area is optimised.
// - Copy and move write the target first (in groups, each synced before the
//   next); a move then removes from the source only what the target holds.
//   A write that fails halfway (full disk, files that cannot be opened)
//   leaves every message in the source, in the target or in both, never in
//   neither. A message whose body cannot be read is neither copied nor
//   removed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velmaris {

class TArea;

// What a tool reports while it works, on the caller's thread.
class TToolProgress {
 public:
  virtual ~TToolProgress() = default;
  // The number of messages about to be worked on.
  virtual void Begin(int count) { (void)count; }
  // Message done (counted from 1) of them, the area index it had.
  virtual void Step(int done, int32_t index) {
    (void)done;
    (void)index;
  }
  // Asked after every message: true ends the work there.
  virtual bool Aborted() { return false; }
};

struct TToolOutcome {
  enum Result { Done, Aborted, Refused, Failed };
  Result Outcome = Done;
  int Processed = 0;   // messages deleted, copied or moved, changed
  int Unreadable = 0;  // copy and move: messages whose body could not be read
  std::string InUse;   // Refused: the name of the area whose lock was refused
  std::string Error;   // Failed: what went wrong
};

// The selection without indexes outside 0 .. count - 1 and without repeats,
// in its order.
std::vector<int32_t> CleanSelection(const std::vector<int32_t>& selection, int32_t count);

// Deletes the selected messages of the area (exclusive lock).
TToolOutcome DeleteMessages(TArea& area, const std::vector<int32_t>& selection,
                            TToolProgress& progress);

// The six flag lists of the flag tool, in the order they are applied: each
// bit with its operation (0 no change, then FlagOperation Clear, Set,
// Toggle).
inline constexpr std::array<uint16_t, 6> kToolFlagBits = {0x0002, 0x0004, 0x0010,
                                                          0x0080, 0x0040, 0x0020};
using TFlagOperations = std::array<int, 6>;

// Applies the operations to the selected messages (exclusive lock).
TToolOutcome SetMessageFlags(TArea& area, const std::vector<int32_t>& selection,
                             const TFlagOperations& operations, TToolProgress& progress);

// Copies the selected messages of source into target (source shared,
// target exclusive); with move they then leave the source (source
// exclusive). The copies are stamped as new arrivals (created from their
// own date, received now). The same area as source and target is refused
// as in use.
TToolOutcome CopyMessages(TArea& source, TArea& target, const std::vector<int32_t>& selection,
                          bool move, TToolProgress& progress);

// Catch up: every message of the area read (exclusive lock).
TToolOutcome MarkAreaRead(TArea& area);

// Clears Unread on the messages of the selection that carry it, every
// message of the area without a selection; indexes outside the area are
// skipped. The caller holds the exclusive lock and a use of the index: the
// catch-up of a thread, of the message list and of the area tools all come
// here. Returns how many messages changed.
int ClearUnreadMarks(TArea& area, const std::vector<int32_t>* selection = nullptr);

}  // namespace velmaris
