// Configured packers: a pack command, an unpack command and a signature that
// recognises the packer's archives. The global packer list serves the tosser
// and the unpack jobs (which packer made this archive, unpack it) and the
// scanner (pack a packet into a bundle).
//
// An unpack command whose first word is "Integrated" and whose second is
// UnZIP, UnARC, UnARJ, UnLHA or UnRAR (without case) runs the integrated
// extractor (Unpacker.h); anything else is an external program. External
// programs are started without a shell: the configured command line is split
// into words (quotes honoured) and the archive and file names are added as
// words of their own, so blanks and characters such as "^" in them are kept
// as they are.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Job.h"
#include "core/PubLst.h"
#include "core/WinRegistry.h"

namespace velmaris {

// What an integrated extraction tells besides its result.
struct TUnpackNotes {
  // Given by the caller: the output limits of the extraction (0: none), see
  // TUnBase::SetSizeLimits.
  uint64_t MaxEntrySize = 0;
  uint64_t MaxTotalSize = 0;
  // Given by the caller: the error boxes are kept in HeldBoxes, not shown.
  bool HoldErrorBoxes = false;
  // Given by the caller: how the extraction starts its waiting thread (see
  // TVUPProgress::StartThread).
  TThreadStarter StartThread;
  std::vector<std::string> Errors;     // one "file: text" line per error
  // Lines for the log that tell of no error (TVUPProgress::NoteLines).
  std::vector<std::string> Notes;
  std::vector<std::string> HeldBoxes;  // the texts of the boxes held back
  // The errno of a write of our own that failed (disk full, file-size limit,
  // I/O error): the archive is not at fault. 0 when none failed.
  int OutputFailure = 0;
  // The code of the extractor's last error (0: none).
  int LastError = 0;
  // The archive gives (or declares) more than the limits allow;
  // EntryLimitHit: one of its entries does.
  bool SizeLimitHit = false;
  bool EntryLimitHit = false;
  // The unpacked sizes the archive declared for the entries seen.
  uint64_t DeclaredSize = 0;
  // An entry is packed with a method the integrated extractor does not
  // decode: the archive is not known to be damaged, the limit is ours.
  // "<entry>: <method>" of the first such entry (see EUnsupportedMethod in
  // archive/arxBase.h); "" when there was none. LastError is then 25326
  // (ecUnsupportedMethod) unless a later error followed.
  std::string UnsupportedMethod;
};

class TPacker : public TObject {
 public:
  // All eight signature values -1, Offset 0, both commands empty.
  TPacker();

  // The pack command: program and options; the archive and the file are
  // added.
  const std::string& GetPack() const { return pack_; }
  void SetPack(const std::string& command) { pack_ = command; }
  // The unpack command, or "Integrated " + an extractor name.
  const std::string& GetUnPack() const { return unpack_; }
  void SetUnPack(const std::string& command) { unpack_ = command; }

  // Byte offset of the signature in the archive.
  int32_t Offset = 0;
  // Expected bytes at Offset .. Offset + 7; -1 = any byte. An index outside
  // 0..7 raises EListIndexError.
  int32_t GetSignature(int index) const;
  void SetSignature(int index, int32_t value);

  // True when the 8 bytes at Offset of the open file fit the signature. A
  // file shorter than Offset + 8 never matches. The file position is not
  // moved.
  bool MatchesHandle(int fd) const;

  // The integrated extractor the unpack command names (TExtractKind), or -1
  // for an external unpacker.
  int IntegratedKind() const;
  // Bit 2 (value 4): the unpacker takes long file names (an integrated
  // extractor). External unpackers get no such bit; the tosser copies a
  // bundle to a plain name before it calls one.
  unsigned GetLongNameFlags() const;

  // Extracts the archive into destDir: with the integrated extractor, or by
  // running the unpack command with the archive added (relative to destDir,
  // its output to the log, as Pack runs its program), in destDir. True on
  // success (extractor result 0, exit code 0). A failing program brings the
  // warning "Problems occured when unpacking <archive> ." with Abort, Retry
  // and Ignore: Retry runs it again, Abort and Ignore give false. A program
  // that cannot be started gives the error "Could not start unpacker:<cmd>"
  // and false. Safe to call from any thread; extractions are serialised.
  // With keepExisting the integrated extractor writes an entry whose name is
  // taken beside it under a free name (TVUPProgress::KeepExisting); notes,
  // when given, receives its error lines (an external program's: why it had
  // to be ended) and whether our own writing failed.
  bool Unpack(const std::string& archive, const std::string& destDir, bool keepExisting = false,
              TUnpackNotes* notes = nullptr);

