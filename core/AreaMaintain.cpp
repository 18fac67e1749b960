// Housekeeping of one area: maintenance by age and number, purging deleted
// headers, optimisation of the body file, the reply table and the display
// test.
//
// Optimisation and crashes. The body file cannot be compacted in place, so
// the new body (".ODY") and the new index (".$PX", whose offsets point into
// the new body) are written and synced first. Then ".ODY" is renamed over
// ".PackedBody" and, after that, ".$PX" over ".PackedIndex". Between the two
// renames the old index lies beside the new body; that state is never used,
// because the body rename is the commit point and every opening of the
// area's index first runs RecoverInterruptedRewrite:
//   - ".ODY" still there: the body was not replaced. The old index and body
//     belong together; ".ODY" and ".$PX" are removed (roll back).
//   - no ".ODY" but a ".$PX": either the body was replaced and the index
//     rename did not happen (the new index belongs to the new body), or an
//     ordinary index write was interrupted (the index belongs to the
//     unchanged body, since bodies are only appended). Either way a ".$PX"
//     that decodes completely and names only records present in the body is
//     the right index: it is put in place (roll forward). A torn one can only
//     come from an ordinary index write, whose old index is still right: it
//     is removed.
// ".$PX" is always synced before the body rename, so it is never torn when
// the body has already been replaced.
#include "core/AreaMaintain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/Crc.h"
#include "core/MessageBase.h"
#include "core/TextHelpers.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"

namespace velmaris {
namespace {

constexpr int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
using platform::kMonthNames;
using platform::PReadAll;
constexpr uint32_t kMaxStoredRecord = 0x4000000;  // 64 MiB
constexpr size_t kCopyBufferSize = 1 << 20;

bool FileSizeOf(int fd, uint64_t& size) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool WriteSynced(const std::string& path, const std::string& data) {
  platform::Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd.ok()) return false;
  return platform::WriteAll(fd.get(), data) && ::fsync(fd.get()) == 0 && fd.Close();
}

// Every header names a record head ("KQPM", a stored length within bounds
// and within the file) in the body file.
bool HeadersFitBody(const std::vector<TMsgHeader>& headers, const std::string& bodyPath) {
  if (headers.empty()) return true;
  platform::Fd fd(::open(bodyPath.c_str(), O_RDONLY | O_CLOEXEC));
  uint64_t size = 0;
  if (!fd.ok() || !FileSizeOf(fd.get(), size)) return false;
  for (const auto& h : headers) {
    uint8_t head[kBodyRecordHeadSize];
    if (h.BodyOffset < 4 || uint64_t{h.BodyOffset} + kBodyRecordHeadSize > size) return false;
    if (!PReadAll(fd.get(), head, sizeof head, h.BodyOffset)) return false;
    if (std::memcmp(head, "KQPM", 4) != 0) return false;
    const uint32_t stored = GetLE32(head + 4);
    if (uint64_t{h.BodyOffset} + kBodyRecordHeadSize + stored > size) return false;
  }
  return true;
}

void RemoveQuietly(const std::string& path) { ::unlink(path.c_str()); }

// The words of one line: the first is dropped, the next two returned.
void KludgeWords(std::string_view line, std::string& address, std::string& serial) {
  std::string rest(line);
  std::string word;
  CutFirstWord(rest, word);  // the kludge name
  CutFirstWord(rest, address);
  CutFirstWord(rest, serial);
}

}  // namespace

int MaintenanceDayNumber(int year, int month, int day) {
  if (month < 1 || month > 12) return 0;
  return year * 365 + kDaysBeforeMonth[month - 1] + day;
}

bool MaintenanceDayOfDate(std::string_view text, int& dayNumber) {
  if (text.size() < 9 || text[2] != ' ' || text[6] != ' ') return false;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!digit(text[0]) || !digit(text[1]) || !digit(text[7]) || !digit(text[8])) return false;
  const int day = (text[0] - '0') * 10 + (text[1] - '0');
  int month = 0;
  for (int m = 0; m < 12; ++m)
    if (text.substr(3, 3) == kMonthNames[m]) month = m + 1;
  if (month == 0) return false;
  int year = 1900 + (text[7] - '0') * 10 + (text[8] - '0');
  if (year < 1990) year += 100;
  dayNumber = MaintenanceDayNumber(year, month, day);
  return true;
}

