// One file arriving from a remote system into the inbound directory.
//
// The protocols hand over the remote's name as the disk takes it: UTF-8 as
// sent when it is valid UTF-8, else read in the OEM page
// (platform/WireName.h); the checks below apply to that name.
// The remote's name is used only when it is a bare file name: not empty,
// "." or "..", no "/" or "\", no drive (":"), no control characters; full
// stops inside it ("v1..2.zip") are letters like any other. A name longer than
// the file system takes is never refused for that: it is cut at a whole
// letter, its extension kept (InboundName), and the session log names the
// name it was offered under. The file is written under a
// temporary name made of its date and size as eight hexadecimal digits
// each, the name and ".Transmission", so a call cut in the middle leaves a
// partial file that the next offer of the same file (same date, size and
// name) resumes. Where the whole name leaves no room for that, the
// temporary name holds its beginning, cut at a whole letter, and the CRC-32
// of the whole name instead (TransmissionName): a name the file system takes
// is received whole, and a cut name's partial file is resumed only by an
// offer of the name it was cut from. Only a complete file gets its own
// name, by a rename that never overwrites: when the name is taken, or is
// one the tosser keeps for itself ("Backup", ...), the next free one of
// "BASE.0001.EXT", "BASE.0002.EXT", ... is used, its base cut at a whole
// letter where the number would make the name too long.
//
// Limits: no more bytes than announced; a file offered without a size may
// grow only while the disk keeps its reserve free, and its partial file is
// removed when the transfer fails (nothing could resume it).
//
// What the session log should say about the file (a name taken, a file
// shorter than announced) collects in the notes, whole log lines with their
// remote names escaped. Why the file was refused or stopped (no room on the
// disk, a size out of range, more bytes than announced) is its failure, one
// such line: the remote keeps the file, and the call has not brought it.
//
// States: closed -> open [Start] -> closed [Finish: renamed | Keep: the
// partial file stays for resume, or goes when its size is unknown].
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "processing/Tosser.h"  // kInboundDiskReserve, RenameToFreeInboundName

namespace velmaris {

using platform::kMaxFileNameBytes;

// Largest size a remote may announce (the protocols' sizes are 32-bit).
constexpr int64_t kMaxInboundSize = 0x7FFFFFFF;

// Longest name an incoming file may have: what the file system takes.
constexpr size_t kMaxInboundName = kMaxFileNameBytes;

// The name when it is safe to use in a directory of ours (a bare name, see
// above), whatever its length, else nothing.
std::optional<std::string> SafeRemoteName(std::string_view offered);
// The name a file offered by a remote mailer is stored under: a safe name,
// cut to kMaxInboundName as platform::FitFileName cuts; nothing for an
// unsafe one. `note` gets the session log's line: why the name was refused,
// or the name a cut one was offered under; empty when there is nothing to
// say.
std::optional<std::string> InboundName(std::string_view offered, std::string& note);
// "<date as 8 hex>.<size as 8 hex>.<name>.Transmission"; where that would be
// longer than a file name may be, the name's beginning (cut at a whole
// letter), "~" and the CRC-32 of the whole name in eight hexadecimal digits
// stand for it.
std::string TransmissionName(int64_t unixDate, int64_t size, const std::string& name);
// The first of name, name_1, name_2, ... (before the extension) that does not
// exist in dir, cut so that it stays within kMaxFileNameBytes (the name
// itself too, as platform::FitFileName cuts).
std::string NextFreeName(const std::string& dir, const std::string& name);

class TInboundFile {
 public:
  enum class Result { Created, Resumed, Refused, Failed };
  ~TInboundFile() { Keep(); }

  // The free space of a directory (tests give a small disk).
  std::function<uint64_t(const std::string& dir)> FreeSpace = platform::FreeSpace;

  // Opens the temporary file for name (already checked) in dir; a negative
  // size: offered without one. A size above kMaxInboundSize, or more than
  // the disk has free, is Refused; Failed when the file cannot be made.
  // `why` says what went wrong. `offered`: the name as the remote offered
  // it where name is cut from it (InboundName); the temporary name is made
  // of that one.
  Result Start(const std::string& dir, const std::string& name, int64_t size, int64_t unixDate,
               std::string& why, const std::string& offered = {});
  bool IsOpen() const { return fd_.ok(); }
  int64_t Position() const { return pos_; }
  // Appends at Position(); false on a write error, beyond the announced
  // size, or (size unknown) where the disk's reserve begins.
  bool Write(std::string_view data);
  // The file is complete: date set, synced, renamed to its own name (or the
  // next free one). Returns that name; nothing when the rename failed (the
  // temporary file then stays).
  std::optional<std::string> Finish();
  // Closes the file and leaves it under its temporary name; one of unknown
  // size is removed instead.
  void Keep();
  const std::string& TempPath() const { return temp_; }
  const std::string& Name() const { return name_; }
  // Lines for the session log since the last call.
  std::vector<std::string> TakeNotes();
  // The log line saying why the file was refused (Start) or stopped
  // (Write); empty when it was not, or when it has been taken.
  std::string TakeFailure();

 private:
  bool HasRoomFor(size_t bytes);

  platform::Fd fd_;
  std::string dir_, name_, temp_;
  int64_t pos_ = 0, date_ = 0, size_ = -1;  // size_ -1: unknown
  std::vector<std::string> notes_;
  std::string failure_;
};

// The offers a receiver refused in one session. A sender that offers a
// refused file again and again would keep the call going for ever, and it
// may change the date, the size or the name with every offer. So refusals
// are counted by name alone (letter case ignored, cut to kMaxFileNameBytes)
// and in all: an offer of a name already refused kMaxRefusals times, or any
// offer once kMaxTotal offers have been refused, ends the session. At most
// kMaxTotal names are kept, so the memory stays the same however many
// offers come.
class TRefusedOffers {
 public:
  static constexpr int kMaxRefusals = 3;
  static constexpr int kMaxTotal = 32;

  // True when the session ends rather than take this offer.
  bool Exhausted(std::string_view name) const;
  // Counts one refusal of an offer of the name.
  void Refused(std::string_view name);
  // The session log's line that ends the session over an offer of the name.
  std::string EndLine(std::string_view name) const;

 private:
  static std::string Key(std::string_view name);
  int RefusalsOf(std::string_view name) const;
  std::vector<std::pair<std::string, int>> names_;  // key, refusals
  int total_ = 0;
};

}  // namespace velmaris
