// Storing what the message editor holds, without a window.
//
// One save: the mail built from the editor (its text already converted by
// the target area's rules) goes into the target area, once, or once per
// member of an address-book group; then, as copies, into further echomail
// areas. Each stored message gets the area type's switches (origin, tear
// and SEEN-BY lines only in echomail, the PID kludge only in netmail),
// expanded templates, the full subject (a file attach keeps its path in the
// header, the text's subject is the file name) and the reply reference.
//
// Locks: a composer may hold the target area's exclusive lock for the
// editor (the held area); the save then writes into it at once and gives
// up that hold afterwards. Any other area is locked exclusively for its
// write, waiting until the lock is granted or the caller's wait gives up.
//
// Safety: a save that cannot write (the area stays locked, the files cannot
// be written) stores nothing more, leaves a replaced message in place, and
// tells why; the editor keeps its text. The stored message an edit replaces
// is taken out of the index only after its successor has been written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmaris {

class TArea;
class TAreaList;
class TGroup;
class TKQMail;
class TLinkList;
class TMail;
namespace platform {
class Prompter;
}

struct TEditorSaveJob {
  TArea* Target = nullptr;  // the area selected in the editor
  int Modifies = -1;        // the stored message this one replaces, or -1
  TArea* HeldArea = nullptr;
  uint32_t ReplyNumber = 0;
  std::string ReplyMsgId;
  // Fills the mail from the editor's fields and text (area, addresses,
  // names, subject, origin, flags, lines); called before every message.
  std::function<void(TKQMail&)> BuildMail;
  // The address list the message goes to instead of the single receiver.
  const TGroup* Group = nullptr;
  const TLinkList* Uplinks = nullptr;
  // The copies: area names, the receiver name of the copies, the area list.
  std::vector<std::string> CopyAreas;
  std::string CopyDest = "All";
  TAreaList* Areas = nullptr;
  // Asked between tries for an area's lock; true gives up the wait.
  std::function<bool()> LockWaitOver;
};

struct TEditorSaveResult {
  bool Stored = false;        // the message reached the target area
  int Written = 0;            // messages written, copies included
  std::string Error;          // why the save failed (UTF-8, for a box); empty when it did not
  bool HeldReleased = false;  // the held area's hold was given up
};

// Runs the save. The prompter tells about copy areas that no longer exist.
TEditorSaveResult SaveEditorMail(const TEditorSaveJob& job, platform::Prompter& prompter);

// The area type's switches on the mail.
void ApplyAreaSwitches(TKQMail& mail, const TArea& area);

}  // namespace velmaris