void TMessageBase::RecoverInterruptedRewrite() {
  const TArea& area = area_;
  if (area.FileName.empty()) return;
  const std::string ody = area.FilePath(kOptimizedBodyExt);
  const std::string px = area.FilePath(kTempIndexExt);
  if (platform::FileExists(ody)) {
    RemoveQuietly(ody);
    RemoveQuietly(px);
    return;
  }
  if (!platform::FileExists(px)) return;
  bool adopt = false;
  try {
    std::vector<TMsgHeader> headers;
    const std::string data = platform::ReadFile(px);
    adopt =
        DecodePackedIndex(data, headers) && HeadersFitBody(headers, area.FilePath(kPackedBodyExt));
  } catch (const std::exception&) {
    adopt = false;
  }
  if (adopt) {
    try {
      platform::ReplaceFile(px, area.FilePath(kPackedIndexExt));
      indexFile_.known = false;
      return;
    } catch (const std::exception&) {
    }
  }
  RemoveQuietly(px);
}

// --- Maintenance -------------------------------------------------------------

void TArea::MaintainMessages(TDateTime today) {
  if (!IsLockedExclusive()) return;
  // An area whose files vanished has nothing to maintain: its index is not
  // written in their place.
  if (VanishedMessages() > 0) return;
  if (!OpenIndex()) return;
  if (!IndexDamage.empty()) {
    ReleaseIndex();
    return;
  }
  // Messages marked Deleted before this run leave with the purge too: they
  // count as deleted from the start, so the number limit keeps MaxNumber.
  int32_t deleted = 0;
  for (int i = 0; i < Count; ++i)
    if (headers_[static_cast<size_t>(i)].Flags & MsgFlag::Deleted) ++deleted;

  if (ApplyAge) {
    if (today <= 0) today = Now();
    const TDateTimeParts now = DecodeDateTime(today);
    const int todayNumber = MaintenanceDayNumber(now.Year, now.Month, now.Day);
    const bool opened = OpenBody();
    for (int i = Count - 1; i >= 0; --i) {
      TMsgHeader& header = headers_[static_cast<size_t>(i)];
      if (header.Flags & MsgFlag::Deleted) continue;
      const auto mail = ReadMail(i);
      if (mail->Header.BodyOffset == TMsgHeader::NotStored) continue;  // unreadable body
      int dayNumber = 0;
      if (!MaintenanceDayOfDate(mail->DateField(), dayNumber)) continue;
      if (todayNumber - dayNumber >= MaxAge && MaintainFilter.MatchesFlags(header.Flags)) {
        MarkDeleted(i);
        ++deleted;
      }
    }
    if (opened) CloseBody();
  }
  if (ApplyNumber) {
    for (int i = 0; i < Count && Count - deleted > MaxNumber; ++i) {
      const uint16_t flags = headers_[static_cast<size_t>(i)].Flags;
      if (flags & MsgFlag::Deleted) continue;  // already counted
      if (MaintainFilter.MatchesFlags(flags) && !(flags & MsgFlag::ToSysop)) {
        MarkDeleted(i);
        ++deleted;
      }
    }
  }
  PurgeDeleted();
  CloseIndex();
}

void TArea::PurgeDeleted() {
  PurgeWhere([this](size_t i) { return (headers_[i].Flags & MsgFlag::Deleted) != 0; });
}

void TArea::PurgeChosen(const std::vector<uint8_t>& chosen) {
  PurgeWhere([&chosen](size_t i) { return i < chosen.size() && chosen[i] != 0; });
}

template <typename Pred>
void TArea::PurgeWhere(Pred removed) {
  if (!indexLoaded_) return;
  size_t kept = 0;
  const size_t n = std::min(headers_.size(), static_cast<size_t>(std::max(Count, 0)));
  // LastRead is a 1-based position: it keeps pointing at the same message,
  // or at the last kept one before it, by counting the removed headers at
  // or before it (as RemoveHeader does one at a time).
  const int32_t lastRead = LastRead;
  for (size_t i = 0; i < n; ++i) {
    if (removed(i)) {
      CountFlags(headers_[i].Flags, -1);
      if (static_cast<int32_t>(i) < lastRead && LastRead > 0) --LastRead;
      continue;
    }
    if (kept != i) headers_[kept] = headers_[i];
    ++kept;
  }
  headers_.resize(kept);
  Count = static_cast<int32_t>(kept);
  indexChanged_ = true;
}

void TArea::RemoveHeader(int index) {
  if (!indexLoaded_ || index < 0 || index >= Count) return;
  CountFlags(headers_[static_cast<size_t>(index)].Flags, -1);
  headers_.erase(headers_.begin() + index);
  --Count;
  if (index < LastRead) --LastRead;
  indexChanged_ = true;
}

