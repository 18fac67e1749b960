// Failures in platform/: a service that cannot do its work raises the named
// exception of its header (EFile, ERegistry, EProcess) with the path and the
// system's error text. Outcomes that are no failure are return values: a
// missing name (nullopt), a name in the way (false), the end of a file (a
// short count, errno 0). Nothing in this layer shows a message.
//
// File helpers. Peers write names in any case ("*.pkt", "*.PKT"), so lookups
// and scans compare names without case; writes that replace a file go through
// a temporary file, fsync and rename.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace velmaris::platform {

// The longest file name the file system takes, in bytes.
inline constexpr size_t kMaxFileNameBytes = 255;

class EFile : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// DOS wildcards: "*" any run, "?" one character; compared without case
// (ASCII). As on DOS, a pattern ending in ".*" also matches names without
// an extension ("*.*" matches every name, "FOO.*" matches "foo").
bool WildcardMatch(std::string_view pattern, std::string_view name);
// The matching of archive file masks: "*" and "?" count on both
// sides (a stored name may hold them too), without case. With fileNamesOnly
// both sides are reduced to their file name parts (after "/" or "\"). A name
// without "." matches a pattern holding ".*" as if it ended in ".*"; a
// trailing "." on either side is ignored.
bool MutualWildcardMatch(std::string_view pattern, std::string_view name, bool fileNamesOnly);

// The name of the entry in dir that equals name without case (the exact name
// first); nothing when there is none.
std::optional<std::string> FindNoCase(const std::string& dir, const std::string& name);

struct DirEntry {
  std::string name;
  bool isDir = false;
  uint64_t size = 0;
  int64_t mtime = 0;  // seconds since 1970
};

// The entries of dir whose names match the wildcard pattern, sorted by name;
// "." and ".." are left out. A missing directory gives an empty list.
std::vector<DirEntry> ScanDir(const std::string& dir, std::string_view pattern = "*",
                              bool files = true, bool dirs = false);

// Anything under that name: a file, a folder, another kind of node, a link
// (also one whose target is not there).
bool PathExists(const std::string& path);
bool FileExists(const std::string& path);  // a regular file
bool DirExists(const std::string& path);
// Whether two paths name one file or folder: where both exist, the same
// device and inode (links followed, so a link to a folder and the folder
// are one); else the same absolute spelling.
bool SamePlace(const std::string& a, const std::string& b);
// The length of the longest beginning of path that names something on disk:
// the whole path when it exists (a dangling link too), else the longest part
// up to and including a "/" that is an existing folder; 0 when none is (a
// relative path is looked up from the current folder).
size_t ExistingPrefixLength(std::string_view path);
// Creates the directory and its parents; raises EFile when it cannot.
void MakeDirs(const std::string& path);
// Removes the folder when it holds nothing; true when it is gone.
bool RemoveDirIfEmpty(const std::string& path);

std::string ReadFile(const std::string& path);  // raises EFile
// Writes the whole file through a temporary name, fsync and rename, then
// fsyncs the directory. The file keeps the mode of the one it replaces (a new
// one gets 0644). On failure the old file is untouched and the temporary file
// is removed; raises EFile.
void WriteFileAtomic(const std::string& path, std::string_view data);
// fsyncs `from`, renames it over `to` and fsyncs the directory.
void ReplaceFile(const std::string& from, const std::string& to);
// Renames without ever overwriting: false when `to` exists (a file or a
// directory). Uses renameat2(RENAME_NOREPLACE); where the file system lacks
// it, link and unlink. Other failures raise EFile.
bool RenameNoReplace(const std::string& from, const std::string& to);
// Moves a file to a name that must not exist, also onto another file system
// (copied whole, synced, then the old name removed): false when `to`
// exists. Raises EFile; the file then stays at `from` (a copy already made
// at `to` is removed again).
bool MoveFileNoReplace(const std::string& from, const std::string& to);
void FsyncPath(const std::string& path);  // a file or a directory
// Bytes free for an unprivileged user on the file system of path.
uint64_t FreeSpace(const std::string& path);

