#include "mailer/Outbound.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>

#include "core/Settings.h"
#include "platform/Ascii.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

// The value of a run of hexadecimal digits; nothing when one is not.
std::optional<unsigned> ReadHex(std::string_view text) {
  unsigned value = 0;
  for (char c : text) {
    const int digit = platform::HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return value;
}

std::string NamePart(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

using platform::Fd;
using platform::WriteAll;

// Reads a regular file of at most `limit` bytes. On failure returns false
// with a reason; `missing` tells that the file is not there at all.
bool ReadBounded(const std::string& path, size_t limit, std::string& out, std::string& reason,
                 bool& missing, mode_t* mode = nullptr) {
  missing = false;
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    missing = errno == ENOENT;
    reason = std::strerror(errno);
    return false;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    reason = "not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > limit) {
    reason = "larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  if (mode) *mode = st.st_mode & 07777;
  out.clear();
  char buf[65536];
  for (;;) {
    const ssize_t n = platform::ReadSome(fd.get(), buf, sizeof buf);
    if (n < 0) {
      reason = std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
    if (out.size() > limit) {  // grew while being read
      reason = "larger than " + std::to_string(limit) + " bytes";
      return false;
    }
  }
  return true;
}

void SyncDir(const std::string& file) {
  try {
    platform::FsyncPath(platform::DirOf(file));
  } catch (const platform::EFile&) {
    // The rename itself stands; a directory that cannot be synced is no
    // reason to report the rewrite as failed.
  }
}

// Deletes the listed file: a regular file or a symbolic link (the link
// itself, never what it points at). Anything else is left alone.
bool DeleteListedFile(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return false;
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

// Truncates the listed file to zero bytes: only a regular file named
// directly (no symbolic link is followed).
bool TruncateListedFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (fd.get() < 0) return false;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (::ftruncate(fd.get(), 0) != 0) return false;
  ::fsync(fd.get());
  return true;
}

// Asks whether to try again; giving up raises EFlowFile with the warning.
void AskOrFail(const RetryPrompt& retry, const std::string& warning, const std::string& reason) {
  if (retry && retry(warning)) return;
  throw EFlowFile(warning + " (" + reason + ")");
}

}  // namespace

// --- Flow-file lines --------------------------------------------------------

FlowLine ParseFlowLine(std::string_view text) {
  FlowLine line;
  line.text = std::string(text);
  if (text.empty() || text.size() > kMaxFlowLineLength ||
      text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    line.action = FlowAction::Refused;
    return line;
  }
  switch (text.front()) {
    case '~':
    case '!': line.action = FlowAction::Skip; return line;
    case '^':
      line.action = FlowAction::Delete;
      text.remove_prefix(1);
      break;
    case '#':
      line.action = FlowAction::Truncate;
      text.remove_prefix(1);
      break;
    default: line.action = FlowAction::Keep; break;
  }
  if (text.empty()) {
    line.action = FlowAction::Refused;
    return line;
  }
  line.path = std::string(text);
  return line;
}

std::vector<FlowLine> ParseFlowFile(std::string_view bytes) {
  std::vector<FlowLine> lines;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view text = bytes.substr(pos, end - pos);
    pos = end + 1;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (text.empty()) continue;
    lines.push_back(ParseFlowLine(text));
  }
  return lines;
}

std::string ExpandFlowPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) return path;
  return p.lexically_normal().generic_string();
}

FlowRewrite FlowFileWithout(std::string_view bytes, const std::string& path) {
  FlowRewrite out;
  const std::string target = ExpandFlowPath(path);
  for (FlowLine& line : ParseFlowFile(bytes)) {
    const bool entry = line.action == FlowAction::Keep || line.action == FlowAction::Delete ||
                       line.action == FlowAction::Truncate;
    if (entry && ExpandFlowPath(line.path) == target) {
      out.removed.push_back(line.action);
      continue;
    }
    out.contents += line.text;
    out.contents += "\r\n";
    if (line.action != FlowAction::Skip) out.hasEntries = true;
  }
  return out;
}