// --- Optimisation -------------------------------------------------------------

bool TArea::Optimize() {
  if (!IsLockedExclusive()) return false;
  // Nor is one optimised: a body left without its index would be emptied.
  if (VanishedMessages() > 0) return false;
  if (!OpenIndex()) return false;
  if (!IndexDamage.empty()) {
    ReleaseIndex();
    return false;
  }
  CloseBody();  // a body opened for reading would keep the old file
  const size_t n = std::min(headers_.size(), static_cast<size_t>(std::max(Count, 0)));
  std::vector<TMsgHeader> fresh(headers_.begin(), headers_.begin() + static_cast<long>(n));
  const TMessageBase::Outcome outcome = base_->Compact(fresh);
  if (outcome == TMessageBase::Outcome::Failed) {
    CloseIndex();
    return false;
  }
  // The body is replaced: from now on only the new offsets are right.
  for (size_t i = 0; i < n; ++i) headers_[i].BodyOffset = fresh[i].BodyOffset;
  // When the index could not be put in place, ".$PX" stays: the next
  // opening puts it in place; the close below tries to write it once more.
  indexChanged_ = outcome == TMessageBase::Outcome::IndexPending;
  CloseIndex();
  return true;
}

TMessageBase::Outcome TMessageBase::Compact(std::vector<TMsgHeader>& fresh) {
  const std::string bodyPath = area_.FilePath(kPackedBodyExt);
  const std::string odyPath = area_.FilePath(kOptimizedBodyExt);
  const std::string pxPath = area_.FilePath(kTempIndexExt);
  platform::Fd oldBody(::open(bodyPath.c_str(), O_RDONLY | O_CLOEXEC));
  uint64_t oldSize = 0;
  if (!oldBody.ok() || !FileSizeOf(oldBody.get(), oldSize)) return Outcome::Failed;
  platform::Fd ody(::open(odyPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!ody.ok()) {
    platform::GetPrompter().Warn(
        platform::AnsiToUtf8("Could not write message file for area " + area_.NameInAnsi() + "!"));
    return Outcome::Failed;
  }

  const size_t n = fresh.size();
  bool failed = false;
  std::string buffer = "KQPB";
  buffer.reserve(kCopyBufferSize + 64 * 1024);
  uint64_t position = 4;
  std::string record;
  for (size_t i = 0; i < n && !failed; ++i) {
    const uint32_t offset = fresh[i].BodyOffset;
    uint8_t head[kBodyRecordHeadSize];
    if (offset == TMsgHeader::NotStored || uint64_t{offset} + sizeof head > oldSize ||
        !PReadAll(oldBody.get(), head, sizeof head, offset) || std::memcmp(head, "KQPM", 4) != 0) {
      failed = true;
      break;
    }
    const uint32_t stored = GetLE32(head + 4);
    if (stored >= kMaxStoredRecord || uint64_t{offset} + sizeof head + stored > oldSize ||
        position + sizeof head + stored > 0xFFFFFFFEull) {
      failed = true;
      break;
    }
    record.resize(stored);
    if (stored > 0 && !PReadAll(oldBody.get(), record.data(), stored, offset + sizeof head)) {
      failed = true;
      break;
    }
    buffer.append(reinterpret_cast<const char*>(head), sizeof head);
    buffer.append(record);
    fresh[i].BodyOffset = static_cast<uint32_t>(position);
    position += sizeof head + stored;
    if (buffer.size() >= kCopyBufferSize) {
      if (!platform::WriteAll(ody.get(), buffer)) failed = true;
      buffer.clear();
    }
  }
  if (!failed && !buffer.empty() && !platform::WriteAll(ody.get(), buffer)) failed = true;
  if (!failed && ::fsync(ody.get()) != 0) failed = true;
  if (!ody.Close()) failed = true;
  oldBody.Close();

  // The new index, pointing into the new body, synced before anything is
  // replaced.
  if (!failed && !WriteSynced(pxPath, EncodePackedIndex(fresh.data(), fresh.size()))) failed = true;

  if (!failed) {
    try {
      platform::ReplaceFile(odyPath, bodyPath);  // the commit point
    } catch (const std::exception&) {
      failed = true;
    }
  }
  if (failed) {
    RemoveQuietly(odyPath);
    RemoveQuietly(pxPath);
    platform::GetPrompter().Warn(
        platform::AnsiToUtf8("Problems occured when optimizing the area  " + area_.NameInAnsi() +
                             " ! Could not optimize area! Your hard disk is probably full. "
                             "If this is not the case your area data may be damaged !"));
    return Outcome::Failed;
  }

  indexFile_.known = false;
  try {
    platform::ReplaceFile(pxPath, area_.FilePath(kPackedIndexExt));
  } catch (const std::exception&) {
    return Outcome::IndexPending;
  }
  return Outcome::Done;
}

// --- Reply table --------------------------------------------------------------

void TArea::BuildReplyTable() {
  FreeReplyTable();
  if (Count <= 0 || !indexLoaded_) return;
  const size_t slots = 2 * static_cast<size_t>(Count);
  ReplyTable.assign(slots, ReplySlot{});
  for (int i = 0; i < Count; ++i) {
    const uint32_t key = headers_[static_cast<size_t>(i)].MsgIdNumber;
    if (key == 0) continue;
    size_t slot = 2 * (key % static_cast<uint32_t>(Count));
    while (ReplyTable[slot].Key != 0xFFFFFFFF) slot = (slot + 1) % slots;
    ReplyTable[slot] = ReplySlot{key, i};
  }
}

void TArea::FreeReplyTable() {
  ReplyTable.clear();
  ReplyTable.shrink_to_fit();
}

int TArea::FindReplyTarget(const TMsgHeader& header) const {
  const uint32_t reply = header.ReplyNumber;
  if (reply == 0 || Count <= 0 || ReplyTable.empty()) return -1;
  const size_t slots = ReplyTable.size();
  size_t slot = (2 * (reply % static_cast<uint32_t>(Count))) % slots;
  for (size_t steps = 0; steps < slots; ++steps) {
    const ReplySlot& s = ReplyTable[slot];
    if (s.Key == 0xFFFFFFFF) return -1;
    if (s.Key == reply && s.Index >= 0 && static_cast<size_t>(s.Index) < headers_.size() &&
        headers_[static_cast<size_t>(s.Index)].MsgIdCrc == header.ReplyCrc)
      return s.Index;
    slot = (slot + 1) % slots;
  }
  return -1;
}

void TArea::RebuildReplyKeys() {
  if (!OpenIndex()) return;
  const bool opened = OpenBody();
  for (int i = 0; i < Count; ++i) {
    auto mail = ReadMail(i);
    TMsgHeader& h = headers_[static_cast<size_t>(i)];
    if (mail->Header.BodyOffset == TMsgHeader::NotStored) continue;  // unreadable body
    h.MsgIdCrc = h.MsgIdNumber = h.ReplyCrc = h.ReplyNumber = 0;
    // Only kludge lines count: a line that begins with ^A.
    const std::string_view text = mail->BodyText();
    size_t start = 0;
    bool haveMsgId = false, haveReply = false;
    while (start < text.size()) {
      size_t end = text.find('\r', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.front() == '\n') line.remove_prefix(1);
      start = end + 1;
      if (line.size() < 2 || line[0] != '\x01') continue;
      const bool msgid = line.substr(1, 6) == "MSGID:";
      const bool reply = line.substr(1, 6) == "REPLY:";
      if ((!msgid || haveMsgId) && (!reply || haveReply)) continue;
      std::string address, serial;
      KludgeWords(line.substr(1), address, serial);
      const uint32_t crc = Crc32OfString(address);
      const uint32_t number = HexStrToInt(serial);
      if (msgid) {
        h.MsgIdCrc = crc;
        h.MsgIdNumber = number;
        haveMsgId = true;
      } else {
        h.ReplyCrc = crc;
        h.ReplyNumber = number;
        haveReply = true;
      }
    }
    const TDateTime date = mail->GetPacketDate();
    h.Created = date > 0 ? DateTimeToUnix(date) : 0;
    h.Tossed = h.Created;
  }
  if (opened) CloseBody();
  indexChanged_ = true;
  CloseIndex();
}

bool TArea::MatchesMask(int index, const TSearchRequest& request) const {
  if (!indexLoaded_ || index < 0 || index >= Count || static_cast<size_t>(index) >= headers_.size())
    return false;
  const TMsgHeader& h = headers_[static_cast<size_t>(index)];
  if (!request.MatchesFlags(h.Flags)) return false;
  if (request.ApplyOrigin && !request.Origin.Matches(h.FromName.View())) return false;
  if (request.ApplyDestination && !request.Destination.Matches(h.ToName.View())) return false;
  if (request.ApplySubject && !request.Subject.Matches(h.Subject.View())) return false;
  if (!request.CreationDate.Matches(UnixToDateTime(h.Created))) return false;
  return request.TossDate.Matches(UnixToDateTime(h.Tossed));
}

}  // namespace velmaris