// Path pieces with "/" separators. An empty directory is the current one:
// JoinPath("", n) is n, WithSlash("") is "", DirOf("a.pkt") is "".
std::string JoinPath(const std::string& dir, const std::string& name);
std::string DirOf(const std::string& path);         // with trailing "/"
std::string NameOf(const std::string& path);        // after the last "/"
// head + mark + tail as one file name (UTF-8): where it would be longer than
// kMaxFileNameBytes, the end of head (or, with no head left, of tail) gives
// way to the mark, cut at a whole letter. The cut part then loses the full
// stops and blanks it ends in, unless it holds nothing else: a cut never
// leaves a name ending in one, nor one beside the mark's or the extension's
// full stop.
std::string FitFileName(std::string head, const std::string& mark, std::string tail);
// A whole name (UTF-8) as a file may have it: where it is longer than
// kMaxFileNameBytes, its base is cut at a whole letter and its extension
// (from the last full stop) kept, as FitFileName cuts; an extension that
// would leave no letter of the base is no extension, and the name is cut at
// its end.
std::string FitFileName(const std::string& name);
// The path itself when nothing is there, else the first free name beside it
// with "~" and a number before the extension ("x.pkt" becomes "x~1.pkt"),
// cut as FitFileName cuts so that the number stays; "" when none is free.
// Used wherever an output must not replace what is there: an archive entry
// whose name a cut made equal to another's.
std::string FreeNameBeside(const std::string& path);
std::string WithSlash(const std::string& dir);      // adds a trailing "/"
std::string WithoutSlash(const std::string& path);  // drops one trailing "/"

// A path as a setting or a field holds it. A file-name edit used to put a
// path with a blank in double quotes, and earlier versions stored it so: a
// value that names nothing on disk loses one pair of enclosing quotes (and
// the blanks around them). A value that names something is kept as it is.
std::string UnquotedPath(const std::string& value);
// The value without one pair of enclosing double quotes (and the blanks
// around them); the value as it is when it has none.
std::string WithoutEnclosingQuotes(const std::string& value);

// A file or folder name as a setting stores it, read for this run: the file
// system's bytes. A value that is valid UTF-8 stays; otherwise what of it
// names something on disk (a relative value looked up from startDir, the
// current folder when startDir is empty) is kept byte for byte, and the
// rest, which names nothing yet, is read part by part (DiskNameText): only
// the parts that are not UTF-8 are read in the ANSI page. A value in
// enclosing quotes that names nothing as it stands is judged without them;
// the quotes stay.
std::string StoredPathOnDisk(const std::string& value, const std::string& startDir);
// A command line as a setting stores it, read for this run word by word
// (blanks and quotes as SplitCommandLine reads them): each word as
// StoredPathOnDisk judges a path, a run of unquoted words that names an
// existing file as it stands (a program path with blanks) kept whole.
// Blanks and quotes stay where they are. A value longer than 32767 bytes
// (no command line is) stays as it is.
std::string StoredCommandLine(const std::string& value, const std::string& startDir);

// An open file descriptor, closed at the end of its scope.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Gives up the descriptor without closing it.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor now; false (errno set) when close() fails.
  bool Close();

 private:
  int fd_ = -1;
};

// A file mapped read-only for a scan; empty when it could not be opened or
// mapped (an empty file maps as empty). The mapping stays valid while the
// object lives, whatever happens to the file's name.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  bool ok() const { return ok_; }
  std::string_view View() const { return {static_cast<const char*>(data_), size_}; }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
  bool ok_ = false;
};

// I/O loops that retry after EINTR. ReadSome is one read(): the bytes read,
// 0 at the end of the file, -1 (errno set) on failure. The Full forms go on
// until n bytes, the end of the file or a failure and return the bytes done;
// fewer than n means the end of the file (errno 0) or a failure (errno set;
// EIO when a write makes no progress).
ssize_t ReadSome(int fd, void* buf, size_t n);
size_t ReadFull(int fd, void* buf, size_t n);
size_t PReadFull(int fd, void* buf, size_t n, uint64_t offset);
// Exactly n bytes at offset, or false (the end of the file, or errno set).
bool PReadAll(int fd, void* buf, size_t n, uint64_t offset);
size_t PWriteFull(int fd, const void* data, size_t n, uint64_t offset);
// Writes all of data at the descriptor's position; false (errno set) on failure.
bool WriteAll(int fd, std::string_view data);
// One write() that reports a closed far end of a socket as EPIPE instead of
// raising SIGPIPE (a line on a socket, such as the loopback pair's); other
// descriptors are written as they are.
ssize_t WriteNoSignal(int fd, const void* data, size_t n);

// Waits for fd (or wakeFd, when not -1) to become readable: 1 fd ready, 0
// the limit passed, -1 a failure, -2 wakeFd ready. A negative limit waits
// without one.
int WaitReadable(int fd, int wakeFd, std::chrono::milliseconds limit);

}  // namespace velmaris::platform
