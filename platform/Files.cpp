#include "platform/Files.h"

#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace velmaris::platform {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw EFile(what + " " + path + ": " + std::strerror(err));
}

bool MatchPlain(std::string_view p, std::string_view n) {
  // Greedy match with a single backtrack point: the last "*" seen.
  size_t pi = 0, ni = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || AsciiLower(p[pi]) == AsciiLower(n[ni]))) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      starP = pi++;
      starN = ni;
    } else if (starP != std::string_view::npos) {
      pi = starP + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

std::string FileNamePart(std::string_view s) {
  const auto p = s.find_last_of("/\\");
  return std::string(p == std::string_view::npos ? s : s.substr(p + 1));
}

// "*" and "?" count on both sides. Dynamic programming over the two
// strings, one row at a time: linear in each, whatever the stars.
bool MatchBoth(const std::string& a, const std::string& b) {
  const size_t n = a.size(), m = b.size();
  std::vector<char> next(m + 1), cur(m + 1);
  // Row n: the name is used up; the rest of the pattern must be stars.
  next[m] = 1;
  for (size_t j = m; j-- > 0;) next[j] = b[j] == '*' && next[j + 1];
  for (size_t i = n; i-- > 0;) {
    cur[m] = a[i] == '*' && next[m];
    for (size_t j = m; j-- > 0;) {
      bool r = false;
      if (a[i] == '*') r = next[j] || cur[j + 1];
      if (!r && b[j] == '*') r = cur[j + 1] || next[j];
      if (!r && (a[i] == '?' || b[j] == '?' || AsciiUpper(a[i]) == AsciiUpper(b[j])))
        r = next[j + 1];
      cur[j] = r;
    }
    std::swap(cur, next);
  }
  return next[0];
}

std::string DirForSync(const std::string& path) {
  std::string d = DirOf(path);
  return d.empty() ? std::string(".") : d;
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (MatchPlain(pattern, name)) return true;
  // As on DOS and Windows, a pattern ending in ".*" also matches names
  // without an extension: "*.*" matches "README", "FOO.*" matches "foo".
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos) {
    return MatchPlain(pattern.substr(0, pattern.size() - 2), name);
  }
  return false;
}

bool MutualWildcardMatch(std::string_view patternIn, std::string_view nameIn, bool fileNamesOnly) {
  std::string name = fileNamesOnly ? FileNamePart(nameIn) : std::string(nameIn);
  std::string pattern = fileNamesOnly ? FileNamePart(patternIn) : std::string(patternIn);
  const bool patternDotStar = pattern.find(".*") != std::string::npos;
  if (name.find('.') == std::string::npos) {
    if (patternDotStar) name += ".*";
  } else if (!name.empty() && name.back() == '.') {
    name.pop_back();
  }
  if (!pattern.empty() && pattern.back() == '.') pattern.pop_back();
  if (name.empty() && pattern.empty()) return true;
  if (name.empty()) return pattern[0] == '*';
  if (pattern.empty()) return name[0] == '*';
  return MatchBoth(name, pattern);
}

std::optional<std::string> FindNoCase(const std::string& dir, const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
  struct stat st;
  if (::lstat(JoinPath(dir.empty() ? "." : dir, name).c_str(), &st) == 0) return name;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return std::nullopt;
  std::optional<std::string> best;
  while (dirent* e = ::readdir(d)) {
    std::string_view n = e->d_name;
    if (n == "." || n == "..") continue;
    if (EqualNoCase(n, name) && (!best || n < *best)) best = std::string(n);
  }
  ::closedir(d);
  return best;
}

