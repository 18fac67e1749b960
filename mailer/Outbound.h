// Failures in mailer/: a flow or request file that cannot be read or
// rewritten raises EFlowFile with the reason; a directory that cannot be read
// lists nothing. A session reports into its log.
//
// The outbound directory: what a poll sends.
//
// Layout. The main outbound directory (the settings' outbound directory,
// ending in "/") holds the flow and request files of systems in the default
// zone; every other zone has a directory beside it named like the main one
// with "." and the zone as three hexadecimal digits ("Outbound.003/").
// Points have no directory of their own: a system's files are named after
// net and node only, four hexadecimal digits each, with ".flo" for the flow
// file and ".req" for the request file. Peers write these names in either
// case, so every name is matched without case.
//
// Flow files are plain text, one entry per line, lines ended by CR LF (a
// bare LF is read too). An entry is the path of a file to send; its first
// character may say what happens once the file has been sent:
//   "^"  delete the file            "#"  truncate it to zero bytes
//   "~", "!"  the line is no entry (already done, or a comment)
// Anything else is part of the path, blanks included; empty lines are
// ignored. Whatever reads or changes a flow file holds FlowFileMutex().
//
// Nothing here opens a window: the mailer window shows the list and asks the
// user through the RetryPrompt it passes in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/FidoAddress.h"
#include "core/NetLink.h"  // EFlowFile, FlowFileMutex, FlowBaseName

namespace velmaris {

class SettingsValues;

// Bounds on what is read from a flow file. A longer line is no entry; a
// larger file is neither offered nor rewritten (the scan reports it).
inline constexpr std::size_t kMaxFlowLineLength = 4096;
inline constexpr std::size_t kMaxFlowFileSize = 1u << 20;
// At most this many entries of one flow file are offered per scan.
inline constexpr std::size_t kMaxFlowEntries = 10000;

// --- Flow-file lines ------------------------------------------------------

// What becomes of a listed file once it has been sent.
enum class FlowAction {
  Keep,      // no prefix: send it, leave it alone
  Delete,    // "^"
  Truncate,  // "#"
  Skip,      // "~" or "!": not an entry
  Refused,   // too long, a CR or NUL inside, or nothing after the prefix
};

struct FlowLine {
  std::string text;  // the line as it stands, without its line end
  FlowAction action = FlowAction::Keep;
  std::string path;  // the path after the prefix; empty for Skip and Refused
};

// Splits flow-file bytes into lines (CR LF or LF; a last line may lack its
// end) and reads each line's prefix. Empty lines are left out. Never fails:
// a line it cannot use comes back as Refused, with its text kept so that a
// rewrite copies it unchanged.
std::vector<FlowLine> ParseFlowFile(std::string_view bytes);
// One line (without its line end).
FlowLine ParseFlowLine(std::string_view text);

// The path made absolute against the current directory, "." and ".."
// resolved as text; how listed paths are compared. Case counts.
std::string ExpandFlowPath(const std::string& path);

// The new contents of a flow file without the entries whose path expands to
// the same as `path`: every other non-empty line is copied unchanged and
// ended by CR LF. `removed` receives the actions of the lines taken out.
// `hasEntries` tells whether anything other than "~"/"!" lines is left.
struct FlowRewrite {
  std::string contents;
  std::vector<FlowAction> removed;
  bool hasEntries = false;
};
FlowRewrite FlowFileWithout(std::string_view bytes, const std::string& path);

// --- Names ----------------------------------------------------------------

// The net and node of a flow or request file's name: exactly eight
// hexadecimal digits of either case before the extension. False otherwise.
bool ParseFlowBaseName(std::string_view fileName, uint16_t& net, uint16_t& node);
// The zone of a zone outbound directory's name: its extension of exactly
// three hexadecimal digits (either case). False otherwise.
bool ParseZoneExtension(std::string_view dirName, uint16_t& zone);

// --- Entries of the outbound list -----------------------------------------

// Kind texts as shown in the list; kind codes order the list.
inline constexpr const char* kKindMailPacket = "Mail packet";
inline constexpr const char* kKindMailBundle = "Mail bundle";
inline constexpr const char* kKindAttachedFile = "Attached file";
inline constexpr const char* kKindTicFile = "TIC File";
inline constexpr const char* kKindRequestFile = "Request file";

// The kind code of a kind text (0 packet, 1 bundle, 2 attached file, 3 TIC
// or request file, 4 any other) and its image index in the list view.
int32_t OutboundKindCode(std::string_view kindText);
int32_t OutboundKindImage(std::string_view kindText);
// The kind text of a listed path by the extension of its name: ".PKT"
// packet, ".TIC" TIC file, an extension whose second and third characters
// are a day (MO TU WE TH FR SA SU) bundle, anything else attached file.
const char* ClassifyOutboundPath(std::string_view path);

// One file to send.
struct TFileInfo {
  TFidoAddr Address;     // the destination system (no point)
  std::string Path;      // as listed, without its prefix
  std::string FileName;  // the name part of Path
  int64_t Size = 0;      // bytes; always above 0 in the list
  std::string KindText;
  int32_t Kind = 4;
  bool DeleteAfterSending = false;       // "^" (always for request files)
  FlowAction Action = FlowAction::Keep;  // as listed when scanned
  std::string FlowFile;                  // the flow file that lists it; "" for a request file
  bool IsRequest = false;                // a request file found in the outbound

