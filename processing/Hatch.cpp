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
#include "platform/CodePage.h"
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

// Blanks end the name a TIC line holds, and a quote starts a quoted one.
bool HasBlankOrQuote(std::string_view text) {
  return text.find_first_of(" \t\"") != std::string_view::npos;
}

// Whether a name may stand in a TIC line: a peer reads the first word of the
// line as the name, so a name with a blank or a quote is refused.
bool IsTicLineName(std::string_view name) { return IsSafeTicName(name) && !HasBlankOrQuote(name); }

// Why a file cannot be announced under its name, or nullptr when it can.
const char* WhyNotAnnounced(std::string_view name) {
  if (name.empty()) return "no file has been chosen!";
  if (HasBlankOrQuote(name))
    return "a TIC line ends the name at a blank and takes a quote for the start of a quoted "
           "name, so the uplink would look for another file. Rename the file without blanks "
           "and quotes!";
  if (!platform::PathToOem(name))
    return "the OEM code page of TIC files lacks one of its letters. Rename the file!";
  if (!IsSafeTicName(name)) return "it holds characters no file echo name may hold!";
  if (IsMailFileName(name))
    return "it is named like mail (a packet, bundle, flow or TIC file), which the uplink "
           "would take for its own. Rename the file!";
  return nullptr;
}

// A file name on disk as a TIC line carries it: the OEM page, '?' for what it
// lacks (CheckHatchRequest refuses such a name).
std::string TicName(std::string_view name) { return platform::PathToOemText(name); }

// ANSI text the OEM page holds whole.
bool OemHolds(const std::string& ansi) { return OemToAnsiStr(AnsiToOemStr(ansi)) == ansi; }

// Writes the TIC file under a new serial name (never over another file);
// the path, or "" with why set.
std::string WriteTicFile(const std::string& outbound, const std::string& text,
                         TSerialCounter& serials, std::string& why) {
  TSerialFile tic = CreateSerialFile(outbound, ".tic", serials);
  if (!tic.Fd.ok()) {
    why = "Could not create the TIC file!";
    return {};
  }
  if (!platform::WriteAll(tic.Fd.get(), text) || ::fsync(tic.Fd.get()) != 0 || !tic.Fd.Close()) {
    ::unlink(tic.Path.c_str());
    why = "Could not write the TIC file!";
    return {};
  }
  return tic.Path;
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
  if (const char* why = WhyNotAnnounced(name))
    return "The file name " + platform::LogName(name) + " cannot be announced: " + why;
  if (!IsTicLineName(r.Area) || !OemHolds(r.Area))
    return "The file area name " + r.Area + " cannot be used!";
  if (!r.Replace.empty() && (!platform::PathToOem(r.Replace) || !IsTicLineName(r.Replace)))
    return "The name " + platform::LogName(r.Replace) + " cannot be replaced!";
  if (HasControl(r.Magic)) return "The magic name holds control characters!";
  for (const std::string& line : r.Description)
    if (HasControl(line) || HasControl(AnsiToOemStr(line)))
      return "The description holds control characters!";
  if (HasControl(r.Uplink->FileScanPassword))
    return "The FileScan password of the uplink holds control characters!";
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
  line("Area ", AnsiToOemStr(r.Area));
  line("File ", TicName(name));
  line("To   ", link.UplinkAddress.Text4D());
  line("From ", own);
  line("Origin ", own);
  line("Crc ", Hex8(crc));
  line("Size ", std::to_string(size));
  line("Date ", std::to_string(date));
  if (!r.Replace.empty()) line("Replaces ", TicName(r.Replace));
  if (!r.Magic.empty()) line("Magic ", AnsiToOemStr(r.Magic));
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
  TFileFacts facts;
  switch (ReadFileFacts(r.FileName, facts, r.OnBlockRead)) {
    case TReadResult::Missing: result.Error = "File does not exist!"; return result;
    case TReadResult::Unreadable: result.Error = "Could not read file!"; return result;
    case TReadResult::Changed:
      result.Error = "The file " + platform::LogName(platform::NameOf(r.FileName)) +
                     " changed while it was read! Hatch it again when it is complete.";
      return result;
    case TReadResult::Ok: break;
  }
  const std::string text = BuildTicText(r, platform::NameOf(r.FileName), facts.Crc, facts.Size,
                                        LocalFileDate(facts.ModTime));
  if (text.size() > kMaxTicFileSize) {
    result.Error = "The description is too long!";
    return result;
  }
  const std::string outbound = platform::WithSlash(r.Uplink->Outbound());
  if (!ForceDirectoryPath(outbound)) {
    result.Error = "Could not create " + platform::LogName(outbound);
    return result;
  }
  const std::string tic = WriteTicFile(outbound, text, serials, result.Error);
  if (tic.empty()) return result;
  try {
    // Both lines in one write: the file never goes out without its TIC file.
    r.Uplink->AppendToFlowFile({{r.FileName, r.KillSrc}, {tic, true}});
  } catch (const std::exception& e) {
    ::unlink(tic.c_str());
    result.Error = e.what();
    return result;
  }
  result.TicPath = tic;
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
        if (auto diz = platform::FindNoCase(dir, "file_id.diz")) {
          // No more than a TIC file can hold (and one byte to tell a longer
          // one, which the hatch then refuses as too long).
          platform::Fd in(::open((dir + *diz).c_str(), O_RDONLY | O_CLOEXEC));
          if (in.ok()) {
            text.resize(kMaxTicFileSize + 1);
            text.resize(platform::ReadFull(in.get(), text.data(), text.size()));
          }
        }
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
