#include "core/Area.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "core/Exceptions.h"
#include "core/MessageBase.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

// Local time counted as if it were UTC, as the message header stores dates.
int32_t NowLocalUnix() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<int32_t>(timegm(&local));
}

// "dd Mon yy  hh:mm:ss" of the local time, as FTS-0001 dates read.
std::string FtsDateNow() {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char text[32];
  std::snprintf(text, sizeof text, "%02d %s %02d  %02d:%02d:%02d", t.tm_mday, kMonths[t.tm_mon],
                t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec);
  return std::string(text, 19);
}

}  // namespace

TArea::TArea(const std::string& directory, const std::string& name, const std::string& fileName,
             uint8_t areaType)
    : Name(name), AreaType(areaType) {
  SetBaseDir(directory);
  SetFileName(fileName);
}

TArea::~TArea() {
  CloseBody();
  if (IndexLoaded) {
    IndexUseCount = 1;
    CloseIndex();
  }
}

std::string TArea::AreaNameToFileName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    switch (c) {
      case '<': case '>': case '/': case '\\': case ':': case '?': case '*': case '|': case '"':
        c = '.';
        break;
      default:
        break;
    }
  }
  return out;
}

void TArea::SetBaseDir(const std::string& directory) {
  BaseDir = directory.empty() ? directory : platform::WithSlash(directory);
}

void TArea::SetFileName(const std::string& name) { FileName = AreaNameToFileName(name); }

std::string TArea::FilePath(const std::string& extension) const {
  return BaseDir + FileName + extension;
}

void TArea::ResetFlagCounters() {
  UnreadCount = ToSysopCount = UnreadToSysopCount = SendCount = 0;
  NewUnreadCount = NewUnreadToSysopCount = 0;
}

void TArea::CountFlags(uint16_t flags, int delta) {
  auto all = [flags](uint16_t mask) { return (flags & mask) == mask; };
  if (all(MsgFlag::Send)) SendCount += delta;
  if (all(MsgFlag::Unread)) UnreadCount += delta;
  if (all(MsgFlag::ToSysop)) ToSysopCount += delta;
  if (all(MsgFlag::Unread | MsgFlag::ToSysop)) UnreadToSysopCount += delta;
  if (all(MsgFlag::New | MsgFlag::Unread)) NewUnreadCount += delta;
  if (all(MsgFlag::New | MsgFlag::Unread | MsgFlag::ToSysop)) NewUnreadToSysopCount += delta;
}

void TArea::ApplyImportMarks(std::vector<TMsgHeader>& headers, int32_t count) {
  if (LastImport == -1) return;
  int32_t n = std::min<int32_t>(count, static_cast<int32_t>(headers.size()));
  int32_t firstNew = std::max<int32_t>(0, std::min(n, LastImport));
  for (int32_t i = 0; i < firstNew; ++i) headers[i].Flags &= static_cast<uint16_t>(~MsgFlag::New);
  for (int32_t i = firstNew; i < n; ++i) headers[i].Flags |= MsgFlag::New;
}

bool TArea::OpenIndex() {
  if (IndexLoaded) {
    ++IndexUseCount;
    return true;
  }
  Count = 0;
  ResetFlagCounters();
  std::vector<TMsgHeader> headers;
  if (platform::FileExists(FilePath(kPackedIndexExt))) {
    if (!ReadPackedIndex(*this, headers)) return false;
  }
  Headers = std::move(headers);
  Count = static_cast<int32_t>(Headers.size());
  IndexChanged = false;
  if (LastImport != -1) {
    ApplyImportMarks(Headers, Count);
    LastImport = -1;
  }
  IndexUseCount = 1;
  IndexLoaded = true;
  for (const auto& h : Headers) CountFlags(h.Flags, +1);
  return true;
}

void TArea::CloseIndex() {
  if (!IndexLoaded) return;
  if (IndexUseCount > 0) --IndexUseCount;
  if (IndexUseCount > 0) return;
  // A failed write keeps the headers in memory, still marked as changed, so
  // that the next open uses them and the next close writes them again.
  if (!WritePackedIndex(*this)) {
    IndexChanged = true;
    return;
  }
  Headers.clear();
  Headers.shrink_to_fit();
  IndexLoaded = false;
}

TMsgHeader& TArea::GetHeader(int index) {
  if (!IndexLoaded || index < 0 || index >= Count || static_cast<size_t>(index) >= Headers.size())
    throw EAreaHeaderMsgIndexOutOfRange::Reading(index);
  return Headers[static_cast<size_t>(index)];
}

bool TArea::OpenBody() {
  CloseBody();
  int fd = ::open(FilePath(kPackedBodyExt).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  BodyHandle = fd;
  return true;
}

void TArea::CloseBody() {
  if (BodyHandle >= 0) ::close(BodyHandle);
  BodyHandle = kBodyClosed;
}

std::unique_ptr<TMail> TArea::ReadMail(int index) {
  if (auto mail = ReadStoredMail(*this, index)) return mail;
  TMsgHeader stored;
  if (IndexLoaded && index >= 0 && static_cast<size_t>(index) < Headers.size())
    stored = Headers[static_cast<size_t>(index)];
  return MakeSubstituteMail(*this, stored);
}

void TArea::QueueMail(std::unique_ptr<TMail> mail) {
  if (!mail) return;
  mail->Header.Tossed = NowLocalUnix();
  Queue.push_back(std::move(mail));
}

bool TArea::WriteQueuedMail(bool freeMails, bool markAsImport) {
  if (markAsImport) {
    LastImport = Count;
    NewUnreadCount = 0;
    NewUnreadToSysopCount = 0;
  } else if (LastImport != -1) {
    // Opening and closing the index applies and stores the import marks.
    if (OpenIndex()) CloseIndex();
  }
  WrittenCount = static_cast<int32_t>(Queue.size());
  if (Queue.empty()) return true;
  return AppendQueuedMail(*this, freeMails);
}

std::unique_ptr<TMail> MakeSubstituteMail(const TArea& area, const TMsgHeader& stored) {
  const std::string from = "Messagebase Controller";
  const std::string to = "Current User";
  const std::string subject = "Messagebase Format Error";
  const std::string text =
      "This Message contains invalid data (CRC failure).\rPlease delete the message.\r";

  std::string body(MailBodyOffset::Date, '\0');
  body[0] = 2;  // message type 2
  std::string date = FtsDateNow();
  date.resize(kMailDateSize, '\0');
  body += date;
  body += to + '\0' + from + '\0' + subject + '\0';
  const size_t textOffset = body.size();
  body += text + '\0';

  TMsgHeader h;
  h.Reserved0 = stored.Reserved0;
  h.FromName = from;
  h.ToName = to;
  h.Subject = subject;
  h.AreaName = area.Name;
  h.Created = h.Tossed = NowLocalUnix();
  h.TextOffset = static_cast<uint16_t>(textOffset);
  h.BodyLength = static_cast<uint32_t>(body.size());
  auto mail = std::make_unique<TMail>(std::move(body), h);
  mail->Header.BodyOffset = TMsgHeader::NotStored;
  return mail;
}

}  // namespace velmaris
