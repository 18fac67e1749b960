#include "archive/arxUnRAR.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

namespace velmaris {

using namespace unrar;

namespace {

constexpr unsigned kHostUnix = 3;
constexpr unsigned kUnixTypeMask = 0170000;
constexpr unsigned kUnixDirectory = 0040000;
constexpr unsigned kDosDirectory = 0x10;
constexpr size_t kVolumeNameMax = 1024;

// The exception an event handler raised inside a library callback; it is
// carried across the library and raised again when the call returns.
thread_local std::exception_ptr pendingException;

}  // namespace

TUnRAR::TUnRAR() = default;

int TUnRAR::MapResult(int result) {
  switch (result) {
    case ERAR_END_ARCHIVE: return ecEofNotFound;
    case ERAR_NO_MEMORY: return ecOutOfMemory;
    case ERAR_BAD_DATA: return ecBadFileHeader;
    case ERAR_BAD_ARCHIVE:
    case ERAR_UNKNOWN_FORMAT: return ecUnsupportedType;
    case ERAR_EOPEN: return ecOpenFile;
    case ERAR_ECREATE:
    case ERAR_EWRITE: return ecWriteFile;
    case ERAR_ECLOSE: return ecCloseFile;
    case ERAR_EREAD: return ecReadFile;
    case ERAR_UNKNOWN: return ecBrokenVolumeChain;
    case ERAR_MISSING_PASSWORD:
    case ERAR_BAD_PASSWORD: return ecInvalidPassword;
    case ERAR_NO_DECRYPTION: return ecRarEncrypted;
    case ERAR_READER_FAILED: return ecBadFileHeader;
    default: return ecBadFileHeader;  // any other failure of the library is still a failure
  }
}

void TUnRAR::RaiseResult(int result, const std::string& fileName) {
  if (result == ERAR_READER_FAILED) {
    // Whose doing the reader's end was decides the code: damage, the
    // memory bound the archive asks to pass, or our own side.
    const TReaderFailure kind = ReaderFailureKind();
    if (kind == TReaderFailure::OwnSide)
      RaiseError(ecReaderStopped, archiveFile_, "the RAR reader was stopped: " + ReaderFailure());
    RaiseError(kind == TReaderFailure::Memory ? ecOutOfMemory : MapResult(result), archiveFile_,
               "the RAR reader failed on it: " + ReaderFailure());
  }
  RaiseError(MapResult(result), fileName);
}

int TUnRAR::Callback(unsigned int msg, LPARAM user, LPARAM p1, LPARAM p2) {
  auto* self = reinterpret_cast<TUnRAR*>(user);
  if (!self) return -1;
  try {
    return self->OnCallback(msg, p1, p2);
  } catch (...) {
    pendingException = std::current_exception();
    return -1;
  }
}

int TUnRAR::OnCallback(unsigned int msg, LPARAM p1, LPARAM p2) {
  switch (msg) {
    case UCM_PROCESSDATA: {
      if (cancel_) return -1;
      if (p2 > 0) {
        CountOutput(size_t(p2));  // past a size limit: raised through the callback
        const auto* data = reinterpret_cast<const uint8_t*>(p1);
        crc_ = Crc32Update(crc_, data, size_t(p2));
        if (sinkOpen_) sink_(data, size_t(p2));
        ProgressAfterBlock();
      }
      return cancel_ ? -1 : 1;
    }
    case UCM_NEEDPASSWORD:
    case UCM_NEEDPASSWORDW: {
      const std::string pw = FetchPassword();
      if (pw.empty() || p1 == 0 || p2 <= 0) return -1;
      const size_t room = size_t(p2) - 1;
      if (msg == UCM_NEEDPASSWORD) {
        char* buf = reinterpret_cast<char*>(p1);
        const size_t n = std::min(pw.size(), room);
        std::memcpy(buf, pw.data(), n);
        buf[n] = '\0';
      } else {
        wchar_t* buf = reinterpret_cast<wchar_t*>(p1);
        const std::wstring w = Utf8ToWide(pw);
        const size_t n = std::min(w.size(), room);
        std::wmemcpy(buf, w.data(), n);
        buf[n] = L'\0';
      }
      passwordGiven_ = true;
      return 1;
    }
    case UCM_CHANGEVOLUME:
    case UCM_CHANGEVOLUMEW: {
      if (p2 == RAR_VOL_NOTIFY) return 1;
      // The library misses the next volume: only a handler can name it.
      if (!OnNextVolume || p1 == 0) return -1;
      std::string name =
          msg == UCM_CHANGEVOLUME
              ? std::string(reinterpret_cast<const char*>(p1),
                            strnlen(reinterpret_cast<const char*>(p1), kVolumeNameMax))
              : WideToUtf8(reinterpret_cast<const wchar_t*>(p1), kVolumeNameMax);
      for (int tries = 0; tries < 999; ++tries) {
        struct stat st;
        const bool exists = ::stat(name.c_str(), &st) == 0;
        bool cancelled = true;
        OnNextVolume(*this, name, volumeNumber_ + 1, exists, cancelled);
        if (cancelled || name.empty()) return -1;
        if (::stat(name.c_str(), &st) == 0) break;
        if (tries == 998) return -1;
      }
      if (msg == UCM_CHANGEVOLUME) {
        if (name.size() >= kVolumeNameMax) return -1;
        std::memcpy(reinterpret_cast<char*>(p1), name.c_str(), name.size() + 1);
      } else {
        const std::wstring w = Utf8ToWide(name);
        if (w.size() >= kVolumeNameMax) return -1;
        std::wmemcpy(reinterpret_cast<wchar_t*>(p1), w.c_str(), w.size() + 1);
      }
      ++volumeNumber_;
      return 1;
    }
    default: return 0;
  }
}

std::string TUnRAR::FetchPassword() {
  if (!Password.empty()) return Password;
  if (!OnGetPassword || gaveUp_ || passwordsAsked_ >= PasswordAttempts) return {};
  ++passwordsAsked_;
  std::string pw;
  bool tryAgain = true;
  OnGetPassword(*this, currentName_, pw, tryAgain);
  if (!tryAgain || pw.empty()) {
    gaveUp_ = true;
    return {};
  }
  Password = pw;
  return pw;
}

unrar::HANDLE TUnRAR::OpenArchive() {
  std::vector<char> name(archiveFile_.begin(), archiveFile_.end());
  name.push_back('\0');
  RAROpenArchiveDataEx od;
  std::memset(&od, 0, sizeof od);
  od.ArcName = name.data();
  od.OpenMode = RAR_OM_EXTRACT;
  od.Callback = &TUnRAR::Callback;
  od.UserData = reinterpret_cast<LPARAM>(this);
  HANDLE h = api_->RAROpenArchiveEx(&od);
  if (!h || od.OpenResult != ERAR_SUCCESS) {
    if (h) api_->RARCloseArchive(h);
    RaiseResult(od.OpenResult != ERAR_SUCCESS ? int(od.OpenResult) : ERAR_EOPEN, archiveFile_);
  }
  api_->RARSetCallback(h, &TUnRAR::Callback, reinterpret_cast<LPARAM>(this));
  return h;
}

void TUnRAR::CloseArchive() {
  if (handle_) api_->RARCloseArchive(handle_);
  handle_ = nullptr;
}

void TUnRAR::Skip() {
  const int r = api_->RARProcessFile(handle_, RAR_SKIP, nullptr, nullptr);
  if (r != ERAR_SUCCESS) RaiseResult(r, archiveFile_);
}

void TUnRAR::ReopenAt(size_t index) {
  CloseArchive();
  handle_ = OpenArchive();
  auto hd = std::make_unique<RARHeaderDataEx>();
  for (size_t i = 0; i < index; ++i) {
    std::memset(hd.get(), 0, sizeof *hd);
    const int r = api_->RARReadHeaderEx(handle_, hd.get());
    if (r != ERAR_SUCCESS) RaiseResult(r, archiveFile_);
    Skip();
  }
}

bool TUnRAR::IsDirectory(const RARHeaderDataEx& hd) const {
  if (hd.Flags & RHDF_DIRECTORY) return true;
  if (hd.HostOS == kHostUnix) return (hd.FileAttr & kUnixTypeMask) == kUnixDirectory;
  return (hd.FileAttr & kDosDirectory) != 0;
}

void TUnRAR::ExtractIt() {
  api_ = LoadUnrarLibrary();
  if (!api_) RaiseError(ecUnrarNotFound, archiveFile_);
  ClearReaderFailure();
  passwordsAsked_ = 0;
  gaveUp_ = false;
  struct Closer {
    TUnRAR* self;
    ~Closer() { self->CloseArchive(); }
  } closer{this};
  ReopenAt(0);
  auto hd = std::make_unique<RARHeaderDataEx>();
  size_t index = 0;
  while (!cancel_) {
    std::memset(hd.get(), 0, sizeof *hd);
    const int r = api_->RARReadHeaderEx(handle_, hd.get());
    if (r == ERAR_END_ARCHIVE) break;
    // A header the library cannot read ends the walk as a failure, never
    // quietly and never by asking again for the same header.
    if (r != ERAR_SUCCESS) RaiseResult(r, archiveFile_);
    hd->FileName[sizeof hd->FileName - 1] = '\0';
    const std::string name = hd->FileNameW[0]
                                 ? WideToUtf8(hd->FileNameW, 1024)
                                 : std::string(hd->FileName, strnlen(hd->FileName, 1024));
    // Links are never made (they could point anywhere); directories are made
    // when a file inside them is extracted.
    if (hd->RedirType != 0 || IsDirectory(*hd) || !FileSpecMatch(name)) {
      Skip();
      ++index;
      continue;
    }
    // The rest of a file whose beginning lies in an earlier volume is no
    // file of its own: the chain of volumes is broken here.
    if (hd->Flags & RHDF_SPLITBEFORE) {
      ReportError(ecBrokenVolumeChain, name);
      Skip();
      ++index;
      continue;
    }
    const EntryResult er = ExtractEntry(*hd, name);
    if (er == EntryResult::kStop) break;
    if (er == EntryResult::kRetry) {
      ReopenAt(index);  // the same entry again, with the next password
      continue;
    }
    ++index;
  }
}

TUnRAR::EntryResult TUnRAR::ExtractEntry(const RARHeaderDataEx& hd, const std::string& name) {
  const bool encrypted = hd.Flags & RHDF_ENCRYPTED;
  const uint64_t packed = hd.PackSize | (uint64_t(hd.PackSizeHigh) << 32);
  const uint64_t unpacked = hd.UnpSize | (uint64_t(hd.UnpSizeHigh) << 32);
  const std::string out = hd.FileNameW[0] ? SetOutputNameUtf8(name) : SetOutputName(name);
  if (out.empty()) {
    Skip();
    return EntryResult::kDone;
  }
  if (encrypted && !api_->Decrypts) {
    ReportError(ecRarEncrypted, out);
    Skip();
    return EntryResult::kDone;
  }
  AddToTotals(packed, unpacked, hd.FileTime);
  bool exists = false;
  if (!BeginFile(out, hd.FileTime, exists)) {
    cancel_ = true;
    return EntryResult::kStop;
  }
  if ((exists && OverwriteMode == omSkip) || outputParts_.empty()) {
    Skip();
    SkipEntryProgress(packed);
    return EntryResult::kDone;
  }
  // The base makes the directories and the file without following links;
  // the library then writes into that file.
  if (!OpenOutput()) {
    ReportError(ecWriteFile, outputName_);
    Skip();
    return EntryResult::kDone;
  }
  // Read back without a disk: the library tests the entry and hands its
  // data through the callback to the sink, which stays open for it.
  if (!sink_) CloseOutput();
  currentName_ = out;
  passwordGiven_ = false;
  if (encrypted) {
    const std::string pw = FetchPassword();
    if (!pw.empty()) {
      std::vector<char> buf(pw.begin(), pw.end());
      buf.push_back('\0');
      api_->RARSetPassword(handle_, buf.data());
    }
  }
  crc_ = 0xFFFFFFFF;
  BeginEntryData(packed, unpacked);
  std::vector<char> dest(outputName_.begin(), outputName_.end());
  dest.push_back('\0');
  pendingException = nullptr;
  const int r = sink_ ? api_->RARProcessFile(handle_, RAR_TEST, nullptr, nullptr)
                      : api_->RARProcessFile(handle_, RAR_EXTRACT, nullptr, dest.data());
  CloseOutput();
  if (r == ERAR_EWRITE || r == ERAR_ECREATE) NoteOutputErrno(errno);  // a full disk is no damage
  if (pendingException) {
    RemoveOutput();
    std::rethrow_exception(std::exchange(pendingException, nullptr));
  }
  if (cancel_) {
    RemoveOutput();
    return EntryResult::kStop;
  }
  if (encrypted && (r == ERAR_BAD_PASSWORD || r == ERAR_MISSING_PASSWORD || r == ERAR_BAD_DATA)) {
    RemoveOutput();
    Password.clear();
    if (!gaveUp_ && OnGetPassword && passwordsAsked_ < PasswordAttempts) return EntryResult::kRetry;
    fileSpec_.clear();
    ReportError(ecInvalidPassword, out);
    return EntryResult::kStop;
  }
  if (r != ERAR_SUCCESS && r != ERAR_BAD_DATA) {
    RemoveOutput();
    RaiseResult(r, out);
  }
  bool pass = r == ERAR_SUCCESS;
  // Where the header carries a plain CRC-32, check the data the library
  // handed through the callback as well.
  if (pass && !encrypted && hd.HashType == RAR_HASH_CRC32)
    pass = (crc_ ^ 0xFFFFFFFFu) == hd.FileCRC && bytesWritten_ == unpacked;
  if (pass && !sink_) {
    // Usable attributes whatever the entry carried (Unix modes of other
    // systems), then the date as DateAttribute says.
    outFd_ = ::open(outputName_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (outFd_ >= 0) {
      ::fchmod(outFd_, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
      EndFile(32, hd.FileTime);
    }
  }
  EndEntry(out, pass);
  return EntryResult::kDone;
}

}  // namespace velmaris
