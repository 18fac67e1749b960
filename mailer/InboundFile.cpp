#include "mailer/InboundFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/Crc.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "processing/Tosser.h"

namespace velmaris {

std::optional<std::string> SafeRemoteName(std::string_view offered) {
  // "." and ".." name folders; a full stop anywhere else is a letter of the
  // name ("v1..2.zip"), since without a separator no name leaves the folder.
  if (offered.empty() || offered == "." || offered == "..") return std::nullopt;
  for (char c : offered) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 32 || b == 127 || c == '/' || c == '\\' || c == ':') return std::nullopt;
  }
  // A UTF-8 name is kept as it is: a C1 control (U+0080 to U+009F) in it is a
  // control as those above are.
  if (platform::IsUtf8(offered)) {
    for (size_t i = 0; i + 1 < offered.size(); ++i)
      if (static_cast<uint8_t>(offered[i]) == 0xC2 && static_cast<uint8_t>(offered[i + 1]) < 0xA0)
        return std::nullopt;
  }
  return std::string(offered);
}

std::optional<std::string> InboundName(std::string_view offered, std::string& note) {
  note.clear();
  auto name = SafeRemoteName(offered);
  // The cut keeps whole letters of a safe name and at least one of them
  // (platform::FitFileName), so what it leaves is as safe; it is checked
  // again all the same.
  if (name) name = SafeRemoteName(platform::FitFileName(*name));
  if (!name) {
    note = "FSER Refused file name " + platform::EscapeNameControls(offered);
  } else if (name->size() < offered.size()) {
    note = "RECV Name too long, file " + platform::EscapeNameControls(offered) +
           " is received as " + *name;
  }
  return name;
}

std::string TransmissionName(int64_t unixDate, int64_t size, const std::string& name) {
  char head[32];
  std::snprintf(head, sizeof head, "%08x.%08x.", static_cast<uint32_t>(unixDate),
                static_cast<uint32_t>(size));
  constexpr std::string_view kTail = ".Transmission";
  const size_t room = kMaxFileNameBytes - std::strlen(head) - kTail.size();
  if (name.size() <= room) return head + name + std::string(kTail);
  // The whole name's CRC keeps two long names of one beginning apart, so a
  // partial file is resumed only by an offer of its own name.
  char crc[16];
  std::snprintf(crc, sizeof crc, "~%08x", Crc32OfBuffer(name.data(), name.size()));
  return head + std::string(platform::Utf8Prefix(name, room - std::strlen(crc))) + crc +
         std::string(kTail);
}

std::string NextFreeName(const std::string& dir, const std::string& whole) {
  const std::string name = platform::FitFileName(whole);
  if (!platform::FindNoCase(dir, name)) return name;
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string ext = stem.size() == name.size() ? "" : name.substr(dot);
  for (int i = 1;; ++i) {
    // The number goes before the extension; a name that would grow past
    // the longest name the file system takes loses the end of its stem (or,
    // with no stem left, of its extension) instead.
    // (The name is UTF-8 by now.)
    std::string candidate = platform::FitFileName(stem, "_" + std::to_string(i), ext);
    if (!platform::FindNoCase(dir, candidate)) return candidate;
  }
}