std::vector<DirEntry> ScanDir(const std::string& dir, std::string_view pattern, bool files,
                              bool dirs) {
  std::vector<DirEntry> out;
  const std::string path = dir.empty() ? std::string(".") : dir;
  DIR* d = ::opendir(path.c_str());
  if (!d) {
    if (errno == ENOENT || errno == ENOTDIR) return out;
    Fail("cannot read directory", path, errno);
  }
  const int dfd = ::dirfd(d);
  while (dirent* e = ::readdir(d)) {
    std::string_view n = e->d_name;
    if (n == "." || n == ".." || !WildcardMatch(pattern, n)) continue;
    struct stat st;
    if (::fstatat(dfd, e->d_name, &st, 0) != 0) continue;  // vanished or a dangling link
    const bool isDir = S_ISDIR(st.st_mode);
    if (isDir ? !dirs : (!files || !S_ISREG(st.st_mode))) continue;
    DirEntry entry;
    entry.name = std::string(n);
    entry.isDir = isDir;
    entry.size = isDir ? 0 : static_cast<uint64_t>(st.st_size);
    entry.mtime = static_cast<int64_t>(st.st_mtime);
    out.push_back(std::move(entry));
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return out;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirExists(const std::string& path) {
  struct stat st;
  return ::stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SamePlace(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(a.empty() ? "." : a.c_str(), &sa) == 0 &&
      ::stat(b.empty() ? "." : b.c_str(), &sb) == 0)
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  const auto spelling = [](const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p(path.empty() ? std::string(".") : path);
    const std::filesystem::path absolute = std::filesystem::absolute(p, ec);
    return WithoutSlash((ec ? p : absolute).lexically_normal().string());
  };
  return spelling(a) == spelling(b);
}

size_t ExistingPrefixLength(std::string_view path) {
  struct stat st;
  const std::string whole(path);
  if (!whole.empty() && ::lstat(whole.c_str(), &st) == 0) return whole.size();
  for (size_t slash = whole.rfind('/'); slash != std::string::npos;
       slash = slash == 0 ? std::string::npos : whole.rfind('/', slash - 1)) {
    if (DirExists(whole.substr(0, slash + 1))) return slash + 1;
  }
  return 0;
}

void MakeDirs(const std::string& path) {
  if (path.empty() || DirExists(path)) return;
  std::string cur;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    cur = path.substr(0, next);
    pos = next + 1;
    if (cur.empty() || cur.back() == '/') continue;
    if (::mkdir(cur.c_str(), 0777) != 0 && errno != EEXIST)
      Fail("cannot create directory", cur, errno);
  }
  if (!DirExists(path)) Fail("cannot create directory", path, ENOTDIR);
}

bool RemoveDirIfEmpty(const std::string& path) {
  return !path.empty() && ::rmdir(path.c_str()) == 0;
}

std::string ReadFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) Fail("cannot open", path, errno);
  std::string data;
  char buf[65536];
  for (;;) {
    const ssize_t n = ReadSome(fd.get(), buf, sizeof buf);
    if (n < 0) Fail("cannot read", path, errno);
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  return data;
}

void WriteFileAtomic(const std::string& path, std::string_view data) {
  // The temporary name is the file's with a dot before and a random part
  // after; a long name is cut (at a whole UTF-8 letter) so that it stays
  // within the 255 bytes a name may have.
  constexpr size_t kAdded = 8;  // "." and ".XXXXXX"
  std::string base = NameOf(path);
  base = std::string(Utf8Prefix(base, kMaxFileNameBytes - kAdded));
  std::string temp = DirOf(path) + "." + base + ".XXXXXX";
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) Fail("cannot create a temporary file for", path, errno);
  auto fail = [&](const char* what) {
    const int err = errno;
    ::close(fd.Release());
    ::unlink(temp.c_str());
    Fail(what, path, err);
  };
  // Keep the mode of the file being replaced; a new file gets rw-r--r--.
  struct stat st;
  const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  if (::fchmod(fd.get(), mode) != 0) fail("cannot set the mode of");
  if (!WriteAll(fd.get(), data)) fail("cannot write");
  if (::fsync(fd.get()) != 0) fail("cannot sync");
  if (::close(fd.Release()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    Fail("cannot write", path, err);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    Fail("cannot replace", path, err);
  }
  FsyncPath(DirForSync(path));
}

