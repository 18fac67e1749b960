#include "core/NetLink.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "core/Settings.h"
#include "core/WinRegistry.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

// A stored count above this is read as this many uplinks.
constexpr int32_t kMaxStoredUplinks = 1000;

std::string Hex(unsigned value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", digits, value);
  return buf;
}

// The file's path made absolute against the current directory, with "." and
// ".." parts resolved as text.
std::string ExpandFileName(const std::string& fileName) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(fileName, ec);
  if (ec) throw EFlowFile("cannot expand the file name " + fileName + ": " + ec.message());
  return p.lexically_normal().generic_string();
}

[[noreturn]] void FailFlow(const std::string& what, const std::string& path, int err) {
  throw EFlowFile(what + " " + path + ": " + std::strerror(err));
}

}  // namespace

std::recursive_mutex& FlowFileMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

std::string FlowBaseName(const TFidoAddr& address) {
  return Hex(address.Net, 4) + Hex(address.Node, 4);
}

std::string FlowFileName(const TFidoAddr& address) { return FlowBaseName(address) + ".flo"; }

std::string ZoneOutbound(const std::string& mainOutbound, int32_t ownZone, int32_t zone) {
  if (mainOutbound.empty()) return mainOutbound;
  if (zone == ownZone) return mainOutbound;
  return platform::WithoutSlash(mainOutbound) + "." + Hex(static_cast<uint16_t>(zone), 3) + "/";
}

std::string GetUplinkOutbound(const std::string& mainOutbound, int32_t ownZone, int32_t zone) {
  std::string result = ZoneOutbound(mainOutbound, ownZone, zone);
  if (result.empty()) return result;
  const std::string dir = platform::WithoutSlash(result);
  try {
    if (!platform::DirExists(dir)) platform::MakeDirs(dir);
  } catch (const platform::EFile&) {
    // Checked below.
  }
  if (!platform::DirExists(dir)) return mainOutbound;
  return result;
}

std::string GetUplinkOutbound(const SettingsValues& settings, int32_t zone) {
  return GetUplinkOutbound(settings.OutboundDir(), settings.Zone(), zone);
}

// --- TNetLink -----------------------------------------------------------------

TNetLink::TNetLink(const std::string& outbound) {
  UplinkAddress.SetText(kDefaultAddress);
  SysopAddress.SetText(kDefaultAddress);
  SetOutbound(outbound);
}

void TNetLink::SetOutbound(const std::string& path) {
  std::string dir = platform::WithoutSlash(path);
  std::string result;
  if (!dir.empty()) {
    if (!platform::DirExists(dir)) {
      try {
        platform::MakeDirs(dir);
      } catch (const platform::EFile&) {
        // Checked below: the uplink is then left without an outbound directory.
      }
    }
    if (platform::DirExists(dir)) result = path;
  }
  std::lock_guard lock(outboundMutex_);
  outbound_ = std::move(result);
}

std::string TNetLink::Outbound() const {
  std::lock_guard lock(outboundMutex_);
  return outbound_;
}

std::string TNetLink::FlowFilePath() const {
  const std::string dir = Outbound();
  if (dir.empty()) return {};
  const std::string name = FlowFileName(UplinkAddress.Address());
  return platform::JoinPath(dir, platform::FindNoCase(dir, name).value_or(name));
}

std::string TNetLink::AppendToFlowFile(const std::string& fileName, bool deleteAfterSending) {
  return AppendToFlowFile({TFlowEntry{fileName, deleteAfterSending}});
}

std::string TNetLink::AppendToFlowFile(const std::vector<TFlowEntry>& entries) {
  std::string lines;
  for (const TFlowEntry& entry : entries) {
    if (entry.FileName.empty()) throw EFlowFile("no file name to list in the flow file of " + Name);
    if (entry.FileName.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      throw EFlowFile("a file name with a line break cannot be listed in a flow file");
    }
    lines += (entry.DeleteAfterSending ? "^" : "") + ExpandFileName(entry.FileName) + "\r\n";
  }

  std::lock_guard lock(FlowFileMutex());
  const std::string path = FlowFilePath();
  if (path.empty()) throw EFlowFile("uplink " + Name + " has no outbound directory");

  const bool existed = platform::FileExists(path);
  platform::Fd file(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (!file.ok()) FailFlow("cannot open the flow file", path, errno);
  const int fd = file.get();
  struct stat st;
  if (::fstat(fd, &st) != 0) FailFlow("cannot read the flow file", path, errno);
  const off_t oldSize = st.st_size;

  // A last line without its line end (written by another program, or cut
  // off) is ended first, so the new entry does not run into it.
  std::string data;
  if (oldSize > 0) {
    char last = 0;
    if (::pread(fd, &last, 1, oldSize - 1) == 1 && last != '\n') data = "\r\n";
  }
  data += lines;

  if (!platform::WriteAll(fd, data) || ::fsync(fd) != 0) {
    int err = errno;
    // Take back what part of the line did reach the file.
    if (::ftruncate(fd, oldSize) == 0) ::fsync(fd);
    file.Close();
    if (!existed) ::unlink(path.c_str());
    FailFlow("cannot write the flow file", path, err);
  }
  if (!file.Close()) FailFlow("cannot write the flow file", path, errno);
  if (!existed) {
    try {
      platform::FsyncPath(platform::DirOf(path));
    } catch (const platform::EFile&) {
      // The file itself is on disk; its directory entry follows with the
      // next sync of the file system.
    }
  }
  return path;
}

void TNetLink::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  AreaFixPassword = registry.ReadString(section, "AreaFix", "");
  FileScanPassword = registry.ReadString(section, "FileScan", "");
  Mailbox = registry.ReadInteger(section, "Mailbox", -1);
  SessionPassword = registry.ReadString(section, "Session", "");
  AFReceiver = registry.ReadString(section, "AFReceiver", "AreaFix");
  AFSender = registry.ReadString(section, "AFSender", "AreaFix");
  AFDescO = registry.ReadInteger(section, "AFDescO", 41);
  AFDescL = registry.ReadInteger(section, "AFDescL", 0);
  AFNameO = registry.ReadInteger(section, "AFNameO", 3);
  FSReceiver = registry.ReadString(section, "FSReceiver", "FileScan");
  FSSender = registry.ReadString(section, "FSSender", "FileScan");
  FSDescO = registry.ReadInteger(section, "FSDescO", 2);
  FSDescL = registry.ReadInteger(section, "FSDescL", 1);
  FSNameO = registry.ReadInteger(section, "FSNameO", 1);
  UsePacker = registry.ReadBool(section, "UsePacker", false);
  Packer = registry.ReadString(section, "Packer", "");
  UplinkAddress.SetText(registry.ReadString(section, "Uplinkaddress", kDefaultAddress));
  Name = registry.ReadString(section, "Name", kDefaultName);
  Password = registry.ReadString(section, "Password", "");
  SysopAddress.SetText(registry.ReadString(section, "Sysopaddress", kDefaultAddress));
  Sysop = registry.ReadString(section, "Sysop", kDefaultSysop);
  LoadStringsFromRegistry(AreaFixTitles, registry, section + "\\AreaFixTitles");
  LoadStringsFromRegistry(FileScanTitles, registry, section + "\\FileScanTitles");
}

