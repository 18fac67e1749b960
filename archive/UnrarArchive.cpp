// The RAR reader that stands in for the library where none is installed:
// libarchive reads RAR 1.5 to 4 and RAR5. It offers the library's calls, so
// TUnRAR walks an archive the same way whichever of the two reads it.
//
// libarchive checks no checksum of stored data; the CRC-32 of each file
// header is read here (RarHeaders.h) and the extractor checks it.
// libarchive itself runs only in a child process (RarDecoder.h), which
// decodes each archive once, bounded in memory and time; the data come from
// it block by block.
// What it does not do: decrypt (Api::Decrypts is false; an archive whose
// headers are encrypted gives ERAR_NO_DECRYPTION), follow volumes. Each
// entry's data is written into the file the extractor made for it, never
// more than its header announces (kMaxUnsizedEntry when it announces none).
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/RarDecoder.h"
#include "archive/RarHeaders.h"
#include "archive/UnrarApi.h"
#include "archive/arxBase.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris::unrar {

namespace {

constexpr size_t kBlock = 65536;
constexpr unsigned kHostUnix = 3;

// Why the reader's process failed last on this thread, and whose doing
// that was.
thread_local std::string lastFailure;
thread_local TReaderFailure lastFailureKind = TReaderFailure::Archive;

struct Reader {
  TRarDecoder decoder;                   // libarchive, in its own process
  platform::Fd file;                     // the archive, for what libarchive does not give
  std::optional<TRarEntryInfo> entry;    // the header read last; none before and after
  std::optional<TRarFileHeader> header;  // our own reading of that header
  std::string previousName;              // of the RAR 1.5-4 file header before it
  bool ownData = false;                  // its data are copied here, not by libarchive
  bool continuation = false;             // the header read last is one libarchive passed over
  std::optional<TRarEntryInfo> held;     // read from libarchive, not handed out yet
  bool ended = false;                    // libarchive has no more headers
  bool rar5 = false;                     // as libarchive found the format
  bool walkStarted = false;              // RAR5: our own walk over the file headers
  uint64_t walkPos = 0;
  UNRARCALLBACK callback = nullptr;
  LPARAM user = 0;

