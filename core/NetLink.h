// Uplinks: the boss nodes through which the point exchanges mail. Each
// uplink knows its address and the point's own address under it, the
// passwords for packets, sessions and the two area robots, the robots' names
// and the layout of their area lists, the mailbox that is called to reach it,
// the packer for outgoing bundles and the outbound directory that holds its
// packets, bundles and flow file.
//
// Threads: uplinks are changed on the main thread; the scanner and the
// mailer read them from their own threads. The outbound directory is the one
// field the scanner's run may recompute while others read it, so it is kept
// under a lock of its own. Flow files are changed only under FlowFileMutex().
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/FidoAddress.h"
#include "core/PubLst.h"

namespace velmaris {

class SettingsValues;
class TWinRegistry;

// A flow file that cannot be written, or a file name that cannot be listed
// in one.
class EFlowFile : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One line of a flow file: a file to send, and whether it is deleted once
// sent.
struct TFlowEntry {
  std::string FileName;
  bool DeleteAfterSending = false;
};

// The one process-wide lock under which flow files are changed: the scanner
// appends while the mailer takes sent files out. Whoever reads, rewrites or
// appends to a flow file holds it for the whole operation. It is recursive,
// so a caller holding it may still call TNetLink::AppendToFlowFile.
std::recursive_mutex& FlowFileMutex();

// The base name of a system's outbound files: net and node as four
// upper-case hexadecimal digits each ("139C0412" for net 5020, node 1042;
// zone and point play no part).
std::string FlowBaseName(const TFidoAddr& address);
// FlowBaseName and ".flo" (2:5020/1 gives "139C0001.flo").
std::string FlowFileName(const TFidoAddr& address);

// The outbound directory of a zone, without touching the disk: the main
// outbound directory for the own zone, otherwise the main directory's path
// without its trailing "/", ".", the zone as three upper-case hexadecimal
// digits and "/" (zone 1 beside a zone-2 ".../Outbound/" is
// ".../Outbound.001/"). An empty main directory gives "".
std::string ZoneOutbound(const std::string& mainOutbound, int32_t ownZone, int32_t zone);

// The outbound directory an uplink in the zone uses: ZoneOutbound, created
// with its parents when missing; when it cannot be made, the main outbound
// directory.
std::string GetUplinkOutbound(const std::string& mainOutbound, int32_t ownZone, int32_t zone);
// The same with the main outbound directory and the own zone of the settings.
std::string GetUplinkOutbound(const SettingsValues& settings, int32_t zone);

class TNetLink : public TObject {
 public:
  // Defaults of a new uplink (and of values missing from the registry).
  static constexpr const char* kDefaultName = "Heaven";
  static constexpr const char* kDefaultSysop = "Jon Doe";
  static constexpr const char* kDefaultAddress = "0:8/15";

  // Sets the outbound directory through SetOutbound; everything else takes
  // the defaults: no mailbox (-1), no packer, robot names "AreaFix" and
  // "FileScan", addresses 0:8/15.
  explicit TNetLink(const std::string& outbound = {});
  ~TNetLink() override = default;
  TNetLink(const TNetLink&) = delete;
  TNetLink& operator=(const TNetLink&) = delete;

  // --- Identity -----------------------------------------------------------
  std::string Name = kDefaultName;    // display name; also its name in the list
  TFidonetAddress UplinkAddress;      // the boss node
  std::string Sysop = kDefaultSysop;  // the user's name towards this uplink
  TFidonetAddress SysopAddress;       // the point's own address at this uplink

  // --- Passwords ------------------------------------------------------------
  std::string Password;          // written into packets
  std::string SessionPassword;   // of the mailer session
  std::string AreaFixPassword;   // put into AreaFix requests
  std::string FileScanPassword;  // put into FileScan requests

