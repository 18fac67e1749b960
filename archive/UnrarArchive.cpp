// The RAR reader that stands in for the library where none is installed:
// libarchive reads RAR 1.5 to 4 and RAR5. It offers the library's calls, so
// TUnRAR walks an archive the same way whichever of the two reads it.
//
// libarchive checks no checksum of stored data; the CRC-32 of each file
// header is read here (RarHeaders.h) and the extractor checks it.
// Every archive is decoded once in a child process with a bounded address
// space before it is read here (CheckMemoryBound).
// What it does not do: decrypt (Api::Decrypts is false; an archive whose
// headers are encrypted gives ERAR_NO_DECRYPTION), follow volumes. Each
// entry's data is written into the file the extractor made for it, never
// more than its header announces (kMaxUnsizedEntry when it announces none).
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/RarHeaders.h"
#include "archive/UnrarApi.h"
#include "archive/arxBase.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris::unrar {

namespace {

constexpr size_t kBlock = 65536;
constexpr unsigned kHostUnix = 3;

struct Reader {
  archive* a = nullptr;
  platform::Fd file;                     // the archive, for what libarchive does not give
  archive_entry* entry = nullptr;        // the header read last; null before and after
  std::optional<TRarFileHeader> header;  // our own reading of that header
  std::string previousName;              // of the RAR 1.5-4 file header before it
  bool ownData = false;                  // its data are copied here, not by libarchive
  bool continuation = false;             // the header read last is one libarchive passed over
  archive_entry* held = nullptr;         // read from libarchive, not handed out yet
  bool ended = false;                    // libarchive has no more headers
  bool walkStarted = false;              // RAR5: our own walk over the file headers
  uint64_t walkPos = 0;
  UNRARCALLBACK callback = nullptr;
  LPARAM user = 0;
};

// A failure of libarchive while it reads headers: encryption named as such.
int HeaderFailure(archive* a) {
  const char* text = archive_error_string(a);
  if (text && std::string_view(text).find("ncrypt") != std::string_view::npos)
    return ERAR_NO_DECRYPTION;
  return ERAR_BAD_DATA;
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

void PutName(RARHeaderDataEx* hd, std::string_view oem, const std::string& utf8) {
  if (!utf8.empty() && !IsAscii(utf8)) {
    const std::wstring w = Utf8ToWide(utf8);
    const size_t n = std::min(w.size(), size_t(1023));
    std::wmemcpy(hd->FileNameW, w.data(), n);
    hd->FileNameW[n] = L'\0';
  }
  const size_t n = std::min(oem.size(), size_t(1023));
  std::memcpy(hd->FileName, oem.data(), n);
  hd->FileName[n] = '\0';
}

// The name as the library gives it: wide when it is stored in Unicode (RAR5
// always, RAR 1.5-4 with its Unicode flag), with its OEM form beside it;
// otherwise the stored OEM bytes. Taken from our own reading of the header,
// since libarchive gives Unicode names only in the encoding of the locale.
void CopyName(RARHeaderDataEx* hd, archive_entry* e, const std::optional<TRarFileHeader>& h) {
  if (h && (!h->Name.empty() || !e)) {
    if (h->Utf8)
      PutName(hd, platform::FromUtf8(h->Name, platform::OemCodePage()), h->Name);
    else
      PutName(hd, h->Name, {});
    return;
  }
  const char* raw = archive_entry_pathname(e);
  const char* utf8 = archive_entry_pathname_utf8(e);
  PutName(hd, raw ? raw : (utf8 ? utf8 : ""), utf8 ? utf8 : "");
}

// Whether the archive begins with the RAR5 marker (not a self-extractor).
bool StartsWithMarker(const Reader& r) {
  char head[8] = {};
  return platform::PReadFull(r.file.get(), head, sizeof head, 0) == sizeof head &&
         std::memcmp(head, "Rar!\x1A\x07\x01\x00", sizeof head) == 0;
}

// The address space of this process, in bytes (0 when it cannot be read).
uint64_t AddressSpace() {
  char text[64] = {};
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return 0;
  return std::strtoull(text, nullptr, 10) * uint64_t(::sysconf(_SC_PAGESIZE));
}

// In the child: decodes every entry, as extraction will, and exits with 3
// when libarchive ran out of the address space it was given, else with 0
// (damage of any other kind is found again by the walk itself).
[[noreturn]] void DecodeAllAndExit(const char* path) {
  // The child was forked from a process with other threads: should it ever
  // wait on a lock one of them held at the fork, the alarm ends it, and the
  // archive counts as damaged instead of holding the run for good.
  sigset_t alarmOnly;
  ::sigemptyset(&alarmOnly);
  ::sigaddset(&alarmOnly, SIGALRM);
  ::signal(SIGALRM, SIG_DFL);
  ::sigprocmask(SIG_UNBLOCK, &alarmOnly, nullptr);
  ::alarm(kRarCheckSeconds);
  struct rlimit rl {};
  if (::getrlimit(RLIMIT_AS, &rl) == 0) {
    rlim_t bound = rlim_t(AddressSpace() + kRarAddressBudget);
    if (rl.rlim_max != RLIM_INFINITY && bound > rl.rlim_max) bound = rl.rlim_max;
    rl.rlim_cur = bound;
    if (::setrlimit(RLIMIT_AS, &rl) != 0) ::_exit(3);
  }
  archive* a = archive_read_new();
  if (!a) ::_exit(3);
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  // libarchive tells of memory it could not have with ENOMEM, or in words.
  const auto outOfMemory = [a] {
    const char* text = archive_error_string(a);
    const std::string_view words = text ? text : "";
    return archive_errno(a) == ENOMEM || words.find("memory") != std::string_view::npos ||
           words.find("alloc") != std::string_view::npos;
  };
  static char buf[kBlock];
  int rc = archive_read_open_filename(a, path, kBlock);
  if (rc != ARCHIVE_OK) ::_exit(outOfMemory() ? 3 : 0);
  for (;;) {
    archive_entry* e = nullptr;
    rc = archive_read_next_header(a, &e);
    if (rc == ARCHIVE_EOF) ::_exit(0);
    if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) break;
    if (archive_entry_is_encrypted(e)) continue;
    la_ssize_t n;
    while ((n = archive_read_data(a, buf, sizeof buf)) > 0) {
    }
    if (n < 0 && outOfMemory()) break;
  }
  ::_exit(outOfMemory() ? 3 : 0);
}

// libarchive takes the memory an archive's headers and data ask for
// (windows, PPMd models, filter data) without a bound of its own. So the
// archive is first decoded whole in a child process whose address space may
// grow by kRarAddressBudget at most: an archive that needs more, or makes
// the child fail in any other way, is damaged as far as we are concerned.
int CheckMemoryBound(const char* path) {
  const pid_t pid = ::fork();
  if (pid < 0) return ERAR_NO_MEMORY;
  if (pid == 0) DecodeAllAndExit(path);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return ERAR_BAD_DATA;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ERAR_SUCCESS : ERAR_BAD_DATA;
}

HANDLE Open(RAROpenArchiveDataEx* od) {
  if (od->ArcName && ::access(od->ArcName, R_OK) == 0) {
    od->OpenResult = CheckMemoryBound(od->ArcName);
    if (od->OpenResult != ERAR_SUCCESS) return nullptr;
  }
  auto* r = new Reader;
  r->a = archive_read_new();
  archive_read_support_format_rar(r->a);
  archive_read_support_format_rar5(r->a);
  r->callback = od->Callback;
  r->user = od->UserData;
  if (!od->ArcName || archive_read_open_filename(r->a, od->ArcName, kBlock) != ARCHIVE_OK) {
    // libarchive tells of a format it does not know with EILSEQ on Linux.
    const int err = archive_errno(r->a);
    od->OpenResult = err == EILSEQ ? ERAR_UNKNOWN_FORMAT
                     : err > 0     ? ERAR_EOPEN
                                   : HeaderFailure(r->a);
    archive_read_free(r->a);
    delete r;
    return nullptr;
  }
  r->file = platform::Fd(::open(od->ArcName, O_RDONLY | O_CLOEXEC));
  od->OpenResult = ERAR_SUCCESS;
  return r;
}

int Close(HANDLE h) {
  auto* r = static_cast<Reader*>(h);
  if (!r) return ERAR_ECLOSE;
  archive_read_free(r->a);
  delete r;
  return ERAR_SUCCESS;
}

// Our own reading of the file header at or after pos.
std::optional<TRarFileHeader> HeaderAt(const Reader& r, uint64_t pos, bool rar5) {
  const int fd = r.file.get();
  return RarFileHeaderAt([fd](uint64_t offset, void* buf,
                              size_t n) { return platform::PReadFull(fd, buf, n, offset); },
                         pos, rar5);
}

// An entry that libarchive passes over in silence: the rest of a file of the
// previous volume in RAR5. It is told of as such and has nothing to extract.
void PutContinuation(RARHeaderDataEx* hd, const TRarFileHeader& h) {
  CopyName(hd, nullptr, h);
  hd->Flags = RHDF_SPLITBEFORE;
  hd->UnpSize = uint32_t(h.UnpackedSize);
  hd->UnpSizeHigh = uint32_t(h.UnpackedSize >> 32);
  hd->PackSize = uint32_t(h.PackedSize);
  hd->PackSizeHigh = uint32_t(h.PackedSize >> 32);
  hd->HostOS = kHostUnix;
  hd->FileAttr = 0100644;
}

int ReadHeader(HANDLE h, RARHeaderDataEx* hd) {
  auto* r = static_cast<Reader*>(h);
  r->entry = nullptr;
  r->ownData = false;
  r->continuation = false;
  if (!r->held && !r->ended) {
    archive_entry* e = nullptr;
    const int rc = archive_read_next_header(r->a, &e);
    if (rc == ARCHIVE_EOF) {
      r->ended = true;
    } else if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) {
      return HeaderFailure(r->a);
    } else {
      r->held = e;
    }
  }
  const bool rar5 = archive_format(r->a) == ARCHIVE_FORMAT_RAR_V5;
  if (rar5) {
    // RAR5 headers are followed one by one from the start, so that those
    // libarchive passes over are seen too.
    if (!r->walkStarted) {
      r->walkStarted = true;
      r->walkPos =
          r->held && !StartsWithMarker(*r) ? uint64_t(archive_read_header_position(r->a)) : 0;
    }
    r->header = HeaderAt(*r, r->walkPos, true);
    if (r->header) r->walkPos = r->header->DataOffset + r->header->PackedSize;
    if (r->header && r->header->SplitBefore) {
      r->continuation = true;
      PutContinuation(hd, *r->header);
      return ERAR_SUCCESS;
    }
  } else if (r->held) {
    r->header = HeaderAt(*r, uint64_t(archive_read_header_position(r->a)), false);
  }
  if (!r->held) return ERAR_END_ARCHIVE;
  archive_entry* e = std::exchange(r->held, nullptr);
  r->entry = e;
  if (r->header && !rar5) {
    // libarchive takes a RAR 1.5-4 file of the same name as the one before
    // it for the rest of that file: the data of a stored one are copied
    // here, anything else fails as damaged.
    r->ownData = !r->header->SplitBefore && r->header->Name == r->previousName;
    r->previousName = r->header->Name;
  }
  CopyName(hd, e, r->header);
  const mode_t type = archive_entry_filetype(e);
  hd->Flags = 0;
  if (type == AE_IFDIR) hd->Flags |= RHDF_DIRECTORY;
  if (archive_entry_is_encrypted(e)) hd->Flags |= RHDF_ENCRYPTED;
  hd->RedirType = (type == AE_IFLNK || archive_entry_hardlink(e)) ? 1 : 0;
  if (r->header && r->header->Encrypted) hd->Flags |= RHDF_ENCRYPTED;
  if (r->header && r->header->SplitBefore) hd->Flags |= RHDF_SPLITBEFORE;
  uint64_t size = archive_entry_size_is_set(e) ? uint64_t(archive_entry_size(e)) : 0;
  if (r->ownData) size = r->header->UnpackedSize;
  hd->UnpSize = uint32_t(size);
  hd->UnpSizeHigh = uint32_t(size >> 32);
  hd->PackSize = hd->UnpSize;  // libarchive does not tell the packed size
  hd->PackSizeHigh = hd->UnpSizeHigh;
  hd->HostOS = kHostUnix;
  hd->FileAttr = archive_entry_mode(e);
  hd->FileTime = DateTimeToDosDateTime(archive_entry_mtime(e));
  // libarchive checks no checksum of stored data: the extractor checks the
  // one the file header holds.
  const std::optional<uint32_t> crc = r->header ? r->header->Crc : std::nullopt;
  hd->HashType = crc ? RAR_HASH_CRC32 : RAR_HASH_NONE;
  hd->FileCRC = crc.value_or(0);
  return ERAR_SUCCESS;
}

