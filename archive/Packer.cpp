#include "archive/Packer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/Unpacker.h"
#include "core/ConfigStore.h"
#include "core/TextHelpers.h"
#include "platform/Ascii.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Prompter.h"

namespace velmaris {

using platform::MsgButton;
using platform::MsgKind;

namespace {

// More entries than any configuration holds; a larger stored count is
// damage.
constexpr int32_t kMaxStoredPackers = 1000;
constexpr size_t kSignatureBytes = 32;

using platform::EqualNoCase;

MsgButton AskOnMainThread(MsgKind kind, const std::string& text, platform::MsgButtons buttons) {
  MsgButton answer = platform::mbNone;
  platform::GetDispatcher().Send(
      [&] { answer = platform::GetPrompter().Ask(kind, text, buttons); });
  return answer;
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) return path;
  return p.lexically_normal().string();
}

// The path as the program that runs in workDir (the current folder when
// empty) reaches it: relative to that folder, so that no length of the
// folders above counts (arc refuses an archive name over 84 characters).
// The absolute path where no relative one can be made.
// Taken between the folders as they are on disk: ".." of a folder reached
// through a symbolic link is the parent of the folder it points to.
std::string PathFrom(const std::string& workDir, const std::string& path) {
  std::error_code ec1, ec2;
  const std::filesystem::path target = std::filesystem::weakly_canonical(AbsolutePath(path), ec1);
  const std::filesystem::path base =
      std::filesystem::weakly_canonical(AbsolutePath(workDir.empty() ? "." : workDir), ec2);
  if (ec1 || ec2) return AbsolutePath(path);
  const std::filesystem::path rel = target.lexically_relative(base);
  if (rel.empty()) return AbsolutePath(path);
  return rel.string();
}

// The program's words go to the log (on the main thread, as the store's
// other lines do), one line each, never to our own standard output (the
// batch driver's lines are there). Returns the last of them, as logged
// after the program's name ("" when it said nothing).
std::string LogProgramOutput(const std::string& program, const std::string& output) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < output.size()) {
    size_t end = output.find_first_of("\r\n", at);
    if (end == std::string::npos) end = output.size();
    // A progress count that steps back over itself is shown as it ends.
    std::string line;
    for (size_t i = at; i < end; ++i) {
      if (output[i] != '\b')
        line += output[i];
      else if (!line.empty())
        line.pop_back();
    }
    at = end + 1;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    // Its words are its own (UTF-8 from most programs): converted into
    // the log's page.
    if (!line.empty())
      lines.push_back(program + ": " +
                      platform::EscapeControls(platform::LineText(line, platform::LinePage::Ansi)));
  }
  if (lines.empty()) return {};
  platform::GetDispatcher().Send([&lines] {
    for (const std::string& text : lines) {
      if (TConfigStore* store = GetConfigStore())
        store->Log(text);
      else
        std::cerr << "velmaris: " << text << std::endl;
    }
  });
  return lines.back().substr(program.size() + 2);
}

// A word that a program would take for an option is made a relative path.
std::string NotAnOption(const std::string& name) {
  return !name.empty() && name[0] == '-' ? "./" + name : name;
}

std::atomic<int64_t> gRunLimitMs{10 * 60 * 1000};  // relaxed: a setting, read once per run

std::string Duration(std::chrono::milliseconds d) {
  if (d.count() % 1000 == 0) return std::to_string(d.count() / 1000) + " seconds";
  return std::to_string(d.count()) + " ms";
}

// A line of the log, as the program's words go there.
void LogLine(const std::string& text) {
  platform::GetDispatcher().Send([&text] {
    if (TConfigStore* store = GetConfigStore())
      store->Log(text);
    else
      std::cerr << "velmaris: " << text << std::endl;
  });
}

// Why a packing went as it did: into the caller's notes when it keeps
// them (its log shows them beside the outcome), else into the log.
void Note(const std::string& text, std::vector<std::string>* notes) {
  if (notes)
    notes->push_back(text);
  else
    LogLine(text);
}