  // Packs fileName into archive (created or added to) with the pack command;
  // the program runs in fileName's directory and gets the archive's path
  // relative to it and the file's bare name, so the archive holds the name
  // without directories. What the program writes on its standard output and
  // error goes to the log (the configuration store's, else standard error),
  // and its temporary files (TMPDIR) go to the folder it runs in. True when
  // the program ended with exit code 0; failures ask "Problems occured when
  // packing <file> ." (Abort, Retry, Ignore; the file as PackedFileShownName
  // gives it) or report "Could not start packer:<cmd>", as Unpack does.
  // Why the packing went otherwise than asked (the program had to be ended,
  // arc's own test failed and the file was added again stored) goes into
  // *notes when given, else to the log.
  bool Pack(const std::string& archive, const std::string& fileName,
            std::vector<std::string>* notes = nullptr);

  // Registry form below one key: "Pack", "UnPack", "Offset" and "Signature"
  // (binary, eight signed 32-bit little-endian values). The name belongs to
  // the list (TPckList).
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;

 private:
  std::string pack_, unpack_;
  std::array<int32_t, 8> signature_;
};

// A packet is packed in a folder of our own beside its bundle,
// "<dir>/.pack-<packet>.XXXXXX/"; the mark its name begins with.
inline constexpr const char* kPackFolderMark = ".pack-";
// The name a file is shown by: one in such a folder as the outbound lists
// it, "<dir>/<packet>"; any other as it is.
std::string PackedFileShownName(const std::string& file);

// How long an external packer or unpacker may run. One that has not ended
// by then (it hangs, or left a program that holds its output) is ended with
// every program it started, the log says so, and its run fails without the
// question to try again: it would hold the export or the import, and the
// mail locks, as long. Ten minutes unless set.
std::chrono::milliseconds PackerRunLimit();
void SetPackerRunLimit(std::chrono::milliseconds limit);

// The short form of a path handed to external programs. Linux has no
// separate short names: the name comes back unchanged.
std::string GetShortFileName(const std::string& name);

// The unpack commands of the integrated extractors, as the properties window
// offers them: "Integrated UnZIP", "Integrated UnARJ", "Integrated UnARC",
// "Integrated UnLHA", "Integrated UnRAR".
const std::vector<std::string>& IntegratedUnpackCommands();

// The five standard packers with command lines for the Debian tools (zip,
// arj, arc, jlha from jlha-utils, rar). Tools are named by the binary their
// package installs: "lha" is an alternative that may point at lhasa, which
// cannot pack.
struct TStandardPacker {
  const char* name;    // "ARJ", "LHArc", "PKZip", "PKArc", "RAR"
  const char* pack;    // e.g. "zip -j -q"
  const char* unpack;  // "Integrated UnZIP", ...
  int32_t offset;
  std::array<int32_t, 8> signature;
};
const std::vector<TStandardPacker>& StandardPackers();
// The standard packer of that name (without case); null when there is none.
const TStandardPacker* FindStandardPacker(const std::string& name);
std::unique_ptr<TPacker> MakeStandardPacker(const TStandardPacker& standard);

class TPckList : public TTypedList<TPacker> {
 public:
  TPckList() = default;
  ~TPckList() override;

  TPacker* GetPacker(int index) const { return GetItem(index); }
  // The packer stored under the name (without case), null when none.
  TPacker* PackerByName(const std::string& name) const { return FindByName(name); }
  // Adds an entry. The list keeps the packer alive until the list ends,
  // also after the entry was deleted or the list reloaded, since a worker
  // may still be using it.
  TPacker* AddPacker(const std::string& name, std::unique_ptr<TPacker> packer);

  // The first packer in list order whose signature matches, null when none.
  TPacker* FindPackerForHandle(int fd) const;
  // Opens the file read-only; null when it is no regular file or cannot be
  // opened, else FindPackerForHandle.
  TPacker* FindPackerForFile(const std::string& fileName) const;

  // Adds the standard packers whose names are not in the list yet, in the
  // table's order; returns how many were added.
  int AddStandardPackers();
  // Makes the packer of that standard name use its integrated extractor,
  // adding the standard packer first when the list has none of that name.
  // Returns the packer; null for a name that is not a standard one.
  TPacker* ActivateIntegrated(const std::string& standardName);

  // Replaces the entries by those below section ("Packers"): "Count"
  // (default 0), then each "Packer<n>" with "Name" (default "?").
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  // Writes "Packer<n>" ("Name", "Pack", "UnPack", "Offset", "Signature") for
  // every entry, then "Count".
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;

 private:
  std::vector<std::unique_ptr<TPacker>> owned_;
};

}  // namespace velmaris