int Skip(Reader* r) {
  return archive_read_data_skip(r->a) == ARCHIVE_OK ? ERAR_SUCCESS : ERAR_BAD_DATA;
}

// Writes the current entry's data into the file dest (made by the caller),
// handing each block to the callback; with no dest (a test) only to the
// callback.
int Extract(Reader* r, const char* dest) {
  archive_entry* e = r->entry;
  if (archive_entry_is_encrypted(e)) {
    Skip(r);
    return ERAR_NO_DECRYPTION;
  }
  const bool sized = archive_entry_size_is_set(e);
  const uint64_t limit = r->ownData ? r->header->UnpackedSize
                         : sized    ? uint64_t(archive_entry_size(e))
                                    : kMaxUnsizedEntry;
  platform::Fd fd(dest ? ::open(dest, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC) : -1);
  if (dest && !fd.ok()) {
    const int err = errno;
    Skip(r);
    errno = err;
    return ERAR_ECREATE;
  }
  std::vector<char> buf(kBlock);
  uint64_t total = 0;
  // A stored entry libarchive would run into the one before it: its data
  // straight from the archive.
  const bool own = r->ownData;
  if (own && !r->header->Stored) {
    Skip(r);
    return ERAR_BAD_DATA;
  }
  uint64_t ownAt = own ? r->header->DataOffset : 0;
  uint64_t ownLeft = own ? r->header->PackedSize : 0;
  for (;;) {
    la_ssize_t n;
    if (own) {
      n = la_ssize_t(platform::PReadFull(r->file.get(), buf.data(),
                                         size_t(std::min<uint64_t>(ownLeft, buf.size())), ownAt));
      if (n == 0 && ownLeft > 0) return ERAR_BAD_DATA;  // the archive ends early
      ownAt += uint64_t(n);
      ownLeft -= uint64_t(n);
    } else {
      n = archive_read_data(r->a, buf.data(), buf.size());
    }
    if (n == 0) break;
    if (n < 0) return ERAR_BAD_DATA;  // damage or a checksum that fails
    total += uint64_t(n);
    if (total > limit) return ERAR_BAD_DATA;  // more than the header announced
    if (dest && !platform::WriteAll(fd.get(), std::string_view(buf.data(), size_t(n))))
      return ERAR_EWRITE;
    if (r->callback &&
        r->callback(UCM_PROCESSDATA, r->user, reinterpret_cast<LPARAM>(buf.data()), LPARAM(n)) < 0)
      return ERAR_UNKNOWN;
  }
  if (own) Skip(r);
  if ((sized || own) && total != limit) return ERAR_BAD_DATA;
  return !dest || fd.Close() ? ERAR_SUCCESS : ERAR_EWRITE;
}

