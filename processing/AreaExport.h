// Export of an area's waiting messages (flag Send): to the area's uplink, as
// one packet in the uplink's outbound directory (packed into the day's
// bundle and listed in its flow file), or, for crash mail, each message in
// a packet of its own for its destination.
//
// A message is marked Sent (Send cleared) only when its packet was written
// and listed; when the write fails it keeps Send and the reason goes to
// the problem list. A file attach lists the file named in the subject in
// the flow file only for a message composed here (its origin is one of the
// point's own addresses) that names an existing regular file; the subject
// then becomes the bare file name. Echomail leaves with the origin net and
// node of the uplink's own address and the destination net and node of the
// uplink.
//
// The caller holds the area's exclusive lock.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Area.h"
#include "core/FidoAddress.h"
#include "processing/OutPacket.h"

namespace velmaris {

class TRunJournal;
// The export filters as the area export runs them. A filter may change the
// message's flags (the stored header follows); Apply returns true when the
// message is to be deleted instead of sent. log takes the lines of the run's
// log (why a filter could not act).
class TExportFilters {
 public:
  virtual ~TExportFilters() = default;
  virtual void ResetMatches() {}
  virtual bool Apply(TMail& mail, TArea& area,
                     const std::function<void(const std::string&)>& log) = 0;
};

// What a line of the export's log tells of.
enum class TExportLine {
  Note,            // how it went, no failure (arc's test failed, the packet was added again stored)
  Waiting,         // messages stay waiting: a packet, an area or a body could not be written or read
  NoFile,          // a message went out without the file it attaches
  Unpacked,        // the packer failed: a packet is listed unpacked
  FilterFailed,    // an export filter could not do its work (save to a file, run its program)
  IndexUnwritten,  // an area's index could not be written after its export
};
constexpr int kExportLineKinds = 6;

struct TAreaExportOptions {
  // The point's own addresses (messages composed here). Empty: the own
  // addresses of the configured uplinks.
  std::vector<TFidoAddr> OwnAddresses;
  // The outbound directory for a destination zone (crash mail). Unset: the
  // configured one (GetUplinkOutbound of the settings).
  std::function<std::string(int32_t zone)> ZoneOutbound;
  // Passed to every packet writer when set.
  std::function<TDateTime()> Clock;
  TBundlePacker Packer;
  std::function<std::string()> PacketProcessorCommand;
  // Receives the lines the export's log gets beside its counts: every
  // message that stays waiting or whose file was not attached, and why, a
  // packet listed unpacked, a filter that could not act, and how a packet
  // was packed (a Note, no failure).
  std::function<void(TExportLine kind, const std::string& line)> Problem;
  // The export's run journal (processing/ExportJournal.h); none when null.
  TRunJournal* Journal = nullptr;
  // Run on every message read for export; none when null.
  TExportFilters* Filters = nullptr;
};

// A message prepared for a packet: the copy that goes out and what is to be
// done to the stored one once the packet is out.
struct TPreparedExport {
  int Index = -1;
  std::unique_ptr<TMail> Mail;  // the copy handed to the packet
  std::string AttachPath;       // the file to list, "" for none
  std::string NewSubject;       // the stored subject afterwards ("" keeps it)
};

// The messages with Send and without Crash whose origin is the own address
// of the area's uplink go into one packet for that uplink. The number of
// messages exported (marked Sent). Nothing waiting: no file is written,
// the index is not written either.
int ExportToUplink(TArea& area, const TAreaExportOptions& options = {});
// Every message with Send and Crash in a packet of its own for its
// destination; the number exported.
int ExportDirect(TArea& area, const TAreaExportOptions& options = {});

// Prepares message index for the uplink's packet and adds it to the packet;
// false when it is not waiting or cannot be read.
bool ExportMessage(TArea& area, int index, TOutPacket& packet,
                   std::vector<TPreparedExport>& prepared, const TAreaExportOptions& options);
// Exports one crash message in a packet of its own; true when it was sent.
bool ExportCrash(TArea& area, int index, const TAreaExportOptions& options);

// The file an attach subject names: the subject is message text (the ANSI
// page), the file is looked up under the file system's bytes, or under the
// subject's bytes as they stand when only they name a file.
std::string AttachedFile(const std::string& subject);
// The subject that attaches a file (its path on disk) in the ANSI page;
// nothing, with why set (ANSI text), when the page cannot hold the path, the
// OEM page cannot hold the bare name the packet carries, or the path is
// longer than a subject holds.
std::optional<std::string> AttachSubject(const std::string& path, std::string& why);

// The body with another subject (the three names rebuilt, the text moved);
// TextOffset and BodyLength of the header follow. False for a body that does
// not hold the names and the text.
bool ReplaceBodySubject(TMail& mail, const std::string& subject);

}  // namespace velmaris