// Runs the program once, its words to the log; the exit code. A program
// that does not end within the run limit is ended with every program it
// started (*timedOut set, and why in the notes); one that ends with another
// code than 0 leaves that code and its last words in the notes. Raises
// EProcess when it cannot be started.
int RunLogged(const std::vector<std::string>& argv, const std::string& workDir, bool serialise,
              bool* timedOut, std::vector<std::string>* notes) {
  int code = -1, signal = 0;
  std::string output;
  const std::chrono::milliseconds limit = PackerRunLimit();
  RunAndWait([&] {
    std::unique_lock<std::mutex> lock;
    if (serialise) lock = std::unique_lock(ExtractionLock());
    // Its temporary files go to the folder it works in: arc cuts a
    // longer TMPDIR short and fails.
    code = platform::Process::RunCaptured(argv, workDir, &output, {"TMPDIR=."}, 65536, limit,
                                          timedOut, &signal);
  });
  const std::string program = platform::LogName(platform::NameOf(argv[0]));
  const std::string last = LogProgramOutput(program, output);
  const std::string said = last.empty() ? std::string(", saying nothing") : ": " + last;
  if (*timedOut)
    Note(program + " did not end within " + Duration(limit) +
             ": it has been ended, with every program it started.",
         notes);
  else if (signal != 0)
    Note(program + " was ended by " + platform::SignalText(signal) + said, notes);
  else if (code != 0)
    Note(program + " ended with exit code " + std::to_string(code) + said, notes);
  return code;
}

// arc 5.21 writes squeezed data that it cannot read back: its own test says
// the entry "fails CRC check" (and other readers fail on it), though the
// data decode. The uplink reads our bundle with its arc.
bool IsArcProgram(const std::vector<std::string>& argv) {
  return !argv.empty() && EqualNoCase(platform::NameOf(argv[0]), "arc");
}

// Whether arc's own test passes on the archive; its words go to the log
// only when it fails.
bool ArcTestPasses(const std::string& program, const std::string& archive,
                   const std::string& workDir) {
  int code = -1;
  bool timedOut = false;
  std::string output;
  try {
    RunAndWait([&] {
      code = platform::Process::RunCaptured({program, "t", archive}, workDir, &output, {"TMPDIR=."},
                                            65536, PackerRunLimit(), &timedOut);
    });
  } catch (const platform::EProcess&) {
    return false;
  }
  if (code == 0 && !timedOut) return true;
  LogProgramOutput(platform::NameOf(program), output);
  return false;
}

// After arc packed file into the archive (argv: the pack command, then the
// archive and the file): an archive that fails arc's own test gets the
// file again, stored (arc's "s"), and is tested again. False, with the
// reason in the log, when it still fails: the file is then not packed.
bool ArcPassesItsOwnTest(const std::vector<std::string>& argv, const std::string& workDir,
                         const std::string& shownFile, std::vector<std::string>* notes) {
  const std::string& archive = argv[argv.size() - 2];
  if (ArcTestPasses(argv[0], archive, workDir)) return true;
  const std::string file = platform::LogName(platform::NameOf(shownFile));
  Note("arc's own test fails on the bundle " + platform::LogName(platform::NameOf(archive)) +
           " after packing " + file +
           " (arc writes squeezed data it cannot read back); it is added again stored.",
       notes);
  std::vector<std::string> stored = argv;
  if (stored[1].find_first_of("sS") == std::string::npos) stored[1] += 's';
  bool timedOut = false;
  int code = -1;
  try {
    code = RunLogged(stored, workDir, false, &timedOut, notes);
  } catch (const platform::EProcess&) {
    code = -1;
  }
  if (code == 0 && !timedOut && ArcTestPasses(argv[0], archive, workDir)) return true;
  Note("The bundle " + platform::LogName(platform::NameOf(archive)) +
           " still fails arc's own test: " + file + " is not packed into it.",
       notes);
  return false;
}

