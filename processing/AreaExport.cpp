#include "processing/AreaExport.h"

#include <algorithm>
#include <optional>

#include "core/ByteOrder.h"
#include "core/ConfigStore.h"
#include "core/NetLink.h"
#include "core/Settings.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "processing/ExportJournal.h"

namespace velmaris {
namespace {

constexpr size_t kAttachSubjectMax = 71;

void Tell(const TAreaExportOptions& options, TExportLine kind, const std::string& line) {
  if (options.Problem) options.Problem(kind, line);
}

std::vector<TFidoAddr> OwnAddresses(const TAreaExportOptions& options) {
  if (!options.OwnAddresses.empty()) return options.OwnAddresses;
  std::vector<TFidoAddr> own;
  if (TConfigStore* store = GetConfigStore()) {
    TLinkList& links = store->Uplinks();
    for (int i = 0; i < links.GetCount(); ++i)
      if (const TNetLink* link = links.GetItem(i)) own.push_back(link->SysopAddress.Address());
  }
  return own;
}

bool IsOwnAddress(const TAreaExportOptions& options, const TFidoAddr& address) {
  const auto own = OwnAddresses(options);
  return std::find(own.begin(), own.end(), address) != own.end();
}

std::string ZoneOutboundFor(const TAreaExportOptions& options, int32_t zone) {
  if (options.ZoneOutbound) return options.ZoneOutbound(zone);
  return GetUplinkOutbound(*GetSettings().Snapshot(), zone);
}

void SetupPacket(TOutPacket& packet, const TAreaExportOptions& options) {
  if (options.Clock) packet.Clock = options.Clock;
  if (options.Packer) packet.Packer = options.Packer;
  if (options.PacketProcessorCommand)
    packet.PacketProcessorCommand = options.PacketProcessorCommand;
}

// Records every stage of the packet in the journal, with the messages that
// go out in it.
void JournalPacket(TOutPacket& packet, const TAreaExportOptions& options, const TNetLink& link,
                   const TArea& area, std::vector<int> indexes) {
  if (!options.Journal) return;
  packet.OnStage = [&options, &link, &area, indexes](const TOutPacket::Stage& stage) {
    options.Journal->Append(ExportStageRecord(stage, link, area, indexes));
  };
}

// Closes the index with the messages marked Sent; the journal's packet is
// done once the index is safely written. The index is written now even when
// an open message list keeps it loaded after this close.
void CloseExported(TArea& area, const TAreaExportOptions& options) {
  const bool failed = !area.WriteIndexNow();
  area.CloseIndex();
  // The last close tries once more; a held index stays changed.
  if (failed && area.IsIndexChanged()) {
    Tell(options, TExportLine::IndexUnwritten,
         "The index of area " + area.NameInAnsi() +
             " could not be written; the next start marks its exported messages.");
    return;
  }
  if (options.Journal) options.Journal->Append({"done"});
}

std::string Describe(const TArea& area, const TMsgHeader& h) {
  return "message to " + h.ToName.Str() + " (\"" + h.Subject.Str() + "\") in " + area.NameInAnsi();
}

// Runs the export filters on message index: changed flags go into the
// stored header, a deleted message is marked Deleted and stays unsent.
// True when the message is still to be sent.
bool FilterForExport(TArea& area, int index, TMail& mail, const TAreaExportOptions& options) {
  const bool kill = options.Filters->Apply(mail, area, [&options](const std::string& line) {
    Tell(options, TExportLine::FilterFailed, line);
  });
  TMsgHeader header = *area.HeaderPtr(index);
  uint16_t flags = mail.Header.Flags;
  if (kill) flags = static_cast<uint16_t>((flags | MsgFlag::Deleted) & ~MsgFlag::Send);
  if (flags != header.Flags) {
    header.Flags = flags;
    area.SetHeader(index, header);
    mail.Header.Flags = flags;
  }
  return (flags & MsgFlag::Send) != 0;
}

// Reads message index for export: a copy of the stored mail with the flags
// of the index; null when it is not waiting or its body cannot be read.
std::unique_ptr<TMail> ReadWaiting(TArea& area, int index, const TAreaExportOptions& options) {
  if (index < 0 || index >= area.Count) return nullptr;
  const TMsgHeader stored = *area.HeaderPtr(index);
  if (!(stored.Flags & MsgFlag::Send)) return nullptr;
  auto mail = area.ReadMail(index);
  if (!mail || mail->Header.BodyOffset == TMsgHeader::NotStored) {
    Tell(options, TExportLine::Waiting, Describe(area, stored) + " stays waiting: its body cannot be read");
    return nullptr;
  }
  mail->Header.Flags = stored.Flags;
  if (options.Filters && !FilterForExport(area, index, *mail, options)) return nullptr;
  return mail;
}

// The attach of a prepared message: the file is listed only for a message
// composed here that names an existing regular file. The packet's subject
// gets the bare name in the OEM page, the stored one in the ANSI page.
void PrepareAttach(TArea& area, TPreparedExport& p, const TAreaExportOptions& options) {
  TMail& mail = *p.Mail;
  if (!(mail.Header.Flags & MsgFlag::Attach)) return;
  const std::string subject = mail.Header.Subject.Str();
  if (!IsOwnAddress(options, mail.Header.OrigAddr)) {
    Tell(options, TExportLine::NoFile,
         Describe(area, mail.Header) + ": no file attached, the message was not written here");
    return;
  }
  const std::string path = AttachedFile(subject);
  if (path.empty() || !platform::FileExists(path)) {
    Tell(options, TExportLine::NoFile, Describe(area, mail.Header) + ": no file attached, " +
                      (path.empty() ? std::string("no file named") : subject + " is no file"));
    return;
  }
  const std::string bare = platform::NameOf(path);
  std::string wire = platform::PathToOemText(bare);
  std::string stored = platform::LogName(bare);
  if (wire.size() > kAttachSubjectMax) wire.resize(kAttachSubjectMax);
  if (stored.size() > kAttachSubjectMax) stored.resize(kAttachSubjectMax);
  if (!ReplaceBodySubject(mail, wire)) return;
  mail.Header.Subject = stored;
  p.AttachPath = path;
  p.NewSubject = stored;
}

// Message index made ready for a packet: the waiting copy with its attach
// prepared; nothing when it is not waiting or cannot be read.
std::optional<TPreparedExport> PrepareExport(TArea& area, int index,
                                             const TAreaExportOptions& options) {
  auto mail = ReadWaiting(area, index, options);
  if (!mail) return std::nullopt;
  TPreparedExport p;
  p.Index = index;
  p.Mail = std::move(mail);
  PrepareAttach(area, p, options);
  return p;
}

// After the packet is out: the attach goes into the flow file, the stored
// header gets its new subject and Sent.
void Finish(TArea& area, TNetLink& link, const TPreparedExport& p,
            const TAreaExportOptions& options) {
  TMsgHeader& header = *area.HeaderPtr(p.Index);
  if (!p.AttachPath.empty()) {
    try {
      link.AppendToFlowFile(p.AttachPath, false);
      header.Subject = p.NewSubject;
    } catch (const std::exception& e) {
      Tell(options, TExportLine::NoFile, Describe(area, header) + ": the file " + platform::LogName(p.AttachPath) +
                        " could not be listed: " + e.what());
    }
  }
  area.ChangeHeaderFlags(p.Index, MsgFlag::Send, FlagOperation::Clear);
  area.ChangeHeaderFlags(p.Index, MsgFlag::Sent, FlagOperation::Set);
}

// Ends a use of the index in which the export changed nothing: an index
// file that did not exist is not written (nothing to keep), but changes the
// opening made (the marks of the last import) are kept.
void ReleaseUnchanged(TArea& area, bool fileExisted) {
  if (fileExisted && area.IsIndexChanged()) {
    area.CloseIndex();
  } else {
    area.ReleaseIndex();
  }
}

bool IndexFileExists(const TArea& area) {
  return platform::FileExists(area.FilePath(".PackedIndex"));
}

// Opens the index for an export; a damaged one is left alone, since the
// Sent marks could not be stored and the messages would go out again.
bool OpenForExport(TArea& area, const TAreaExportOptions& options) {
  if (!area.OpenIndex()) return false;
  if (area.IndexDamage.empty()) return true;
  Tell(options, TExportLine::Waiting,
       "Area " + area.NameInAnsi() + " is not exported: " + area.IndexDamage);
  area.ReleaseIndex();
  return false;
}

}  // namespace

std::string AttachedFile(const std::string& subject) {
  const std::string path = platform::AnsiToUtf8(subject);
  if (platform::FileExists(path) || !platform::FileExists(subject)) return path;
  return subject;
}

std::optional<std::string> AttachSubject(const std::string& path, std::string& why) {
  const std::optional<std::string> stored = platform::FromUtf8Exact(path, platform::AnsiCodePage());
  if (!stored || !platform::PathToOem(platform::NameOf(path))) {
    why = "The file " + platform::LogName(path) +
          " cannot be attached: its name holds letters the code page lacks.";
    return std::nullopt;
  }
  if (stored->size() > kAttachSubjectMax) {
    why = "The file " + *stored + " cannot be attached: its path is longer than " +
          std::to_string(kAttachSubjectMax) + " characters.";
    return std::nullopt;
  }
  return stored;
}

bool ReplaceBodySubject(TMail& mail, const std::string& subject) {
  const std::string& body = mail.Body;
  size_t at = MailBodyOffset::ToName;
  for (int name = 0; name < 3; ++name) {
    const size_t end = body.find('\0', at);
    if (end == std::string::npos) return false;
    at = end + 1;
  }
  const size_t toEnd = body.find('\0', MailBodyOffset::ToName);
  const size_t fromEnd = body.find('\0', toEnd + 1);
  const size_t textStart = std::max<size_t>(at, mail.Header.TextOffset);
  if (textStart > body.size()) return false;
  std::string fresh = body.substr(0, fromEnd + 1);
  fresh += subject;
  fresh += '\0';
  const size_t textOffset = fresh.size();
  if (textOffset > 0xFFFF) return false;
  fresh.append(body, textStart, std::string::npos);
  mail.Body = std::move(fresh);
  mail.Header.TextOffset = static_cast<uint16_t>(textOffset);
  mail.Header.BodyLength = static_cast<uint32_t>(mail.Body.size());
  mail.Header.Subject = subject;
  return true;
}

bool ExportMessage(TArea& area, int index, TOutPacket& packet,
                   std::vector<TPreparedExport>& prepared, const TAreaExportOptions& options) {
  auto ready = PrepareExport(area, index, options);
  if (!ready) return false;
  TPreparedExport& p = *ready;
  if (area.AreaType == AreaTypeCode::Echomail && area.Uplink &&
      p.Mail->Body.size() >= MailBodyOffset::Date) {
    const TFidoAddr own = area.Uplink->SysopAddress.Address();
    const TFidoAddr boss = area.Uplink->UplinkAddress.Address();
    PutLE16At(p.Mail->Body, MailBodyOffset::OrigNode, own.Node);
    PutLE16At(p.Mail->Body, MailBodyOffset::OrigNet, own.Net);
    PutLE16At(p.Mail->Body, MailBodyOffset::DestNode, boss.Node);
    PutLE16At(p.Mail->Body, MailBodyOffset::DestNet, boss.Net);
  }
  packet.AddMail(p.Mail.get());
  prepared.push_back(std::move(p));
  return true;
}

int ExportToUplink(TArea& area, const TAreaExportOptions& options) {
  if (area.Uplink == nullptr) return 0;
  const bool existed = IndexFileExists(area);
  if (!OpenForExport(area, options)) return 0;
  TNetLink& link = *area.Uplink;
  const TFidoAddr own = link.SysopAddress.Address();
  TOutPacket packet;
  packet.Uplink = &link;
  SetupPacket(packet, options);
  std::vector<TPreparedExport> prepared;
  const bool opened = area.OpenBody();
  for (int i = 0; i < area.Count; ++i) {
    const TMsgHeader& h = *area.HeaderPtr(i);
    if ((h.Flags & MsgFlag::Send) && !(h.Flags & MsgFlag::Crash) && h.OrigAddr == own)
      ExportMessage(area, i, packet, prepared, options);
  }
  if (opened) area.CloseBody();
  if (prepared.empty()) {
    ReleaseUnchanged(area, existed);
    return 0;
  }
  std::vector<int> indexes;
  for (const auto& p : prepared) indexes.push_back(p.Index);
  JournalPacket(packet, options, link, area, std::move(indexes));
  const TPacketWriteResult result = packet.WritePacket(true);
  if (!result.Ok) {
    Tell(options, TExportLine::Waiting,
         std::to_string(prepared.size()) + " messages of area " + area.NameInAnsi() +
             " stay waiting: " + result.Error);
    packet.ClearQueue();
    ReleaseUnchanged(area, existed);
    return 0;
  }
  // How a packed packet was packed (arc's own test failed and it was added
  // again stored) is told, no failure; one listed unpacked is.
  for (const std::string& note : result.PackNotes) Tell(options, TExportLine::Note, note);
  if (!result.PackFailure.empty()) Tell(options, TExportLine::Unpacked, result.PackFailure);
  for (const auto& p : prepared) Finish(area, link, p, options);
  CloseExported(area, options);
  return static_cast<int>(prepared.size());
}

bool ExportCrash(TArea& area, int index, const TAreaExportOptions& options) {
  auto ready = PrepareExport(area, index, options);
  if (!ready) return false;
  TPreparedExport& p = *ready;
  const TFidoAddr dest = p.Mail->Header.DestAddr;
  TNetLink link(ZoneOutboundFor(options, dest.Zone));
  link.Name = "Crash " + FidoAddressToStr(dest);
  link.SysopAddress.SetAddress(p.Mail->Header.OrigAddr);
  link.UplinkAddress.SetAddress(dest);
  link.UsePacker = false;
  TOutPacket packet;
  packet.Uplink = &link;
  SetupPacket(packet, options);
  packet.AddMail(p.Mail.get());
  JournalPacket(packet, options, link, area, {index});
  const TPacketWriteResult result = packet.WritePacket(false);
  if (!result.Ok) {
    Tell(options, TExportLine::Waiting, Describe(area, p.Mail->Header) + " stays waiting: " + result.Error);
    return false;
  }
  Finish(area, link, p, options);
  return true;
}

int ExportDirect(TArea& area, const TAreaExportOptions& options) {
  const bool existed = IndexFileExists(area);
  if (!OpenForExport(area, options)) return 0;
  int count = 0;
  const bool opened = area.OpenBody();
  for (int i = 0; i < area.Count; ++i) {
    const uint16_t flags = area.HeaderPtr(i)->Flags;
    if ((flags & MsgFlag::Send) && (flags & MsgFlag::Crash) && ExportCrash(area, i, options))
      ++count;
  }
  if (opened) area.CloseBody();
  if (count == 0) {
    ReleaseUnchanged(area, existed);
  } else {
    CloseExported(area, options);
  }
  return count;
}

}  // namespace velmaris