  // A result of the decoder, its reason kept when it failed.
  int Noted(int result) {
    if (result == ERAR_READER_FAILED) {
      lastFailure = decoder.Failure();
      lastFailureKind = decoder.FailureKind();
    }
    return result;
  }
};

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
// always, RAR 1.5-4 with its Unicode flag or in UTF-8 from a Unix host),
// with its OEM form beside it; otherwise the stored OEM bytes. Taken from
// our own reading of the header, since libarchive gives Unicode names only
// in the encoding of the locale.
void CopyName(RARHeaderDataEx* hd, const TRarEntryInfo* e, const std::optional<TRarFileHeader>& h) {
  if (h && (!h->Name.empty() || !e)) {
    if (h->Utf8)
      PutName(hd, platform::FromUtf8(h->Name, platform::OemCodePage()), h->Name);
    else
      PutName(hd, h->Name, {});
    return;
  }
  PutName(hd, e->Name.empty() ? e->NameUtf8 : e->Name, e->NameUtf8);
}

// Whether the archive begins with the RAR5 marker (not a self-extractor).
bool StartsWithMarker(const Reader& r) {
  char head[8] = {};
  return platform::PReadFull(r.file.get(), head, sizeof head, 0) == sizeof head &&
         std::memcmp(head, "Rar!\x1A\x07\x01\x00", sizeof head) == 0;
}

HANDLE Open(RAROpenArchiveDataEx* od) {
  if (!od->ArcName) {
    od->OpenResult = ERAR_EOPEN;
    return nullptr;
  }
  auto* r = new Reader;
  r->callback = od->Callback;
  r->user = od->UserData;
  od->OpenResult = r->Noted(r->decoder.Open(od->ArcName));
  if (od->OpenResult != ERAR_SUCCESS) {
    delete r;
    return nullptr;
  }
  r->file = platform::Fd(::open(od->ArcName, O_RDONLY | O_CLOEXEC));
  return r;
}

int Close(HANDLE h) {
  auto* r = static_cast<Reader*>(h);
  if (!r) return ERAR_ECLOSE;
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
  r->entry.reset();
  r->ownData = false;
  r->continuation = false;
  if (!r->held && !r->ended) {
    TRarEntryInfo e;
    const int rc = r->Noted(r->decoder.NextHeader(e));
    r->rar5 = e.Rar5;
    if (rc == ERAR_END_ARCHIVE) {
      r->ended = true;
    } else if (rc != ERAR_SUCCESS) {
      return rc;
    } else {
      r->held = std::move(e);
    }
  }
  if (r->rar5) {
    // RAR5 headers are followed one by one from the start, so that those
    // libarchive passes over are seen too.
    if (!r->walkStarted) {
      r->walkStarted = true;
      r->walkPos = r->held && !StartsWithMarker(*r) ? r->held->HeaderPosition : 0;
    }
    r->header = HeaderAt(*r, r->walkPos, true);
    if (r->header) r->walkPos = r->header->DataOffset + r->header->PackedSize;
    if (r->header && r->header->SplitBefore) {
      r->continuation = true;
      PutContinuation(hd, *r->header);
      return ERAR_SUCCESS;
    }
  } else if (r->held) {
    r->header = HeaderAt(*r, r->held->HeaderPosition, false);
  }
  if (!r->held) return ERAR_END_ARCHIVE;
  r->entry = std::exchange(r->held, std::nullopt);
  const TRarEntryInfo& e = *r->entry;
  if (r->header && !r->rar5) {
    // libarchive takes a RAR 1.5-4 file of the same name as the one before
    // it for the rest of that file: the data of a stored one are copied
    // here, anything else fails as damaged.
    r->ownData = !r->header->SplitBefore && r->header->Name == r->previousName;
    r->previousName = r->header->Name;
  }
  CopyName(hd, &e, r->header);
  hd->Flags = 0;
  if (e.FileType == AE_IFDIR) hd->Flags |= RHDF_DIRECTORY;
  if (e.Encrypted) hd->Flags |= RHDF_ENCRYPTED;
  hd->RedirType = e.Link ? 1 : 0;
  if (r->header && r->header->Encrypted) hd->Flags |= RHDF_ENCRYPTED;
  if (r->header && r->header->SplitBefore) hd->Flags |= RHDF_SPLITBEFORE;
  uint64_t size = e.SizeSet ? e.Size : 0;
  if (r->ownData) size = r->header->UnpackedSize;
  hd->UnpSize = uint32_t(size);
  hd->UnpSizeHigh = uint32_t(size >> 32);
  hd->PackSize = hd->UnpSize;  // libarchive does not tell the packed size
  hd->PackSizeHigh = hd->UnpSizeHigh;
  hd->HostOS = kHostUnix;
  hd->FileAttr = e.Mode;
  hd->FileTime = DateTimeToDosDateTime(time_t(e.Mtime));
  // libarchive checks no checksum of stored data: the extractor checks the
  // one the file header holds.
  const std::optional<uint32_t> crc = r->header ? r->header->Crc : std::nullopt;
  hd->HashType = crc ? RAR_HASH_CRC32 : RAR_HASH_NONE;
  hd->FileCRC = crc.value_or(0);
  return ERAR_SUCCESS;
}

int Skip(Reader* r) { return r->Noted(r->decoder.Skip()); }

// The data of a stored entry libarchive would run into the one before it,
// straight from the archive, block by block; ERAR_SUCCESS at its end.
int CopyOwnData(Reader* r, const std::function<bool(const char*, size_t)>& block) {
  std::vector<char> buf(kBlock);
  uint64_t at = r->header->DataOffset, left = r->header->PackedSize;
  while (left > 0) {
    const size_t n = platform::PReadFull(r->file.get(), buf.data(),
                                         size_t(std::min<uint64_t>(left, buf.size())), at);
    if (n == 0) return ERAR_BAD_DATA;  // the archive ends early
    at += n;
    left -= n;
    if (!block(buf.data(), n)) return ERAR_UNKNOWN;
  }
  return Skip(r) == ERAR_READER_FAILED ? ERAR_READER_FAILED : ERAR_SUCCESS;
}

// Writes the current entry's data into the file dest (made by the caller),
// handing each block to the callback; with no dest (a test) only to the
// callback.
int Extract(Reader* r, const char* dest) {
  const TRarEntryInfo& e = *r->entry;
  if (e.Encrypted) {
    const int skipped = Skip(r);
    return skipped == ERAR_READER_FAILED ? skipped : ERAR_NO_DECRYPTION;
  }
  const bool own = r->ownData;
  if (own && !r->header->Stored) {
    Skip(r);
    return ERAR_BAD_DATA;
  }
  const uint64_t limit = own ? r->header->UnpackedSize : e.SizeSet ? e.Size : kMaxUnsizedEntry;
  platform::Fd fd(dest ? ::open(dest, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC) : -1);
  if (dest && !fd.ok()) {
    const int err = errno;
    const int skipped = Skip(r);
    errno = err;
    return skipped == ERAR_READER_FAILED ? skipped : ERAR_ECREATE;
  }
  uint64_t total = 0;
  int stopped = ERAR_SUCCESS;  // why the data were not taken
  const auto block = [&](const char* data, size_t n) {
    total += n;
    if (total > limit) {
      stopped = ERAR_BAD_DATA;  // more than the header announced
    } else if (dest && !platform::WriteAll(fd.get(), std::string_view(data, n))) {
      stopped = ERAR_EWRITE;
    } else if (r->callback && r->callback(UCM_PROCESSDATA, r->user, reinterpret_cast<LPARAM>(data),
                                          LPARAM(n)) < 0) {
      stopped = ERAR_UNKNOWN;
    }
    return stopped == ERAR_SUCCESS;
  };
  const int read = own ? CopyOwnData(r, block) : r->Noted(r->decoder.Read(limit, block));
  if (stopped != ERAR_SUCCESS) return stopped;
  if (read != ERAR_SUCCESS) return read;  // damage, or the reader failed
  if ((e.SizeSet || own) && total != limit) return ERAR_BAD_DATA;
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
  r->entry.reset();
  return result;
}

void SetCallback(HANDLE h, UNRARCALLBACK callback, LPARAM user) {
  auto* r = static_cast<Reader*>(h);
  r->callback = callback;
  r->user = user;
}

void SetPassword(HANDLE, char*) {}  // nothing is decrypted

}  // namespace

std::string ReaderFailure() { return lastFailure; }

TReaderFailure ReaderFailureKind() { return lastFailureKind; }

void ClearReaderFailure() {
  lastFailure.clear();
  lastFailureKind = TReaderFailure::Archive;
}

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
