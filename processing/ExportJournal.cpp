#include "processing/ExportJournal.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "archive/ArchiveCheck.h"
#include "archive/Packer.h"
#include "archive/PackerConfig.h"
#include "core/Area.h"
#include "core/FidoAddress.h"
#include "core/NetLink.h"
#include "core/SerialCounter.h"
#include "platform/Ascii.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

constexpr size_t kExportFields = 8;  // before the message indexes

// Whether the flow file lists a file of that name.
bool Listed(const std::string& flowFile, const std::string& path) {
  std::string text;
  try {
    text = platform::ReadFile(flowFile);
  } catch (const platform::EFile&) {
    return false;
  }
  const std::string name = platform::NameOf(path);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && (line[0] == '^' || line[0] == '#' || line[0] == '~')) line.erase(0, 1);
    if (platform::NameOf(line) == name) return true;
    pos = end + 1;
  }
  return false;
}

// The packet into its bundle with the packer of that name (the bundle
// packer when one is installed, else the configured packer list's).
bool PackAgain(const std::string& packerName, const std::string& bundle, const std::string& packet,
               std::vector<std::string>* notes) {
  if (const TBundlePacker packer = GetBundlePacker())
    return packer(packerName, bundle, packet, notes);
  TPckList* packers = GetPackerList();
  TPacker* packer = packers ? packers->PackerByName(packerName) : nullptr;
  return packer && packer->Pack(bundle, packet, notes);
}

bool Finish(const TRunJournal::Record& r, std::vector<std::string>* log) {
  const std::string& packet = r[1];
  const std::string& bundle = r[2];
  TNetLink link(r[4]);
  link.Name = "Recovery";
  link.UplinkAddress.SetText(r[5]);
  std::lock_guard flowLock(FlowFileMutex());
  try {
    std::string listed;
    // What a packing cut off left in its folder (a half-made copy, the
    // packer's backups) is no part of anything.
    if (!bundle.empty()) RemovePackFolders(bundle, packet);
    if (platform::FileExists(packet)) {
      listed = packet;
      if (!bundle.empty()) {
        // A run cut off after its bundle took the packet: not packed again
        // (a packer that makes the bundle anew would drop what it held).
        bool packed = false;
        try {
          packed = platform::FileExists(bundle) && ArchiveHoldsFile(bundle, packet);
        } catch (const std::exception&) {
          packed = false;
        }
        if (!packed) {
          TBundlePack p = PackIntoBundle(PackAgain, r[3], bundle, packet);
          packed = p.Packed;
          if (log) log->insert(log->end(), p.Notes.begin(), p.Notes.end());
        }
        if (packed) {
          ::unlink(packet.c_str());
          listed = bundle;
        }
      }
    } else if (!bundle.empty() && platform::FileExists(bundle)) {
      listed = bundle;
    }
    if (!listed.empty() && !Listed(link.FlowFilePath(), listed))
      link.AppendToFlowFile(listed, true);
  } catch (const std::exception&) {
    return false;
  }
  const auto journalArea = TArea::OnRecordedFiles(r[6], r[7]);
  TArea& area = *journalArea;
  if (!area.OpenIndex()) return false;
  for (size_t i = kExportFields; i < r.size(); ++i) {
    const int index = std::atoi(r[i].c_str());
    if (index < 0 || index >= area.Count) continue;
    if (area.HeaderPtr(index)->Flags & MsgFlag::Sent) continue;
    area.ChangeHeaderFlags(index, MsgFlag::Send, FlagOperation::Clear);
    area.ChangeHeaderFlags(index, MsgFlag::Sent, FlagOperation::Set);
  }
  area.CloseIndex();
  return !area.IsIndexChanged();
}

}  // namespace

TRunJournal::Record ExportStageRecord(const TOutPacket::Stage& stage, const TNetLink& link,
                                      const TArea& area, const std::vector<int>& indexes) {
  if (stage.Step == TOutPacket::Stage::Created)
    return {"packet", stage.PacketPath, link.FlowFilePath()};
  TRunJournal::Record r{"export",         stage.PacketPath,
                        stage.BundlePath, stage.PackerName,
                        link.Outbound(),  FidoAddressToStr(link.UplinkAddress.Address()),
                        area.BaseDir,     area.FileName};
  for (int index : indexes) r.push_back(std::to_string(index));
  return r;
}

namespace {

// Packet and bundle names are file serials; a run cut off never stored the
// last one it used, so the next names start above every one it recorded (a
// name used again could replace a packet of the same name in the day's
// bundle).
void RaiseFileSerial(const std::string& path) {
  const std::string name = platform::NameOf(path);
  if (name.size() != 12 || name[8] != '.') return;
  uint32_t serial = 0;
  for (size_t i = 0; i < 8; ++i) {
    const char c = name[i];
    const int digit = platform::HexDigitValue(c);
    if (digit < 0) return;
    serial = serial * 16 + static_cast<uint32_t>(digit);
  }
  FileSerial().RaiseAbove(serial);
}

}  // namespace

bool RecoverExportJournal(const std::string& journalPath, std::vector<std::string>* log,
                          const std::function<bool()>& keepSerials) {
  TRunJournal journal(journalPath);
  if (!journal.Exists()) return true;
  std::vector<TRunJournal::Record> pending;
  for (auto& r : journal.Read()) {
    if ((r[0] == "packet" || r[0] == "export") && r.size() >= 2) RaiseFileSerial(r[1]);
    if (r[0] == "export" && r.size() >= 3) RaiseFileSerial(r[2]);
    if (r[0] == "done") {
      pending.clear();
    } else if ((r[0] == "packet" && r.size() == 3) ||
               (r[0] == "export" && r.size() >= kExportFields)) {
      pending.push_back(std::move(r));
    }
  }
  bool ok = true;
  int finished = 0;
  for (const auto& r : pending) {
    if (r[0] == "export") {
      ok = Finish(r, log) && ok;
      ++finished;
      continue;
    }
    bool followed = false;
    for (const auto& e : pending)
      if (e[0] == "export" && e[1] == r[1]) followed = true;
    // A listed file of that name is not the run's (it was there before).
    if (!followed && !Listed(r[2], r[1]) && ::unlink(r[1].c_str()) != 0 && errno != ENOENT)
      ok = false;
  }
  if (!ok) return false;
  if (keepSerials && !keepSerials()) return false;
  if (log && finished > 0) log->push_back("The interrupted export has been finished.");
  journal.Remove();
  return true;
}

}  // namespace velmaris
