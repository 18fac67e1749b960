#include "processing/Hatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "archive/Packer.h"
#include "core/ConfigStore.h"
#include "core/Crc.h"
#include "core/NetLink.h"
#include "core/TextHelpers.h"
#include "platform/Files.h"
#include "processing/Exporter.h"
#include "processing/PacketHeader.h"
#include "processing/TicFile.h"

namespace velmaris {
namespace {

bool HasControl(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 32 || c == 127) return true;
  return false;
}

// The CRC-32 of a whole file, read in blocks; false when it cannot be read.
bool FileCrc(const std::string& path, uint32_t& crc) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  uint32_t reg = 0xFFFFFFFF;
  char buffer[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    reg = Crc32Update(reg, buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  crc = ~reg;
  return ok;
}

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

}  // namespace

std::string CheckHatchRequest(const THatchRequest& r) {
  if (!r.Uplink) return "No uplink has been chosen!";
  const std::string name = platform::NameOf(r.FileName);
  if (!IsSafeTicName(name) || IsMailFileName(name))
    return "The file name " + name + " cannot be announced!";
  if (!IsSafeTicName(r.Area)) return "The file area name " + r.Area + " cannot be used!";
  if (!r.Replace.empty() && !IsSafeTicName(r.Replace))
    return "The name " + r.Replace + " cannot be replaced!";
  if (HasControl(r.Magic)) return "The magic name holds control characters!";
  for (const std::string& line : r.Description)
    if (HasControl(line)) return "The description holds control characters!";
  return {};
}

std::string BuildTicText(const THatchRequest& r, const std::string& name, uint32_t crc,
                         uint64_t size, int64_t date) {
  const TNetLink& link = *r.Uplink;
  const std::string own = link.SysopAddress.Text4D();
  std::string tic;
  const auto line = [&tic](const std::string& keyword, const std::string& value) {
    tic += keyword + value + "\r\n";
  };
  line("Area ", r.Area);
  line("File ", name);
  line("To   ", link.UplinkAddress.Text4D());
  line("From ", own);
  line("Origin ", own);
  line("Crc ", Hex8(crc));
  line("Size ", std::to_string(size));
  line("Date ", std::to_string(date));
  if (!r.Replace.empty()) line("Replaces ", r.Replace);
  if (!r.Magic.empty()) line("Magic ", r.Magic);
  line("Desc ", r.Description.empty() ? std::string() : AnsiToOemStr(r.Description.front()));
  for (const std::string& desc : r.Description) line("LDesc ", AnsiToOemStr(desc));
  line("Created by ", GetProgramId());
  if (!link.FileScanPassword.empty()) line("Pw ", link.FileScanPassword);
  return tic;
}

int64_t LocalFileDate(int64_t utcSeconds) {
  const time_t t = static_cast<time_t>(utcSeconds);
  tm local{};
  if (!localtime_r(&t, &local)) return utcSeconds;
  return utcSeconds + local.tm_gmtoff;
}

THatchResult HatchFile(const THatchRequest& r, TSerialCounter& serials) {
  THatchResult result;
  result.Error = CheckHatchRequest(r);
  if (!result.Error.empty()) return result;
  struct stat st {};
  if (::stat(r.FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    result.Error = "File does not exist!";
    return result;
  }
  uint32_t crc = 0;
  if (!FileCrc(r.FileName, crc)) {
    result.Error = "Could not read file!";
    return result;
  }
  const std::string outbound = platform::WithSlash(r.Uplink->Outbound());
  const std::string tic = outbound + NextSerialHex(serials) + ".tic";
  try {
    if (!ForceDirectoryPath(outbound)) throw std::runtime_error("Could not create " + outbound);
    platform::WriteFileAtomic(
        tic, BuildTicText(r, platform::NameOf(r.FileName), crc, static_cast<uint64_t>(st.st_size),
                          LocalFileDate(st.st_mtime)));
    result.TicPath = tic;
    r.Uplink->AppendToFlowFile(r.FileName, r.KillSrc);
    r.Uplink->AppendToFlowFile(tic, true);
  } catch (const std::exception& e) {
    if (!result.TicPath.empty()) ::unlink(tic.c_str());
    result.TicPath.clear();
    result.Error = e.what();
    return result;
  }
  if (TOutboundRescan* rescan = GetOutboundRescan()) rescan->RescanOutbound();
  result.Ok = true;
  return result;
}

std::vector<std::string> ArchiveDescription(const std::string& fileName, const TPckList& packers,
                                            const std::string& tempBase, TSerialCounter& serials) {
  TPacker* packer = packers.FindPackerForFile(fileName);
  if (!packer) return {};
  const std::string dir =
      platform::WithSlash(tempBase) + "~KQHatch" + NextSerialHex(serials) + ".tmp/";
  std::vector<std::string> lines;
  if (ForceDirectoryPath(dir)) {
    std::string text;
    try {
      if (packer->Unpack(fileName, dir)) {
        if (auto diz = platform::FindNoCase(dir, "file_id.diz"))
          text = platform::ReadFile(dir + *diz);
      }
    } catch (const std::exception&) {
      text.clear();
    }
    // The text ends at an end-of-file mark (Ctrl-Z) when it has one.
    for (const std::string& line : SplitTextLines(text.substr(0, text.find('\x1A'))))
      lines.push_back(OemToAnsiStr(line));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  if (lines.empty()) lines.push_back(kNoDescription);
  return lines;
}

}  // namespace velmaris