// Runs the program and asks what to do while it fails. The question offers
// Abort, Retry and Ignore; only Retry runs it again. A program that had to
// be ended is no question: it would hold the caller (and the mail locks)
// again.
bool RunWithRetry(const std::vector<std::string>& argv, const std::string& workDir, bool serialise,
                  const std::string& command, const char* startError, const std::string& problem,
                  std::vector<std::string>* notes = nullptr) {
  for (;;) {
    int code = -1;
    bool timedOut = false;
    try {
      code = RunLogged(argv, workDir, serialise, &timedOut, notes);
    } catch (const platform::EProcess& e) {
      // Said where the program's own words go (the log, standard error)
      // and in the caller's notes, not only in a box nobody may see.
      using platform::LinePage;
      using platform::LineText;
      const std::string why = startError + LineText(command, LinePage::Ansi) + " (" +
                              LineText(e.what(), LinePage::Ansi) + ")";
      LogLine(why);
      if (notes) notes->push_back(why);
      AskOnMainThread(MsgKind::Error,
                      startError + LineText(command, LinePage::Utf8) + " (" +
                          LineText(e.what(), LinePage::Utf8) + ")",
                      platform::mbOk);
      return false;
    }
    if (timedOut) return false;
    if (code == 0) return true;
    const MsgButton answer = AskOnMainThread(
        MsgKind::Warning, problem, platform::mbAbort | platform::mbRetry | platform::mbIgnore);
    if (answer != platform::mbRetry) return false;
  }
}

}  // namespace

// ---------------------------------------------------------------------------

std::chrono::milliseconds PackerRunLimit() {
  return std::chrono::milliseconds(gRunLimitMs.load(std::memory_order_relaxed));
}

void SetPackerRunLimit(std::chrono::milliseconds limit) {
  gRunLimitMs.store(limit.count(), std::memory_order_relaxed);
}

TPacker::TPacker() { signature_.fill(-1); }

int32_t TPacker::GetSignature(int index) const {
  if (index < 0 || index > 7)
    throw EListIndexError("List index out of bounds (" + std::to_string(index) + ")");
  return signature_[static_cast<size_t>(index)];
}

void TPacker::SetSignature(int index, int32_t value) {
  if (index < 0 || index > 7)
    throw EListIndexError("List index out of bounds (" + std::to_string(index) + ")");
  signature_[static_cast<size_t>(index)] = value;
}

bool TPacker::MatchesHandle(int fd) const {
  if (fd < 0 || ::lseek(fd, 0, SEEK_CUR) < 0) return false;
  if (Offset < 0) return false;
  uint8_t buf[8];
  if (!platform::PReadAll(fd, buf, sizeof buf, static_cast<uint64_t>(Offset))) return false;
  for (size_t i = 0; i < 8; ++i) {
    if (signature_[i] != -1 && signature_[i] != buf[i]) return false;
  }
  return true;
}

int TPacker::IntegratedKind() const {
  std::string rest = unpack_, first, second;
  CutFirstWordOrQuoted(rest, first);
  if (!EqualNoCase(first, "Integrated")) return -1;
  CutFirstWordOrQuoted(rest, second);
  for (int kind = ekUnZIP; kind <= ekUnRAR; ++kind) {
    if (EqualNoCase(second, ExtractKindName(kind))) return kind;
  }
  return -1;
}

unsigned TPacker::GetLongNameFlags() const { return IntegratedKind() >= 0 ? 4u : 0u; }

bool TPacker::Unpack(const std::string& archive, const std::string& destDir, bool keepExisting,
                     TUnpackNotes* notes) {
  const std::string name = (GetLongNameFlags() & 4u) ? archive : GetShortFileName(archive);
  const int kind = IntegratedKind();
  if (kind >= 0) {
    TVUPProgress progress;
    progress.KeepExisting = keepExisting;
    if (notes) {
      progress.MaxEntrySize = notes->MaxEntrySize;
      progress.MaxTotalSize = notes->MaxTotalSize;
      progress.HoldErrorBoxes = notes->HoldErrorBoxes;
      progress.StartThread = notes->StartThread;
    }
    const int result = progress.Extract(kind, name, destDir);
    if (notes) {
      notes->Errors = progress.ErrorLines();
      notes->Notes = progress.NoteLines();
      notes->HeldBoxes = progress.HeldErrorBoxes();
      notes->OutputFailure = progress.OutputFailure();
      notes->LastError = result;
      notes->SizeLimitHit = progress.SizeLimitHit();
      notes->EntryLimitHit = progress.EntryLimitHit();
      notes->DeclaredSize = progress.DeclaredSize();
      notes->UnsupportedMethod = progress.UnsupportedMethod();
    }
    return result == 0;
  }
  std::vector<std::string> argv = platform::SplitCommandLine(unpack_);
  if (!destDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(destDir, ec);
  }
  if (!argv.empty()) argv.push_back(NotAnOption(PathFrom(destDir, name)));
  return RunWithRetry(argv, destDir, true, unpack_,
                      "Could not start unpacker:", "Problems occured when unpacking " + name + " .",
                      notes ? &notes->Errors : nullptr);
}