// --- Names --------------------------------------------------------------------

bool ParseFlowBaseName(std::string_view fileName, uint16_t& net, uint16_t& node) {
  const size_t dot = fileName.find('.');
  if (dot != 8) return false;
  auto n = ReadHex(fileName.substr(0, 4));
  auto d = ReadHex(fileName.substr(4, 4));
  if (!n || !d) return false;
  net = static_cast<uint16_t>(*n);
  node = static_cast<uint16_t>(*d);
  return true;
}

bool ParseZoneExtension(std::string_view dirName, uint16_t& zone) {
  const size_t dot = dirName.find_last_of('.');
  if (dot == std::string_view::npos || dirName.size() - dot != 4) return false;
  auto z = ReadHex(dirName.substr(dot + 1));
  if (!z) return false;
  zone = static_cast<uint16_t>(*z);
  return true;
}

// --- Kinds --------------------------------------------------------------------

namespace {

struct KindRow {
  const char* text;
  int32_t code;
  int32_t image;
};

constexpr KindRow kKinds[] = {
    {kKindMailPacket, 0, 1}, {kKindMailBundle, 1, 0},  {kKindAttachedFile, 2, 3},
    {kKindTicFile, 3, 2},    {kKindRequestFile, 3, 2},
};

}  // namespace

int32_t OutboundKindCode(std::string_view kindText) {
  for (const KindRow& row : kKinds) {
    if (kindText == row.text) return row.code;
  }
  return 4;
}

int32_t OutboundKindImage(std::string_view kindText) {
  for (const KindRow& row : kKinds) {
    if (kindText == row.text) return row.image;
  }
  return 3;
}

const char* ClassifyOutboundPath(std::string_view path) {
  // The extension of the name, not of the whole path: a directory such as
  // "mail.fr1/" says nothing about the files in it.
  const std::string name = NamePart(path);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) return kKindAttachedFile;
  const std::string ext = platform::UpperAscii(std::string_view(name).substr(dot));
  if (ext == ".PKT") return kKindMailPacket;
  if (ext == ".TIC") return kKindTicFile;
  if (ext.size() >= 3) {
    static constexpr const char* kDays[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
    const std::string day = ext.substr(1, 2);
    for (const char* d : kDays) {
      if (day == d) return kKindMailBundle;
    }
  }
  return kKindAttachedFile;
}

// --- Warnings -----------------------------------------------------------------

std::string FlowOpenWarning(const std::string& flowFile, const std::string& path,
                            const std::string& addressText) {
  return std::string("WARNING: Flow file ") + "\"" + flowFile + "\"" + " cannot be" +
         "opened for update. If You" + "abort this operation the file " + "\"" + path + "\"" +
         " will be transmitted again on the next poll by  " + addressText + "!";
}

std::string FlowUpdateWarning(const std::string& newFile, const std::string& path,
                              const std::string& addressText) {
  return std::string("WARNING: UpdatedFlow file ") + "\"" + newFile + "\"" + " cannot be" +
         "cannot be opened for update. If You " + "abort this operation the " + "file " + "\"" +
         path + "\"" + " will be transmitted again on the next poll  " + "on " + addressText + "!";
}

// --- TOutbound ----------------------------------------------------------------

TOutbound::TOutbound(std::string mainOutbound, int32_t defaultZone)
    : main_(std::move(mainOutbound)), zone_(defaultZone) {}

TOutbound::TOutbound(const SettingsValues& settings)
    : TOutbound(settings.OutboundDir(), settings.Zone()) {}

void TOutbound::Clear() {
  entries_.clear();
  problems_.clear();
}