  std::string AddressText() const { return FidoAddressToStr(Address); }
  // The list view's further columns: address, size + " Bytes", kind, path.
  std::string SizeText() const { return std::to_string(Size) + " Bytes"; }
};

// Asked when a flow file cannot be rewritten: the warning text; true to try
// again, false to give up (the flow file is then left as it is).
using RetryPrompt = std::function<bool(const std::string& warning)>;

// The warnings, worded as the user has always seen them.
std::string FlowOpenWarning(const std::string& flowFile, const std::string& path,
                            const std::string& addressText);
std::string FlowUpdateWarning(const std::string& newFile, const std::string& path,
                              const std::string& addressText);

// What happened to a file after it left the outbound.
struct SentResult {
  bool flowUpdated = false;              // its lines are out of the flow file (or it had none)
  FlowAction action = FlowAction::Keep;  // what was done to the file itself
  bool fileActionFailed = false;         // deleting or truncating it failed
};

class TOutbound {
 public:
  // mainOutbound ends in "/"; defaultZone is the settings' zone.
  TOutbound(std::string mainOutbound, int32_t defaultZone);
  explicit TOutbound(const SettingsValues& settings);

  const std::string& MainOutbound() const { return main_; }
  int32_t DefaultZone() const { return zone_; }

  // The directories of the scan, each ending in "/": the main outbound, then
  // every existing zone outbound (any case of the name, extension of three
  // hexadecimal digits), ordered by zone.
  struct Directory {
    std::string path;
    uint16_t zone = 0;
  };
  std::vector<Directory> OutboundDirectories() const;

  // Rebuilds the list: every flow file of every directory, then every
  // request file. Problems (unreadable or oversized flow files, refused
  // lines, names that are no net and node) are collected in Problems().
  void ScanOutbound();
  // Reads one flow file of a directory and adds its entries.
  void ClassifyOutboundFile(const Directory& dir, const std::string& flowName);
  // Adds one entry from its listed line (prefix included); false when it is
  // not added: no entry, or not an existing regular file with data.
  bool AddOutboundFile(const TFidoAddr& address, const std::string& listed,
                       const std::string& kindText, const std::string& flowFile = {});

  const std::vector<TFileInfo>& Entries() const { return entries_; }
  const std::vector<std::string>& Problems() const { return problems_; }
  void Clear();

  // The directory that holds the destination's flow and request files.
  std::string DirectoryOf(const TFidoAddr& address) const;
  // The destination's flow files there: every name that is its base name +
  // ".flo" without regard to case; "" entries never.
  std::vector<std::string> FlowFilesOf(const TFidoAddr& address) const;

  // Takes every line naming `path` out of the destination's flow files (the
  // user removed the entry from the list); the file itself stays. A request
  // file (".req", any case) is left alone. The rewrite is crash-safe: a new
  // file is written, synced and renamed over the old one, which is kept as
  // name + ".Old"; a flow file with no entries left is removed (renamed to
  // name + ".Old"). When it cannot be read or rewritten, `retry` is asked;
  // giving up leaves the flow file as it is and raises EFlowFile.
  void RemoveFromFlowFile(const TFidoAddr& address, const std::string& path,
                          const RetryPrompt& retry = {});

  // After a file has really been sent: a request file is deleted; any other
  // is taken out of its flow file, and then, only when that worked, deleted
  // or truncated as the removed lines said ("^" delete, "#" truncate; a
  // plain line anywhere keeps it; truncate wins over delete). A file that
  // is no longer listed is not touched.
  SentResult FileSent(const TFileInfo& entry, const RetryPrompt& retry = {});

  // The user removed the entry: a request file is deleted, any other file
  // only leaves its flow file.
  void RemoveOutboundEntry(const TFileInfo& entry, const RetryPrompt& retry = {});

 private:
  SentResult RewriteFlowFile(const std::string& flowFile, const TFidoAddr& address,
                             const std::string& path, const RetryPrompt& retry);

  std::string main_;
  int32_t zone_;
  std::vector<TFileInfo> entries_;
  std::vector<std::string> problems_;
};

}  // namespace velmaris