void ReplaceFile(const std::string& from, const std::string& to) {
  FsyncPath(from);
  if (::rename(from.c_str(), to.c_str()) != 0) Fail("cannot rename " + from + " to", to, errno);
  FsyncPath(DirForSync(to));
  if (DirForSync(from) != DirForSync(to)) FsyncPath(DirForSync(from));
}

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
  struct stat st;
  try {
    return RenameNoReplace(from, to);
  } catch (const EFile&) {
    if (::lstat(to.c_str(), &st) == 0) return false;
    if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) throw;
  }
  // Another file system: a copy whole, then the old name goes.
  WriteFileAtomic(to, ReadFile(from));
  if (::unlink(from.c_str()) != 0) {
    const int err = errno;
    ::unlink(to.c_str());
    Fail("cannot remove", from, err);
  }
  FsyncPath(DirForSync(from));
  return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) return false;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
    Fail("cannot rename " + from + " to", to, errno);
  }
  // The file system cannot rename exclusively: a hard link fails when the
  // target exists, and the old name goes once the new one is in place.
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) != 0) Fail("cannot remove", from, errno);
    return true;
  }
  if (errno == EEXIST) return false;
  if (errno != EPERM && errno != EOPNOTSUPP && errno != EXDEV)
    Fail("cannot rename " + from + " to", to, errno);
  // No hard links either (FAT and the like): check, then rename. Only a
  // second writer racing for the same name in the same instant can slip in.
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return false;
  if (::rename(from.c_str(), to.c_str()) != 0) Fail("cannot rename " + from + " to", to, errno);
  return true;
}

void FsyncPath(const std::string& path) {
  Fd fd(::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) Fail("cannot open", path, errno);
  if (::fsync(fd.get()) != 0 && errno != EINVAL && errno != EROFS) Fail("cannot sync", path, errno);
}

namespace {

struct statvfs StatDisk(const std::string& path, const char* what) {
  struct statvfs vfs;
  if (::statvfs(path.empty() ? "." : path.c_str(), &vfs) != 0) Fail(what, path, errno);
  return vfs;
}

}  // namespace

uint64_t FreeSpace(const std::string& path) {
  const struct statvfs vfs = StatDisk(path, "cannot query free space of");
  return static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return WithSlash(dir) + name;
}

std::string DirOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

// The part a cut left, without the full stops and blanks it now ends in:
// such an end is no part of the name the sender chose, it would meet the
// extension's (or the mark's) full stop as "..", and a name that ends in one
// is not kept as it stands by DOS and Windows systems (a FAT or SMB inbound,
// a mailer the file goes on to). A part that is nothing else stays as cut.
std::string WithoutCutEnd(std::string_view cut) {
  const size_t keep = cut.find_last_not_of(". ");
  return std::string(keep == std::string_view::npos ? cut : cut.substr(0, keep + 1));
}

}  // namespace

std::string FitFileName(std::string head, const std::string& mark, std::string tail) {
  if (head.size() + mark.size() + tail.size() > kMaxFileNameBytes) {
    const size_t room = kMaxFileNameBytes - std::min(mark.size(), kMaxFileNameBytes);
    if (tail.size() >= room) {
      head.clear();
      tail = WithoutCutEnd(Utf8Prefix(tail, room));
    } else {
      head = WithoutCutEnd(Utf8Prefix(head, room - tail.size()));
    }
  }
  return head + mark + tail;
}

std::string FitFileName(const std::string& name) {
  if (name.size() <= kMaxFileNameBytes) return name;
  // A letter takes at most four bytes.
  constexpr size_t kLetter = 4;
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || name.size() - dot > kMaxFileNameBytes - kLetter)
    return FitFileName(name, "", "");
  return FitFileName(name.substr(0, dot), "", name.substr(dot));
}

