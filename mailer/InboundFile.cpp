#include "mailer/InboundFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace velmaris {

namespace {
// Room left on the disk beside an incoming file.
constexpr uint64_t kDiskReserve = 1 << 20;
}  // namespace

std::optional<std::string> SafeRemoteName(std::string_view offered) {
  if (offered.empty() || offered.size() > kMaxFileNameBytes) return std::nullopt;
  if (offered.find("..") != std::string_view::npos) return std::nullopt;
  for (char c : offered) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 32 || b == 127 || c == '/' || c == '\\' || c == ':') return std::nullopt;
  }
  if (offered == ".") return std::nullopt;
  return std::string(offered);
}

std::string TransmissionName(int64_t unixDate, int64_t size, const std::string& name) {
  char head[32];
  std::snprintf(head, sizeof head, "%08x.%08x.", static_cast<uint32_t>(unixDate),
                static_cast<uint32_t>(size));
  return head + name + ".Transmission";
}

std::string NextFreeName(const std::string& dir, const std::string& name) {
  if (!platform::FindNoCase(dir, name)) return name;
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string ext = stem.size() == name.size() ? "" : name.substr(dot);
  for (int i = 1;; ++i) {
    // The number goes before the extension; a name that would grow past
    // the longest name the file system takes loses the end of its stem (or,
    // with no stem left, of its extension) instead.
    const std::string suffix = "_" + std::to_string(i);
    std::string head = stem, tail = ext;
    if (head.size() + suffix.size() + tail.size() > kMaxFileNameBytes) {
      const size_t room = kMaxFileNameBytes - suffix.size();
      if (tail.size() >= room) {
        head.clear();
        tail.resize(room);
      } else {
        head.resize(room - tail.size());
      }
    }
    std::string candidate = head + suffix + tail;
    if (!platform::FindNoCase(dir, candidate)) return candidate;
  }
}

TInboundFile::Result TInboundFile::Start(const std::string& dir, const std::string& name,
                                         int64_t size, int64_t unixDate, std::string& why) {
  Keep();
  if (size < 0 || size > kMaxInboundSize) {
    why = "announced size out of range";
    return Result::Refused;
  }
  dir_ = dir;
  name_ = name;
  date_ = unixDate;
  temp_ = platform::JoinPath(dir, TransmissionName(unixDate, size, name));
  fd_ = platform::Fd(::open(temp_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  if (!fd_.ok()) {
    why = "cannot create " + temp_;
    return Result::Failed;
  }
  struct stat st {};
  ::fstat(fd_.get(), &st);
  pos_ = st.st_size;
  if (pos_ > size) {  // longer than announced: start over
    if (::ftruncate(fd_.get(), 0) != 0) {
      why = "cannot truncate " + temp_;
      fd_.Close();
      return Result::Failed;
    }
    pos_ = 0;
  }
  const uint64_t needed = static_cast<uint64_t>(size - pos_) + kDiskReserve;
  if (platform::FreeSpace(dir) < needed) {
    why = "not enough disk space for " + std::to_string(size) + " bytes";
    const bool fresh = pos_ == 0;
    fd_.Close();
    if (fresh) ::unlink(temp_.c_str());
    return Result::Refused;
  }
  ::lseek(fd_.get(), pos_, SEEK_SET);
  return pos_ > 0 ? Result::Resumed : Result::Created;
}

bool TInboundFile::Write(std::string_view data) {
  if (!fd_.ok() || !platform::WriteAll(fd_.get(), data)) return false;
  pos_ += static_cast<int64_t>(data.size());
  return true;
}

std::optional<std::string> TInboundFile::Finish() {
  if (!fd_.ok()) return std::nullopt;
  ::fsync(fd_.get());
  const timespec times[2] = {{static_cast<time_t>(date_), 0}, {static_cast<time_t>(date_), 0}};
  ::futimens(fd_.get(), times);
  fd_.Close();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string final = NextFreeName(dir_, name_);
    try {
      if (platform::RenameNoReplace(temp_, platform::JoinPath(dir_, final))) {
        platform::FsyncPath(dir_.empty() ? "." : dir_);
        return final;
      }
    } catch (const platform::EFile&) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

void TInboundFile::Keep() {
  if (fd_.ok()) fd_.Close();
}

}  // namespace velmaris