int Process(HANDLE h, int operation, char* destPath, char* destName) {
  auto* r = static_cast<Reader*>(h);
  if (r && std::exchange(r->continuation, false))
    return operation == RAR_SKIP ? ERAR_SUCCESS : ERAR_BAD_DATA;
  if (!r || !r->entry) return ERAR_UNKNOWN;
  const int result = operation == RAR_TEST                  ? Extract(r, nullptr)
                     : operation == RAR_EXTRACT && destName ? Extract(r, destName)
                                                            : Skip(r);
  r->entry = nullptr;
  return result;
}

void SetCallback(HANDLE h, UNRARCALLBACK callback, LPARAM user) {
  auto* r = static_cast<Reader*>(h);
  r->callback = callback;
  r->user = user;
}

void SetPassword(HANDLE, char*) {}  // nothing is decrypted

}  // namespace

const Api* LibarchiveApi() {
  static const Api api = [] {
    Api a;
    a.RAROpenArchiveEx = &Open;
    a.RARCloseArchive = &Close;
    a.RARReadHeaderEx = &ReadHeader;
    a.RARProcessFile = &Process;
    a.RARSetCallback = &SetCallback;
    a.RARSetPassword = &SetPassword;
    a.Decrypts = false;
    return a;
  }();
  return &api;
}

}  // namespace velmaris::unrar