std::vector<TOutbound::Directory> TOutbound::OutboundDirectories() const {
  std::vector<Directory> dirs;
  const std::string base = platform::WithoutSlash(main_);
  if (base.empty()) return dirs;
  dirs.push_back({base + "/", static_cast<uint16_t>(zone_)});

  const std::string parent = platform::DirOf(base);
  const std::string baseName = platform::NameOf(base);
  std::vector<Directory> zones;
  std::vector<platform::DirEntry> found;
  try {
    found = platform::ScanDir(parent, "*", false, true);
  } catch (const platform::EFile&) {
    return dirs;
  }
  for (const platform::DirEntry& e : found) {
    // baseName + "." + three hexadecimal digits, the base in any case.
    if (e.name.size() != baseName.size() + 4 || e.name[baseName.size()] != '.') continue;
    if (!platform::StartsWithNoCase(e.name, baseName)) continue;
    uint16_t zone = 0;
    if (!ParseZoneExtension(e.name, zone)) continue;
    zones.push_back({platform::JoinPath(parent, e.name) + "/", zone});
  }
  std::stable_sort(zones.begin(), zones.end(),
                   [](const Directory& a, const Directory& b) { return a.zone < b.zone; });
  dirs.insert(dirs.end(), zones.begin(), zones.end());
  return dirs;
}

void TOutbound::ScanOutbound() {
  Clear();
  const std::vector<Directory> dirs = OutboundDirectories();
  for (const Directory& dir : dirs) {
    std::vector<platform::DirEntry> flows;
    try {
      flows = platform::ScanDir(dir.path, "*.flo");
    } catch (const platform::EFile& e) {
      problems_.push_back(e.what());
      continue;
    }
    for (const platform::DirEntry& f : flows) ClassifyOutboundFile(dir, f.name);
  }
  for (const Directory& dir : dirs) {
    std::vector<platform::DirEntry> requests;
    try {
      requests = platform::ScanDir(dir.path, "*.req");
    } catch (const platform::EFile& e) {
      problems_.push_back(e.what());
      continue;
    }
    for (const platform::DirEntry& r : requests) {
      uint16_t net = 0, node = 0;
      if (!ParseFlowBaseName(r.name, net, node)) {
        problems_.push_back("Request file " + dir.path + r.name + " names no net and node");
        continue;
      }
      AddOutboundFile(TFidoAddr{dir.zone, net, node, 0}, "^" + dir.path + r.name, kKindRequestFile);
    }
  }
}

void TOutbound::ClassifyOutboundFile(const Directory& dir, const std::string& flowName) {
  uint16_t net = 0, node = 0;
  const std::string flowFile = dir.path + flowName;
  if (!ParseFlowBaseName(flowName, net, node)) {
    problems_.push_back("Flow file " + flowFile + " names no net and node");
    return;
  }
  const TFidoAddr address{dir.zone, net, node, 0};

  std::string bytes, reason;
  bool missing = false;
  {
    std::lock_guard lock(FlowFileMutex());
    if (!ReadBounded(flowFile, kMaxFlowFileSize, bytes, reason, missing)) {
      if (!missing) problems_.push_back("Flow file " + flowFile + " cannot be read: " + reason);
      return;
    }
  }
  size_t entries = 0, lineNo = 0;
  for (const FlowLine& line : ParseFlowFile(bytes)) {
    ++lineNo;
    if (line.action == FlowAction::Skip) continue;
    if (line.action == FlowAction::Refused) {
      problems_.push_back("Flow file " + flowFile + ": line " + std::to_string(lineNo) +
                          " is no file name");
      continue;
    }
    if (++entries > kMaxFlowEntries) {
      problems_.push_back("Flow file " + flowFile + " lists more than " +
                          std::to_string(kMaxFlowEntries) + " files; the rest waits");
      break;
    }
    AddOutboundFile(address, line.text, ClassifyOutboundPath(line.path), flowFile);
  }
}