bool TPacker::Pack(const std::string& archive, const std::string& fileName,
                   std::vector<std::string>* notes) {
  const std::string arc = GetShortFileName(archive);
  const std::string file = GetShortFileName(fileName);
  std::string dir, base = file;
  const size_t slash = file.find_last_of('/');
  if (slash != std::string::npos) {
    dir = slash == 0 ? "/" : file.substr(0, slash);
    base = file.substr(slash + 1);
  }
  std::vector<std::string> argv = platform::SplitCommandLine(pack_);
  if (!argv.empty()) {
    argv.push_back(NotAnOption(PathFrom(dir, arc)));
    argv.push_back(NotAnOption(base));
  }
  const bool packed =
      RunWithRetry(argv, dir, false, pack_, "Could not start packer:",
                   "Problems occured when packing " + PackedFileShownName(file) + " .", notes);
  if (!packed || !IsArcProgram(argv) || argv.size() < 4) return packed;
  return ArcPassesItsOwnTest(argv, dir, PackedFileShownName(file), notes);
}

void TPacker::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  pack_ = registry.ReadCommandLine(section, "Pack", "");
  unpack_ = registry.ReadCommandLine(section, "UnPack", "");
  Offset = registry.ReadInteger(section, "Offset", 0);
  signature_.fill(-1);
  uint8_t raw[kSignatureBytes];
  const size_t n = registry.ReadBinary(section, "Signature", raw, sizeof raw);
  for (size_t i = 0; i + 4 <= n; i += 4) signature_[i / 4] = static_cast<int32_t>(GetLE32(raw + i));
}

void TPacker::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  registry.WriteString(section, "Pack", pack_);
  registry.WriteString(section, "UnPack", unpack_);
  registry.WriteInteger(section, "Offset", Offset);
  uint8_t raw[kSignatureBytes];
  for (size_t i = 0; i < 8; ++i) {
    const uint32_t v = static_cast<uint32_t>(signature_[i]);
    raw[i * 4] = uint8_t(v);
    raw[i * 4 + 1] = uint8_t(v >> 8);
    raw[i * 4 + 2] = uint8_t(v >> 16);
    raw[i * 4 + 3] = uint8_t(v >> 24);
  }
  registry.WriteBinary(section, "Signature", raw, sizeof raw);
}

// ---------------------------------------------------------------------------

std::string GetShortFileName(const std::string& name) { return name; }

std::string PackedFileShownName(const std::string& file) {
  const std::string dir = platform::DirOf(file);
  if (dir.size() < 2) return file;
  const std::string folder = platform::NameOf(dir.substr(0, dir.size() - 1));
  const std::string name = platform::NameOf(file);
  const std::string start = kPackFolderMark + name + ".";
  if (folder.size() != start.size() + 6 || !folder.starts_with(start)) return file;
  return platform::DirOf(dir.substr(0, dir.size() - 1)) + name;
}

const std::vector<std::string>& IntegratedUnpackCommands() {
  static const std::vector<std::string> commands = {"Integrated UnZIP", "Integrated UnARJ",
                                                    "Integrated UnARC", "Integrated UnLHA",
                                                    "Integrated UnRAR"};
  return commands;
}