  // --- Area robots and the layout of their area lists -----------------------
  std::string AFReceiver = "AreaFix";      // AreaFix requests go to this name
  std::string AFSender = "AreaFix";        // sender of AreaFix's area lists
  int32_t AFNameO = 3;                     // column where the area name starts
  int32_t AFDescO = 41;                    // column where the description starts
  int32_t AFDescL = 0;                     // row of the description, -5 .. 5 from the name
  std::vector<std::string> AreaFixTitles;  // subjects of AreaFix's area lists
  std::string FSReceiver = "FileScan";
  std::string FSSender = "FileScan";
  int32_t FSNameO = 1;
  int32_t FSDescO = 2;
  int32_t FSDescL = 1;
  std::vector<std::string> FileScanTitles;

  // --- Calling and packing --------------------------------------------------
  int32_t Mailbox = -1;    // index in the mailbox list; -1 none
  bool UsePacker = false;  // pack outgoing packets into bundles
  std::string Packer;      // name of the packer in the packer list

  // --- Outbound -------------------------------------------------------------
  // The path without one trailing "/" is tested: an existing directory is
  // taken as given; a missing one is created with its parents and taken
  // when that worked. An empty path, or one that could not be created,
  // leaves the uplink without an outbound directory (""). Callers pass paths
  // that end in "/".
  void SetOutbound(const std::string& path);
  // The outbound directory, "" when none; safe from any thread.
  std::string Outbound() const;

  // The flow file of this uplink in its outbound directory: an existing one
  // whose name matches without regard to case, else FlowFileName of the
  // uplink address. "" without an outbound directory.
  std::string FlowFilePath() const;

  // Appends one line to the flow file, creating it when missing: the file's
  // fully expanded path, preceded by "^" when the file is to be deleted once
  // sent; lines end in CR LF. Runs under FlowFileMutex() and syncs the file
  // before it returns. Returns the flow file's path. Raises EFlowFile when
  // the uplink has no outbound directory, the name is empty or holds a line
  // break or NUL, or the flow file cannot be written (a line is then either
  // added whole or not at all).
  std::string AppendToFlowFile(const std::string& fileName, bool deleteAfterSending);
  // Appends several lines in one write: all of them are added, or none.
  std::string AppendToFlowFile(const std::vector<TFlowEntry>& entries);

  // --- Registry ---------------------------------------------------------------
  // The values below section ("Uplinks\Uplink<n>"); missing values take the
  // defaults above, an address that does not parse keeps its value, and both
  // title lists are replaced by the stored ones.
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;

 private:
  mutable std::mutex outboundMutex_;
  std::string outbound_;
};

// The uplink list. It keeps every uplink it was given through the
// unique_ptr adders alive until it is destroyed itself, so an uplink taken
// out with Delete stays valid for the areas that still point at it.
class TLinkList : public TTypedList<TNetLink> {
 public:
  using TTypedList<TNetLink>::Add;  // (name, uplink): the caller keeps ownership
  // Adds the uplink under its Name (or under the given name); returns it.
  TNetLink* Add(std::unique_ptr<TNetLink> link);
  TNetLink* Add(const std::string& name, std::unique_ptr<TNetLink> link);

  // Recomputes the outbound directory of every uplink, in list order, from
  // the zone of its uplink address (GetUplinkOutbound, then SetOutbound).
  void UpdateOutbounds(const std::string& mainOutbound, int32_t ownZone);
  void UpdateOutbounds(const SettingsValues& settings);

  // Replaces the entries by those stored below section ("Uplinks"): "Count"
  // (default 0), then each "Uplink<n>" made with the main outbound directory
  // and added under its name. When none is stored, the list gets the default
  // uplink "Da Boss!!!" (sysop "Me", both addresses 0:8/15).
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section,
                        const std::string& mainOutbound);
  // Writes every uplink to section + "\Uplink<n>", then "Count".
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;

 private:
  std::vector<std::unique_ptr<TNetLink>> owned_;
};

}  // namespace velmaris