void TNetLink::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  registry.WriteBool(section, "UsePacker", UsePacker);
  registry.WriteString(section, "Packer", Packer);
  registry.WriteString(section, "Name", Name);
  registry.WriteString(section, "Uplinkaddress", UplinkAddress.Text4D());
  registry.WriteString(section, "Sysop", Sysop);
  registry.WriteString(section, "Sysopaddress", SysopAddress.Text4D());
  registry.WriteString(section, "Password", Password);
  registry.WriteString(section, "AreaFix", AreaFixPassword);
  registry.WriteString(section, "FileScan", FileScanPassword);
  registry.WriteString(section, "Session", SessionPassword);
  registry.WriteInteger(section, "Mailbox", Mailbox);
  registry.WriteString(section, "AFReceiver", AFReceiver);
  registry.WriteString(section, "AFSender", AFSender);
  registry.WriteString(section, "FSReceiver", FSReceiver);
  registry.WriteString(section, "FSSender", FSSender);
  registry.WriteInteger(section, "AFNameO", AFNameO);
  registry.WriteInteger(section, "AFDescO", AFDescO);
  registry.WriteInteger(section, "AFDescL", AFDescL);
  registry.WriteInteger(section, "FSNameO", FSNameO);
  registry.WriteInteger(section, "FSDescO", FSDescO);
  registry.WriteInteger(section, "FSDescL", FSDescL);
  SaveStringsToRegistry(AreaFixTitles, registry, section + "\\AreaFixTitles");
  SaveStringsToRegistry(FileScanTitles, registry, section + "\\FileScanTitles");
}

// --- TLinkList ------------------------------------------------------------------

TNetLink* TLinkList::Add(std::unique_ptr<TNetLink> link) {
  const std::string name = link->Name;
  return Add(name, std::move(link));
}

TNetLink* TLinkList::Add(const std::string& name, std::unique_ptr<TNetLink> link) {
  TNetLink* raw = link.get();
  owned_.push_back(std::move(link));
  AddObject(name, raw);
  return raw;
}

void TLinkList::UpdateOutbounds(const std::string& mainOutbound, int32_t ownZone) {
  for (int i = 0; i < GetCount(); ++i) {
    TNetLink* link = GetItem(i);
    if (!link) continue;
    link->SetOutbound(GetUplinkOutbound(mainOutbound, ownZone, link->UplinkAddress.Address().Zone));
  }
}

void TLinkList::UpdateOutbounds(const SettingsValues& settings) {
  UpdateOutbounds(settings.OutboundDir(), settings.Zone());
}

void TLinkList::LoadFromRegistry(const TWinRegistry& registry, const std::string& section,
                                 const std::string& mainOutbound) {
  // Read everything first, so that a faulty value leaves the list as it was.
  std::vector<std::unique_ptr<TNetLink>> loaded;
  const int32_t count = std::clamp(registry.ReadInteger(section, "Count", 0), 0, kMaxStoredUplinks);
  for (int32_t n = 1; n <= count; ++n) {
    auto link = std::make_unique<TNetLink>(mainOutbound);
    link->LoadFromRegistry(registry, section + "\\Uplink" + std::to_string(n));
    loaded.push_back(std::move(link));
  }
  if (loaded.empty()) {
    auto link = std::make_unique<TNetLink>(mainOutbound);
    link->Name = "Da Boss!!!";
    link->Sysop = "Me";
    link->UplinkAddress.SetText("0:8/15");
    link->SysopAddress.SetText("0:8/15");
    link->Password.clear();
    loaded.push_back(std::move(link));
  }
  BeginUpdate();
  Clear();
  for (auto& link : loaded) Add(std::move(link));
  EndUpdate();
  DiscardPendingChange();
}

void TLinkList::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (const TNetLink* link = GetItem(i)) {
      link->SaveToRegistry(registry, section + "\\Uplink" + std::to_string(i + 1));
    }
  }
  registry.WriteInteger(section, "Count", GetCount());
  registry.DeleteEntriesBeyond(section, "Uplink", GetCount());
}

}  // namespace velmaris