bool TOutbound::AddOutboundFile(const TFidoAddr& address, const std::string& listed,
                                const std::string& kindText, const std::string& flowFile) {
  const FlowLine line = ParseFlowLine(listed);
  if (line.action == FlowAction::Skip || line.action == FlowAction::Refused) return false;

  // Only an existing regular file with data is offered (a directory or a
  // device named in a flow file is not).
  struct stat st;
  if (::stat(line.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return false;

  TFidoAddr dest = address;
  dest.Point = 0;
  // A file listed twice for the same system is sent once.
  const std::string expanded = ExpandFlowPath(line.path);
  for (const TFileInfo& e : entries_) {
    if (e.Address == dest && ExpandFlowPath(e.Path) == expanded) return false;
  }

  TFileInfo info;
  info.Address = dest;
  info.Path = line.path;
  info.FileName = NamePart(line.path);
  info.Size = static_cast<int64_t>(st.st_size);
  info.KindText = kindText;
  info.Kind = OutboundKindCode(kindText);
  info.DeleteAfterSending = line.action == FlowAction::Delete;
  info.Action = line.action;
  info.FlowFile = flowFile;
  info.IsRequest = flowFile.empty() && kindText == kKindRequestFile;

  // Ordered by kind code; within a kind, in the order found.
  auto pos = std::find_if(entries_.begin(), entries_.end(),
                          [&](const TFileInfo& e) { return e.Kind > info.Kind; });
  entries_.insert(pos, std::move(info));
  return true;
}

std::string TOutbound::DirectoryOf(const TFidoAddr& address) const {
  if (main_.empty()) return {};
  if (address.Zone == zone_) return platform::WithSlash(main_);
  const std::string dir = platform::WithoutSlash(ZoneOutbound(main_, zone_, address.Zone));
  const std::string parent = platform::DirOf(dir);
  // A zone directory made by another program may be written in lower case.
  const auto found = platform::FindNoCase(parent, platform::NameOf(dir));
  return platform::JoinPath(parent, found.value_or(platform::NameOf(dir))) + "/";
}

std::vector<std::string> TOutbound::FlowFilesOf(const TFidoAddr& address) const {
  std::vector<std::string> out;
  const std::string dir = DirectoryOf(address);
  if (dir.empty()) return out;
  try {
    for (const platform::DirEntry& e : platform::ScanDir(dir, FlowBaseName(address) + ".flo")) {
      out.push_back(dir + e.name);
    }
  } catch (const platform::EFile&) {
    // An unreadable directory lists no flow files.
  }
  return out;
}

SentResult TOutbound::RewriteFlowFile(const std::string& flowFile, const TFidoAddr& address,
                                      const std::string& path, const RetryPrompt& retry) {
  SentResult result;
  const std::string addressText =
      FidoAddressToStr(TFidoAddr{address.Zone, address.Net, address.Node, 0});
  const std::string name = platform::NameOf(flowFile);
  const size_t dot = name.find_last_of('.');
  const std::string newFile =
      platform::DirOf(flowFile) + (dot == std::string::npos ? name : name.substr(0, dot)) + ".NEW";
  const std::string oldFile = flowFile + ".Old";

  // The lock is held for each attempt, not while the user is asked.
  std::unique_lock lock(FlowFileMutex(), std::defer_lock);
  auto ask = [&](const std::string& warning, const std::string& reason) {
    lock.unlock();
    AskOrFail(retry, warning, reason);
  };
  for (;;) {
    lock.lock();
    std::string bytes, reason;
    bool missing = false;
    mode_t mode = 0644;
    if (!ReadBounded(flowFile, kMaxFlowFileSize, bytes, reason, missing, &mode)) {
      if (missing) return result;  // nothing lists the file any more
      ask(FlowOpenWarning(flowFile, path, addressText), reason);
      continue;
    }
    FlowRewrite rw = FlowFileWithout(bytes, path);
    if (rw.removed.empty()) return result;  // not listed: the flow file stays as it is

    {
      // A flow file left without entries stays, empty, as peers expect.
      // The new contents go into a file of their own, reach the disk, and
      // only then replace the flow file; a crash leaves the old or the new
      // list, never a torn one.
      ::unlink(newFile.c_str());
      Fd fd(::open(newFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
      const bool created = fd.get() >= 0;
      bool ok = created;
      int err = errno;
      if (ok) {
        ok = ::fchmod(fd.get(), mode) == 0 && WriteAll(fd.get(), rw.contents) &&
             ::fsync(fd.get()) == 0;
        err = errno;
        ok = (::close(fd.Release()) == 0) && ok;
      }
      if (ok) {
        ::unlink(oldFile.c_str());
        if (::link(flowFile.c_str(), oldFile.c_str()) != 0) {
          // No backup on this file system; the rewrite does not need one.
        }
        ok = ::rename(newFile.c_str(), flowFile.c_str()) == 0;
        err = errno;
      }
      if (!ok) {
        if (created) ::unlink(newFile.c_str());
        ask(FlowUpdateWarning(newFile, path, addressText), std::strerror(err));
        continue;
      }
      SyncDir(flowFile);
    }
    result.flowUpdated = true;
    // Keep beats truncate beats delete: a file is only deleted when every
    // line that listed it asked for that.
    bool keep = false, truncate = false;
    for (FlowAction a : rw.removed) {
      keep = keep || a == FlowAction::Keep;
      truncate = truncate || a == FlowAction::Truncate;
    }
    result.action = keep ? FlowAction::Keep : truncate ? FlowAction::Truncate : FlowAction::Delete;
    return result;
  }
}

void TOutbound::RemoveFromFlowFile(const TFidoAddr& address, const std::string& path,
                                   const RetryPrompt& retry) {
  if (platform::EndsWithNoCase(path, ".REQ")) return;  // request files are listed by no flow file
  for (const std::string& flowFile : FlowFilesOf(address)) {
    RewriteFlowFile(flowFile, address, path, retry);
  }
}

SentResult TOutbound::FileSent(const TFileInfo& entry, const RetryPrompt& retry) {
  SentResult result;
  if (entry.IsRequest) {
    result.action = FlowAction::Delete;
    result.fileActionFailed = !DeleteListedFile(entry.Path);
    return result;
  }
  std::vector<std::string> flowFiles;
  if (!entry.FlowFile.empty()) {
    flowFiles.push_back(entry.FlowFile);
  } else {
    flowFiles = FlowFilesOf(entry.Address);
  }
  bool listed = false, keep = false, truncate = false;
  for (const std::string& flowFile : flowFiles) {
    SentResult one = RewriteFlowFile(flowFile, entry.Address, entry.Path, retry);
    if (!one.flowUpdated) continue;
    listed = true;
    result.flowUpdated = true;
    keep = keep || one.action == FlowAction::Keep;
    truncate = truncate || one.action == FlowAction::Truncate;
  }
  if (!listed) return result;  // no longer listed: the file is not touched
  result.action = keep ? FlowAction::Keep : truncate ? FlowAction::Truncate : FlowAction::Delete;
  if (result.action == FlowAction::Delete) {
    result.fileActionFailed = !DeleteListedFile(entry.Path);
  } else if (result.action == FlowAction::Truncate) {
    result.fileActionFailed = !TruncateListedFile(entry.Path);
  }
  return result;
}

void TOutbound::RemoveOutboundEntry(const TFileInfo& entry, const RetryPrompt& retry) {
  if (entry.IsRequest) {
    if (!DeleteListedFile(entry.Path)) {
      throw EFlowFile("the request file " + entry.Path + " cannot be deleted");
    }
    return;
  }
  if (!entry.FlowFile.empty()) {
    RewriteFlowFile(entry.FlowFile, entry.Address, entry.Path, retry);
  } else {
    RemoveFromFlowFile(entry.Address, entry.Path, retry);
  }
}

}  // namespace velmaris
