// The export's records in its run journal (core/RunJournal.h), so that a
// process killed at any moment neither leaves a packet unlisted in the
// outbound directory nor sends an area's messages twice.
//
// Per packet:
//   "packet PKT FLOW"                      the file is about to be made
//   "export PKT BUNDLE PACKER OUTBOUND UPLINK DIR FILE INDEX..."
//                                          the packet is written and synced,
//                                          the bundle chosen ("" when listed
//                                          bare), and these messages of the
//                                          area go out with it
//   "done"                                 the packet is listed and the
//                                          messages are marked Sent
// Recovery (RecoverExportJournal) finishes what an "export" record began:
// unless the bundle holds the packet already, the packet is packed into its
// bundle as the writer packs (PackIntoBundle: into a checked copy) or
// listed bare, the bundle listed when it is not, and the messages marked
// Sent; the folder a packing cut off left beside the bundle is removed. A "packet" without its "export" is removed unless
// its flow file lists it: its messages are still waiting and go out with
// the next export.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/RunJournal.h"
#include "processing/OutPacket.h"

namespace velmaris {

class TArea;
class TNetLink;

// The record of a stage of an area's packet to the link.
TRunJournal::Record ExportStageRecord(const TOutPacket::Stage& stage, const TNetLink& link,
                                      const TArea& area, const std::vector<int>& indexes);

// Runs after the configuration is loaded (the packers are needed) and
// before anything changes the areas (the records name messages by position).
// The file serial is raised above every name the journal records; before
// the journal goes, keepSerials (when given) stores the serials with the
// configuration, so that a run cut off after this one, before it saves them
// itself, still names no packet as the recovered run did (a name used again
// would replace that packet in the day's bundle). A keepSerials that fails
// leaves the journal for the next start.
bool RecoverExportJournal(const std::string& journalPath, std::vector<std::string>* log = nullptr,
                          const std::function<bool()>& keepSerials = {});

}  // namespace velmaris