TInboundFile::Result TInboundFile::Start(const std::string& dir, const std::string& name,
                                         int64_t size, int64_t unixDate, std::string& why,
                                         const std::string& offered) {
  Keep();
  notes_.clear();
  failure_.clear();
  if (size > kMaxInboundSize) {
    why = "announced size out of range";
    failure_ = "FSER File " + name + ": announced size " + std::to_string(size) + " out of range";
    return Result::Refused;
  }
  dir_ = dir;
  name_ = name;
  date_ = unixDate;
  size_ = size < 0 ? -1 : size;
  temp_ = platform::JoinPath(dir, TransmissionName(unixDate, std::max<int64_t>(size_, 0),
                                                   offered.empty() ? name : offered));
  fd_ = platform::Fd(::open(temp_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  if (!fd_.ok()) {
    why = "cannot create " + temp_;
    return Result::Failed;
  }
  struct stat st {};
  ::fstat(fd_.get(), &st);
  pos_ = st.st_size;
  if (size_ < 0 || pos_ > size_) {  // nothing to resume, or longer than announced: start over
    if (::ftruncate(fd_.get(), 0) != 0) {
      why = "cannot truncate " + temp_;
      fd_.Close();
      return Result::Failed;
    }
    pos_ = 0;
  }
  if (!HasRoomFor(static_cast<size_t>(std::max<int64_t>(size_, 0) - pos_))) {
    why = size_ < 0 ? std::string("not enough disk space beside the reserve")
                    : "not enough disk space for " + std::to_string(size_) + " bytes";
    failure_ = "FSER File " + name + ": " + why;
    const bool fresh = pos_ == 0;
    fd_.Close();
    if (fresh) ::unlink(temp_.c_str());
    return Result::Refused;
  }
  ::lseek(fd_.get(), pos_, SEEK_SET);
  return pos_ > 0 ? Result::Resumed : Result::Created;
}

bool TInboundFile::HasRoomFor(size_t bytes) {
  try {
    return FreeSpace(dir_) >= bytes + kInboundDiskReserve;
  } catch (const platform::EFile&) {
    return false;
  }
}

bool TInboundFile::Write(std::string_view data) {
  if (!fd_.ok()) return false;
  const int64_t end = pos_ + static_cast<int64_t>(data.size());
  if (size_ >= 0 && end > size_) {
    failure_ =
        "FSER File " + name_ + " is longer than announced (" + std::to_string(size_) + " Bytes)";
    return false;
  }
  if (size_ < 0 && (end > kMaxInboundSize || !HasRoomFor(data.size()))) {
    failure_ = "FSER File " + name_ + " of unknown size stopped at offset " + std::to_string(pos_) +
               ": the disk's reserve is reached";
    return false;
  }
  if (!platform::WriteAll(fd_.get(), data)) return false;
  pos_ = end;
  return true;
}

std::optional<std::string> TInboundFile::Finish() {
  if (!fd_.ok()) return std::nullopt;
  ::fsync(fd_.get());
  const timespec times[2] = {{static_cast<time_t>(date_), 0}, {static_cast<time_t>(date_), 0}};
  ::futimens(fd_.get(), times);
  fd_.Close();
  if (size_ >= 0 && pos_ < size_) {
    notes_.push_back("RECV File " + name_ + " is short: " + std::to_string(pos_) + " of " +
                     std::to_string(size_) + " Bytes");
  }
  const std::string target =
      RenameToFreeInboundName(temp_, dir_, name_, [this](const std::string& taken, bool own) {
        notes_.push_back("RECV File " + taken +
                         (own ? " is a name the tosser keeps for itself" : " already exists"));
      });
  if (!target.empty()) {
    platform::FsyncPath(dir_.empty() ? "." : dir_);
    return target;
  }
  notes_.push_back("RECV File " + name_ + " kept as " + platform::NameOf(temp_));
  return std::nullopt;
}

void TInboundFile::Keep() {
  if (!fd_.ok()) return;
  fd_.Close();
  if (size_ < 0) ::unlink(temp_.c_str());
}

std::vector<std::string> TInboundFile::TakeNotes() { return std::exchange(notes_, {}); }

std::string TInboundFile::TakeFailure() { return std::exchange(failure_, {}); }

std::string TRefusedOffers::Key(std::string_view name) {
  return platform::LowerAscii(name.substr(0, kMaxFileNameBytes));
}

int TRefusedOffers::RefusalsOf(std::string_view name) const {
  const std::string key = Key(name);
  for (const auto& [known, refusals] : names_)
    if (known == key) return refusals;
  return 0;
}

bool TRefusedOffers::Exhausted(std::string_view name) const {
  return total_ >= kMaxTotal || RefusalsOf(name) >= kMaxRefusals;
}

void TRefusedOffers::Refused(std::string_view name) {
  if (total_ >= kMaxTotal) return;  // the session ends at the next offer
  ++total_;
  const std::string key = Key(name);
  for (auto& [known, refusals] : names_) {
    if (known == key) {
      ++refusals;
      return;
    }
  }
  names_.emplace_back(key, 1);
}

std::string TRefusedOffers::EndLine(std::string_view name) const {
  const std::string shown = platform::EscapeNameControls(name.substr(0, kMaxFileNameBytes));
  if (RefusalsOf(name) >= kMaxRefusals)
    return "FSER File " + shown + " offered again after " + std::to_string(kMaxRefusals) +
           " refusals, session ended";
  return "FSER File " + shown + " offered after " + std::to_string(kMaxTotal) +
         " refused offers, session ended";
}

}  // namespace velmaris