std::string FreeNameBeside(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return path;
  const std::string dir = DirOf(path), name = NameOf(path);
  const size_t dot = name.find_last_of('.');
  const bool hasExt = dot != std::string::npos && dot > 0;
  const std::string stem = hasExt ? name.substr(0, dot) : name;
  const std::string ext = hasExt ? name.substr(dot) : std::string();
  for (int n = 1; n < 100000; ++n) {
    // A name at the file system's bound gives the end of its stem to the
    // number.
    const std::string candidate = dir + FitFileName(stem, "~" + std::to_string(n), ext);
    if (::lstat(candidate.c_str(), &st) != 0) return candidate;
  }
  return {};
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutEnclosingQuotes(const std::string& value) {
  const size_t first = value.find_first_not_of(' ');
  const size_t last = value.find_last_not_of(' ');
  if (first == std::string::npos || last - first < 1 || value[first] != '"' || value[last] != '"')
    return value;
  return value.substr(first + 1, last - first - 1);
}

std::string UnquotedPath(const std::string& value) {
  struct stat st;
  if (value.empty() || ::lstat(value.c_str(), &st) == 0) return value;
  return WithoutEnclosingQuotes(value);
}

namespace {

// A stored value as the path it names: a relative one below startDir.
std::string FromStartDir(std::string_view path, const std::string& startDir) {
  if (path.empty() || path.front() == '/' || startDir.empty()) return std::string(path);
  return WithSlash(startDir) + std::string(path);
}

bool NamesSomething(std::string_view path, const std::string& startDir) {
  struct stat st;
  return !path.empty() && ::lstat(FromStartDir(path, startDir).c_str(), &st) == 0;
}

// How much of a path that is no valid UTF-8 names something on disk (0 when
// nothing below the start folder does).
size_t ExistingLength(std::string_view path, const std::string& startDir) {
  const std::string full = FromStartDir(path, startDir);
  const size_t lead = full.size() - path.size();
  const size_t existing = ExistingPrefixLength(full);
  return existing > lead ? existing - lead : 0;
}

std::string JudgedPath(std::string_view path, const std::string& startDir) {
  if (IsUtf8(path)) return std::string(path);
  const size_t kept = ExistingLength(path, startDir);
  if (kept >= path.size()) return std::string(path);
  return std::string(path.substr(0, kept)) + DiskNameText(path.substr(kept));
}

// The longest command line Windows takes, and the most words a run of
// unquoted words that names a path is looked for in.
constexpr size_t kMaxCommandLine = 32767;
constexpr size_t kMaxRunWords = 64;

}  // namespace

std::string StoredPathOnDisk(const std::string& value, const std::string& startDir) {
  if (IsUtf8(value) || NamesSomething(value, startDir)) return value;
  const std::string inner = WithoutEnclosingQuotes(value);
  if (inner.size() == value.size()) return JudgedPath(value, startDir);
  const size_t open = value.find('"');
  return value.substr(0, open + 1) + JudgedPath(inner, startDir) +
         value.substr(open + 1 + inner.size());
}

std::string StoredCommandLine(const std::string& value, const std::string& startDir) {
  // A line longer than any command line (a damaged value) is left as it is.
  if (IsUtf8(value) || value.size() > kMaxCommandLine) return value;
  const std::vector<CommandLineWord> words = CommandLineWords(value);
  std::string out;
  size_t copied = 0;  // bytes of value already in out
  for (size_t i = 0; i < words.size(); ++i) {
    const CommandLineWord& word = words[i];
    // A path with blanks, unquoted: the longest run of words from here that
    // names something on disk stays as it is (a run longer than a path can
    // be names nothing).
    size_t unquoted = i;
    while (unquoted < words.size() && unquoted - i < kMaxRunWords &&
           words[unquoted].end - word.begin < static_cast<size_t>(PATH_MAX) &&
           !words[unquoted].quoted)
      ++unquoted;
    size_t run = unquoted;
    bool named = false;
    while (!named && run > i) {
      --run;
      named = NamesSomething(value.substr(word.begin, words[run].end - word.begin), startDir);
    }
    if (named) {
      i = run;
      continue;
    }
    if (IsUtf8(word.text)) continue;
    const size_t kept = ExistingLength(word.text, startDir);
    if (kept >= word.text.size()) continue;
    const size_t from = word.at[kept];
    out += value.substr(copied, from - copied);
    out += DiskNameText(std::string_view(value).substr(from, word.end - from));
    copied = word.end;
  }
  return out + value.substr(copied);
}

std::string WithoutSlash(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path.substr(0, path.size() - 1);
  return path;
}

std::string WithSlash(const std::string& dir) {
  if (dir.empty() || dir.back() == '/') return dir;
  return dir + "/";
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

bool Fd::Close() {
  if (fd_ < 0) return true;
  const int r = ::close(fd_);
  fd_ = -1;
  return r == 0;
}

namespace {

// Calls op(done) until n bytes are done, op returns 0 (the end, errno 0; or
// no progress of a write, errno EIO) or fails other than by EINTR.
template <typename Op>
size_t Loop(size_t n, bool writing, Op op) {
  errno = 0;
  size_t done = 0;
  while (done < n) {
    const ssize_t r = op(done);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (r == 0) {
      if (writing) errno = EIO;
      break;
    }
    done += static_cast<size_t>(r);
  }
  return done;
}

}  // namespace

ssize_t ReadSome(int fd, void* buf, size_t n) {
  for (;;) {
    const ssize_t r = ::read(fd, buf, n);
    if (r >= 0 || errno != EINTR) return r;
  }
}

ssize_t WriteNoSignal(int fd, const void* data, size_t n) {
  const ssize_t put = ::send(fd, data, n, MSG_NOSIGNAL);
  if (put < 0 && errno == ENOTSOCK) return ::write(fd, data, n);
  return put;
}

size_t ReadFull(int fd, void* buf, size_t n) {
  auto* p = static_cast<char*>(buf);
  return Loop(n, false, [&](size_t done) { return ::read(fd, p + done, n - done); });
}

size_t PReadFull(int fd, void* buf, size_t n, uint64_t offset) {
  auto* p = static_cast<char*>(buf);
  return Loop(n, false, [&](size_t done) {
    return ::pread(fd, p + done, n - done, static_cast<off_t>(offset + done));
  });
}

MappedFile::MappedFile(const std::string& path) {
  const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || st.st_size < 0) return;
  size_ = static_cast<size_t>(st.st_size);
  ok_ = true;
  if (size_ == 0) return;
  data_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
  if (data_ == MAP_FAILED) {
    data_ = nullptr;
    size_ = 0;
    ok_ = false;
    return;
  }
  ::madvise(data_, size_, MADV_SEQUENTIAL | MADV_WILLNEED);
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) ::munmap(data_, size_);
}

bool PReadAll(int fd, void* buf, size_t n, uint64_t offset) {
  return PReadFull(fd, buf, n, offset) == n;
}

size_t PWriteFull(int fd, const void* data, size_t n, uint64_t offset) {
  const auto* p = static_cast<const char*>(data);
  return Loop(n, true, [&](size_t done) {
    return ::pwrite(fd, p + done, n - done, static_cast<off_t>(offset + done));
  });
}

bool WriteAll(int fd, std::string_view data) {
  const size_t n = data.size();
  return Loop(n, true, [&](size_t done) { return ::write(fd, data.data() + done, n - done); }) == n;
}

int WaitReadable(int fd, int wakeFd, std::chrono::milliseconds limit) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int timeout = -1;
    if (limit.count() >= 0) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      timeout = static_cast<int>(std::max<int64_t>(0, left.count()));
    }
    const int n = ::poll(fds, wakeFd >= 0 ? 2 : 1, timeout);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0 && wakeFd >= 0 && fds[1].revents) return -2;
    return n > 0 ? 1 : n;
  }
}

}  // namespace velmaris::platform
