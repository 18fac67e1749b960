#include "app/logic/EditorSave.h"

#include <memory>
#include <optional>

#include "app/logic/EditorText.h"
#include "core/AddressBook.h"
#include "core/Area.h"
#include "core/AreaTag.h"
#include "core/Crc.h"
#include "core/KQMail.h"
#include "core/NetLink.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"

namespace velmaris {

void ApplyAreaSwitches(TKQMail& mail, const TArea& area) {
  const bool echomail = area.AreaType == AreaTypeCode::Echomail;
  mail.UseOrigin = mail.UseTearLine = mail.UseSeenBy = echomail;
  mail.UsePid = area.AreaType == AreaTypeCode::Netmail;
}

namespace {

constexpr uint16_t kAttachFlag = 0x0200;
constexpr size_t kHeaderSubjectSize = 71;

// The mail from the editor; an attach's text subject loses the path. The
// full subject comes back for the stored header.
std::string BuildFromEditor(const TEditorSaveJob& job, TKQMail& mail) {
  job.BuildMail(mail);
  std::string subject = mail.Subject;
  if (mail.Flags & kAttachFlag) mail.Subject = FileNamePart(subject);
  return subject;
}

std::unique_ptr<TMail> BuildStored(const TEditorSaveJob& job, TKQMail& mail, TArea& area,
                                   const std::string& subject) {
  ApplyAreaSwitches(mail, area);
  std::unique_ptr<TMail> stored = mail.BuildExpandedMail();
  stored->Header.Subject = std::string_view(subject).substr(0, kHeaderSubjectSize);
  stored->Header.ReplyNumber = job.ReplyNumber;
  stored->Header.ReplyCrc = Crc32OfString(job.ReplyMsgId);
  return stored;
}

std::string NameWithEMail(const TFriend& entry) {
  if (entry.GetEMail().empty()) return entry.GetName();
  return entry.GetName() + " <" + entry.GetEMail() + ">";
}

// An area's exclusive lock for one write, unless the caller holds it.
class TWriteLock {
 public:
  TWriteLock(TArea& area, bool held, const std::function<bool()>& waitOver) {
    if (held) return;
    granted_ = area.WaitLock(
        true, waitOver ? waitOver : [] { return false; });
    if (granted_) hold_.emplace(area);
  }
  bool Granted() const { return granted_; }

 private:
  bool granted_ = true;
  std::optional<TAreaLockHold> hold_;
};

// The index of an area loaded for the save, released at the end when the
// save loaded it.
class TIndexUse {
 public:
  explicit TIndexUse(TArea& area) : area_(area) {
    if (!area_.IsIndexLoaded()) opened_ = area_.OpenIndex();
  }
  ~TIndexUse() {
    if (opened_) area_.CloseIndex();
  }
  TIndexUse(const TIndexUse&) = delete;
  TIndexUse& operator=(const TIndexUse&) = delete;

 private:
  TArea& area_;
  bool opened_ = false;
};

std::string InUse(const TArea& area) {
  return "The area " + area.NameText() +
         " stayed locked by another task; the message was not stored.";
}

std::string NotWritten(const TArea& area) {
  std::string text = "The message could not be stored in the area " + area.NameText();
  if (!area.WriteError.empty()) text += ": " + platform::AnsiToUtf8(area.WriteError);
  return text;
}

// Writes the queued mails of the area; on failure the queue is emptied and
// the reason returned.
std::string WriteQueue(TArea& area) {
  const size_t queued = area.QueuedCount();
  if (area.WriteQueuedMail()) return {};
  area.ClearQueue();
  return NotWritten(area) + " (" + std::to_string(queued) + " message(s) not written)";
}

void StoreInTarget(const TEditorSaveJob& job, TEditorSaveResult& result) {
  TArea& target = *job.Target;
  TWriteLock lock(target, job.HeldArea == &target, job.LockWaitOver);
  if (!lock.Granted()) {
    result.Error = InUse(target);
    return;
  }
  TIndexUse index(target);
  TKQMail mail;
  std::string subject = BuildFromEditor(job, mail);
  int queued = 0;
  if (!job.Group) {
    target.QueueMail(BuildStored(job, mail, target, subject));
    ++queued;
  } else {
    for (int i = 0; i < job.Group->GetCount(); ++i) {
      const TFriend* member = job.Group->GetFriend(i);
      if (!member) continue;
      if (queued > 0) subject = BuildFromEditor(job, mail);
      mail.ToName = NameWithEMail(*member);
      mail.DestAddr.SetAddress(member->Address().Address());
      if (job.Uplinks) {
        if (const TNetLink* own = BestOwnUplink(*job.Uplinks, member->Address().Address()))
          mail.OrigAddr.SetText(own->SysopAddress.Text4D());
      }
      target.QueueMail(BuildStored(job, mail, target, subject));
      ++queued;
    }
  }
  result.Error = WriteQueue(target);
  if (!result.Error.empty()) return;
  // The replaced message goes only now that its successor is stored.
  if (job.Modifies >= 0 && job.Modifies < target.Count) target.RemoveHeader(job.Modifies);
  result.Stored = true;
  result.Written += queued;
}

void StoreCopy(const TEditorSaveJob& job, const std::string& name, platform::Prompter& prompter,
               TEditorSaveResult& result) {
  TArea* area = job.Areas ? job.Areas->FindByName(name) : nullptr;
  if (!area || area->IsSeparator()) {
    prompter.Inform("The area " + AreaTagText(name) + " no longer exists!");
    return;
  }
  TKQMail mail;
  const std::string subject = BuildFromEditor(job, mail);
  mail.Area = area;
  mail.ToName = job.CopyDest;
  const TNetLink* uplink = area->Uplink;
  if (!uplink && job.Uplinks && job.Uplinks->GetCount() > 0) uplink = job.Uplinks->GetItem(0);
  if (uplink) {
    mail.OrigAddr.SetText(uplink->SysopAddress.Text4D());
    mail.FromName = uplink->Sysop;
  }
  TWriteLock lock(*area, job.HeldArea == area, job.LockWaitOver);
  if (!lock.Granted()) {
    result.Error += (result.Error.empty() ? "" : "\n") + InUse(*area);
    return;
  }
  TIndexUse index(*area);
  area->QueueMail(BuildStored(job, mail, *area, subject));
  const std::string error = WriteQueue(*area);
  if (error.empty())
    ++result.Written;
  else
    result.Error += (result.Error.empty() ? "" : "\n") + error;
}

}  // namespace

TEditorSaveResult SaveEditorMail(const TEditorSaveJob& job, platform::Prompter& prompter) {
  TEditorSaveResult result;
  if (!job.Target || job.Target->IsSeparator()) {
    result.Error = "No area is selected; the message was not stored.";
    return result;
  }
  StoreInTarget(job, result);
  if (!result.Stored) return result;
  if (job.HeldArea) {
    job.HeldArea->Unlock();
    result.HeldReleased = true;
  }
  for (const std::string& name : job.CopyAreas) StoreCopy(job, name, prompter, result);
  return result;
}

}  // namespace velmaris