const std::vector<TStandardPacker>& StandardPackers() {
  constexpr int32_t X = -1;
  static const std::vector<TStandardPacker> table = {
      {"ARJ", "arj a -e -y", "Integrated UnARJ", 0, {0x60, 0xEA, X, X, X, X, X, X}},
      {"LHArc", "jlha aq", "Integrated UnLHA", 0, {X, X, '-', 'l', 'h', X, '-', X}},
      {"PKZip", "zip -j -q", "Integrated UnZIP", 0, {'P', 'K', X, X, X, X, X, X}},
      {"PKArc", "arc an", "Integrated UnARC", 0, {0x1A, X, X, X, X, X, X, X}},
      {"RAR", "rar a -ep -y -idq", "Integrated UnRAR", 0, {'R', 'a', 'r', X, X, X, X, X}},
  };
  return table;
}

const TStandardPacker* FindStandardPacker(const std::string& name) {
  for (const auto& s : StandardPackers())
    if (EqualNoCase(s.name, name)) return &s;
  return nullptr;
}

std::unique_ptr<TPacker> MakeStandardPacker(const TStandardPacker& standard) {
  auto packer = std::make_unique<TPacker>();
  packer->SetPack(standard.pack);
  packer->SetUnPack(standard.unpack);
  packer->Offset = standard.offset;
  for (int i = 0; i < 8; ++i) packer->SetSignature(i, standard.signature[size_t(i)]);
  return packer;
}

// ---------------------------------------------------------------------------

TPckList::~TPckList() = default;

TPacker* TPckList::AddPacker(const std::string& name, std::unique_ptr<TPacker> packer) {
  TPacker* raw = packer.get();
  owned_.push_back(std::move(packer));
  AddObject(name, raw);
  return raw;
}

TPacker* TPckList::FindPackerForHandle(int fd) const {
  for (int i = 0; i < GetCount(); ++i) {
    TPacker* packer = GetItem(i);
    if (packer && packer->MatchesHandle(fd)) return packer;
  }
  return nullptr;
}

TPacker* TPckList::FindPackerForFile(const std::string& fileName) const {
  platform::Fd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.ok()) return nullptr;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  return FindPackerForHandle(fd.get());
}

int TPckList::AddStandardPackers() {
  int added = 0;
  BeginUpdate();
  for (const auto& standard : StandardPackers()) {
    if (PackerByName(standard.name)) continue;
    AddPacker(standard.name, MakeStandardPacker(standard));
    ++added;
  }
  EndUpdate();
  return added;
}

TPacker* TPckList::ActivateIntegrated(const std::string& standardName) {
  const TStandardPacker* standard = FindStandardPacker(standardName);
  if (!standard) return nullptr;
  TPacker* packer = PackerByName(standard->name);
  if (!packer) packer = AddPacker(standard->name, MakeStandardPacker(*standard));
  packer->SetUnPack(standard->unpack);
  return packer;
}

void TPckList::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  // Read everything first, so that a faulty value leaves the list as it was.
  std::vector<std::pair<std::string, std::unique_ptr<TPacker>>> loaded;
  const int32_t count = std::clamp(registry.ReadInteger(section, "Count", 0), 0, kMaxStoredPackers);
  for (int32_t n = 1; n <= count; ++n) {
    const std::string key = section + "\\Packer" + std::to_string(n);
    auto packer = std::make_unique<TPacker>();
    packer->LoadFromRegistry(registry, key);
    loaded.emplace_back(registry.ReadString(key, "Name", "?"), std::move(packer));
  }
  BeginUpdate();
  Clear();
  for (auto& [name, packer] : loaded) AddPacker(name, std::move(packer));
  EndUpdate();
}

void TPckList::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  int n = 0;
  for (int i = 0; i < GetCount(); ++i) {
    const TPacker* packer = GetItem(i);
    if (!packer) continue;
    const std::string key = section + "\\Packer" + std::to_string(++n);
    registry.WriteString(key, "Name", GetString(i));
    packer->SaveToRegistry(registry, key);
  }
  registry.WriteInteger(section, "Count", n);
  registry.DeleteEntriesBeyond(section, "Packer", n);
}

}  // namespace velmaris
