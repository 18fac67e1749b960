#include "archive/arxBase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "platform/WireName.h"

namespace velmaris {

// ---------------------------------------------------------------- errors

namespace {

struct ErrorText {
  int code;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {ecBadFileHeader, "Bad file header"},
    {ecBadBlock, "Bad block"},
    {ecBadHuffmanCode, "Bad Huffman code"},
    {ecIncorrectBits, "Incorrect number of bits"},
    {ecBrokenVolumeChain, "Broken multi-volume chain"},
    {ecWriteFile, "Error writing to file"},
    {ecCloseFile, "Error closing file"},
    {ecIncompleteCodeSet, "Incomplete code set"},
    {ecCrcCheck, "File fails CRC check"},
    {ecInvalidDecodeTree, "File contains invalid decode tree"},
    {ecCreateDir, "Unable to create directory"},
    {ecNotAccessible, "is not accessible."},
    {ecEofNotFound, "EOF not found"},
    {ecFileNotFound, "File not found"},
    {ecOpenFile, "Error opening file"},
    {ecReadFile, "Error reading file or unexpected end of file"},
    {ecHeaderCrc, "Header CRC error"},
    {ecUnsupportedType, "Invalid or unsupported archive type for this operation"},
    {ecInvalidFileName, "Invalid file name"},
    {ecBadLengths, "Bad lengths"},
    {ecInconsistentLocalHeader, "Inconsistant local header"},
    {ecMaxVolumes, "Maximum volumes 999"},
    {ecOutOfMemory, "Out of memory"},
    {ecUnrarNotFound, "Unrar.dll not found"},
    {ecRarEncrypted, "Encrypted RAR entries are extracted only with the RAR library (libunrar)"},
    {ecSizeLimit, "File is larger than the room there is for it"},
    {ecReaderStopped, "The RAR reader was stopped before it finished; the archive is not at fault"},
    {ecEventNotAssigned, "Required event not assigned"},
    {ecSeekError, "Seek error"},
    {ecAmbiguousTree, "Ambiguous Shannon-Fano decode tree encountered"},
    {ecStackOverflow, "Stack overflow"},
    {ecUnsupportedMethod, "Unsupported compression method"},
    {ecVersionError, "Version error"},
    {ecInvalidPassword, "Invalid password"},
    {ecPasswordFailed, "Password failed"},
};

}  // namespace

const char* ArxErrorText(int code) {
  for (const auto& e : kErrorTexts)
    if (e.code == code) return e.text;
  return "";
}

E_RAISE::E_RAISE(int code, std::string fileName)
    : std::runtime_error(ArxErrorText(code)), code_(code), fileName_(std::move(fileName)) {}

// ---------------------------------------------------------------- cipher

void TZipCrypt::ZipInitKeys(const std::string& password) {
  keys[0] = 0x12345678;
  keys[1] = 0x23456789;
  keys[2] = 0x34567890;
  for (unsigned char c : password) ZipUpdateKeys(c);
}

void TZipCrypt::ZipUpdateKeys(uint8_t c) {
  keys[0] = Crc32Step(keys[0], c);
  keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
  keys[2] = Crc32Step(keys[2], uint8_t(keys[1] >> 24));
}

uint8_t TZipCrypt::ZipDecryptByte() const {
  const uint32_t temp = (keys[2] | 2) & 0xFFFF;
  return uint8_t((temp * (temp ^ 1)) >> 8);
}

uint8_t TZipCrypt::ZipDecodeByte(uint8_t c) {
  const uint8_t plain = c ^ ZipDecryptByte();
  ZipUpdateKeys(plain);
  return plain;
}

void TZipCrypt::Decode(uint8_t* buf, size_t n) {
  for (size_t i = 0; i < n; ++i) buf[i] = ZipDecodeByte(buf[i]);
}

bool ZipCheckHeader(TZipCrypt& crypt, const std::string& password, const uint8_t header[12],
                    uint32_t flags, uint32_t dosDateTime, uint32_t crc) {
  if (password.empty()) return false;
  crypt.ZipInitKeys(password);
  uint8_t h[12];
  std::memcpy(h, header, 12);
  crypt.Decode(h, 12);
  const uint8_t check = (flags & 8) ? uint8_t((dosDateTime >> 8) & 0xFF) : uint8_t(crc >> 24);
  return h[11] == check;
}

// ---------------------------------------------------------------- names

bool IsDirName(const std::string& storedName) {
  return !storedName.empty() && (storedName.back() == '/' || storedName.back() == '\\');
}

namespace {

// A control character (C0, DEL, or C1 written in UTF-8): no file name of
// ours, and a terminal or a log line would act on it.
bool HasControlCharacter(const std::string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (b < 0x20 || b == 0x7F) return true;
    if (b == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) < 0xA0 &&
        static_cast<unsigned char>(name[i + 1]) >= 0x80)
      return true;
  }
  return false;
}

}  // namespace

bool SplitSafeName(const std::string& storedName, std::vector<std::string>& parts) {
  parts.clear();
  if (storedName.empty()) return false;
  if (HasControlCharacter(storedName)) return false;
  if (storedName[0] == '/' || storedName[0] == '\\') return false;   // absolute
  if (storedName.size() >= 2 && storedName[1] == ':') return false;  // drive
  size_t start = 0;
  for (;;) {
    const size_t p = storedName.find_first_of("/\\", start);
    std::string part =
        storedName.substr(start, p == std::string::npos ? std::string::npos : p - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (part.find(':') != std::string::npos && parts.empty() && part.size() == 2) return false;
    parts.push_back(std::move(part));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return true;
}

bool FitNameParts(std::vector<std::string>& parts) {
  bool cut = false;
  for (std::string& part : parts) {
    std::string fitted = platform::FitFileName(part);
    if (fitted == part) continue;
    part = std::move(fitted);
    cut = true;
  }
  return cut;
}

void CreateDirectoryPath(const std::string& path) {
  if (path.empty()) throw E_RAISE(ecCreateDir, path);
  try {
    platform::MakeDirs(path);
  } catch (const platform::EFile&) {
    throw E_RAISE(ecCreateDir, path);
  }
}

// ---------------------------------------------------------------- times

time_t DosDateTimeToDateTime(uint32_t dos) {
  struct tm tm {};
  if (dos == 0) {
    tm.tm_year = 80;
    tm.tm_mday = 1;
  } else {
    const uint32_t date = dos >> 16, time = dos & 0xFFFF;
    tm.tm_year = int((date >> 9) & 0x7F) + 80;
    tm.tm_mon = int((date >> 5) & 0x0F) - 1;
    tm.tm_mday = int(date & 0x1F);
    tm.tm_hour = int((time >> 11) & 0x1F);
    tm.tm_min = int((time >> 5) & 0x3F);
    tm.tm_sec = int(time & 0x1F) * 2;
    if (tm.tm_mon < 0 || tm.tm_mon > 11) tm.tm_mon = 0;
    if (tm.tm_mday < 1) tm.tm_mday = 1;
  }
  tm.tm_isdst = -1;
  return mktime(&tm);
}

uint32_t DateTimeToDosDateTime(time_t t) {
  struct tm tm {};
  localtime_r(&t, &tm);
  if (tm.tm_year < 80) return 0x00210000;  // 1980-01-01 00:00
  if (tm.tm_year > 207) tm.tm_year = 207;
  const uint32_t date = uint32_t(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  const uint32_t time = uint32_t((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return (date << 16) | time;
}

time_t ArcUnixTimeToDateTime(int64_t seconds) {
  if (seconds == 0) {
    struct tm tm {};
    tm.tm_year = 80;
    tm.tm_mday = 1;
    tm.tm_min = 1;
    tm.tm_isdst = -1;
    return mktime(&tm);
  }
  return time_t(seconds < 0 ? -seconds : seconds);
}

int ArcPercentOf(int64_t part, int64_t whole) {
  if (whole <= 0) return 0;
  if (part <= 0) return 0;
  const long double r = (long double)part * 100.0L / (long double)whole + 0.5L;
  return r >= 100.0L ? 100 : int(r);
}

uint64_t ReadOctal(const char* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i)
    if (p[i] >= '0' && p[i] <= '7' && v < (uint64_t(1) << 60)) v = v * 8 + uint64_t(p[i] - '0');
  return v;
}

std::string VolumeExtension(int n, char letter, int currentVolume) {
  if (n < 0) return {};
  if (n < 10) return std::string(".") + letter + "0" + std::to_string(n);
  if (currentVolume >= 100) return "." + std::to_string(n);
  return std::string(".") + letter + std::to_string(n);
}

std::string NextVolumeName(const std::string& archiveName, int n, char letter, int currentVolume) {
  const auto slash = archiveName.find_last_of('/');
  const auto dot = archiveName.find_last_of('.');
  std::string base = archiveName;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
  return base + VolumeExtension(n, letter, currentVolume);
}

// ---------------------------------------------------------------- timer

void TarxTimer::Start() {
  elapsed_ = {};
  start_ = Clock::now();
  running_ = true;
}
void TarxTimer::Stop() {
  if (running_) elapsed_ += Clock::now() - start_;
  running_ = false;
}
void TarxTimer::Pause() { Stop(); }
void TarxTimer::Resume() {
  if (!running_) {
    start_ = Clock::now();
    running_ = true;
  }
}
float TarxTimer::ElapsedSeconds() const {
  auto e = elapsed_;
  if (running_) e += Clock::now() - start_;
  return std::chrono::duration<float>(e).count();
}

// ---------------------------------------------------------------- TReadWriteObj

TReadWriteObj::TReadWriteObj() = default;

size_t TReadWriteObj::ReadArchiveBlock(uint8_t* buf, size_t n) {
  if (n > bytesToRead_) n = size_t(bytesToRead_);
  if (n == 0) return 0;
  const size_t got = arc_.Read(buf, n);
  bytesToRead_ -= got;
  if (got < n) bytesToRead_ = 0;  // the file ends early: no more data
  if (decryptInput_) crypt_.Decode(buf, got);
  return got;
}

void TReadWriteObj::WriteBlock(const uint8_t* buf, size_t n, int crcKind) {
  if (crcKind == 32)
    crc_ = Crc32Update(crc_, buf, n);
  else if (crcKind == 16)
    crc_ = Crc16ArcUpdate(uint16_t(crc_), buf, n);
  CountOutput(n);
  if (sinkOpen_) {
    sink_(buf, n);
    return;
  }
  if (!platform::WriteAll(outFd_, std::string_view(reinterpret_cast<const char*>(buf), n))) {
    NoteOutputErrno(errno);
    throw E_RAISE(ecWriteFile);
  }
}

void TReadWriteObj::CountOutput(size_t n) {
  const bool entryPassed = maxEntryBytes_ && bytesWritten_ + n > maxEntryBytes_;
  if (entryPassed || (maxRunBytes_ && runBytes_ + n > maxRunBytes_)) {
    sizeLimitHit_ = true;
    entryLimitHit_ = entryLimitHit_ || entryPassed;
    throw E_RAISE(ecSizeLimit);
  }
  bytesWritten_ += n;
  runBytes_ += n;
}

void TReadWriteObj::NoteOutputErrno(int err) {
  const bool own = err == ENOSPC || err == EDQUOT || err == EFBIG || err == EIO;
  if (own && outputFailure_ == 0) outputFailure_ = err;
}

void TReadWriteObj::WriteDecodedBlock(uint8_t* buf, size_t n, int crcKind, bool encrypted) {
  if (encrypted && IsZipFamily(arcType_)) crypt_.Decode(buf, n);
  WriteBlock(buf, n, crcKind);
}

void TReadWriteObj::WriteDecodedBlockKeyed(uint8_t* buf, size_t n, int crcKind, bool encrypted) {
  WriteDecodedBlock(buf, n, crcKind, encrypted);
}

void TReadWriteObj::DecryptBlock(uint8_t* buf, size_t n) {
  if (IsZipFamily(arcType_)) crypt_.Decode(buf, n);
}

void TReadWriteObj::ReadExact(void* buf, size_t n) {
  if (arc_.Read(buf, n) != n) throw E_RAISE(ecReadFile, archiveFile_);
}

void TReadWriteObj::SeekArchive(uint64_t pos) {
  if (!arc_.Seek(pos)) throw E_RAISE(ecSeekError, archiveFile_);
}

// ---------------------------------------------------------------- TZipCommon

TZipCommon::TZipCommon() = default;

std::string TZipCommon::SetOutputName(const std::string& storedName) {
  return SetOutputNameUtf8(platform::DiskName(storedName));
}

std::string TZipCommon::SetOutputNameUtf8(const std::string& storedName) {
  outputParts_.clear();
  outputName_.clear();
  nameCutFrom_.clear();
  nameTakenFrom_.clear();
  std::vector<std::string> parts;
  if (!SplitSafeName(storedName, parts)) {
    ReportError(ecInvalidFileName, storedName);
    return {};
  }
  auto* self = static_cast<TUnBase*>(this);
  if (self->UseStoredDirs)
    outputParts_ = parts;
  else
    outputParts_.push_back(parts.back());
  // BeginFile tells of a cut name once the entry's output name is final.
  nameCutFrom_ = FitNameParts(outputParts_) ? storedName : std::string();
  outputName_ = extractDirEff_;
  for (size_t i = 0; i < outputParts_.size(); ++i) {
    if (i) outputName_ += '/';
    outputName_ += outputParts_[i];
  }
  if (sink_) return outputName_;
  // Two long names cut to one, or a cut name and an entry of that very
  // name: each gets a file of its own.
  struct stat st;
  const bool cut = !nameCutFrom_.empty();
  if (cut ? ::lstat(outputName_.c_str(), &st) == 0 : cutNamesMade_.count(outputName_) > 0) {
    const std::string free = platform::FreeNameBeside(outputName_);
    if (free.empty()) {
      ReportError(ecInvalidFileName, storedName);
      outputParts_.clear();
      outputName_.clear();
      nameCutFrom_.clear();
      return {};
    }
    if (!cut) nameTakenFrom_ = storedName;
    outputName_ = free;
    outputParts_.back() = platform::NameOf(free);
  }
  return outputName_;
}

std::string TZipCommon::NextVolumeName(const std::string& archiveName, int n) {
  return velmaris::NextVolumeName(archiveName, n, volLetter_ ? volLetter_ : 'a', volumeNumber_);
}

time_t TZipCommon::DosDateToDateTime(uint32_t dosDateTime) {
  return DosDateTimeToDateTime(dosDateTime);
}

namespace {

// Opens (and with create, makes) each directory of parts[0..count) below
// dirFd, never following a symbolic link. Returns the fd of the last one or -1.
int OpenDirChain(int baseFd, const std::vector<std::string>& parts, size_t count, bool create) {
  int fd = ::dup(baseFd);
  if (fd < 0) return -1;
  for (size_t i = 0; i < count; ++i) {
    int next = ::openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create) {
      if (::mkdirat(fd, parts[i].c_str(), 0777) != 0 && errno != EEXIST) {
        ::close(fd);
        return -1;
      }
      next = ::openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    ::close(fd);
    if (next < 0) return -1;
    fd = next;
  }
  return fd;
}

}  // namespace

bool TZipCommon::OpenOutput() {
  if (outputParts_.empty()) return false;
  if (sink_) {
    sinkOpen_ = true;
    bytesWritten_ = 0;
    return true;
  }
  try {
    CreateDirectoryPath(extractDirEff_);
  } catch (const E_RAISE&) {
    NoteOutputErrno(errno);
    return false;
  }
  const int base = ::open(extractDirEff_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (base < 0) return false;
  const int dirFd = OpenDirChain(base, outputParts_, outputParts_.size() - 1, true);
  if (dirFd < 0) NoteOutputErrno(errno);
  ::close(base);
  if (dirFd < 0) return false;
  const std::string& leaf = outputParts_.back();
  struct stat st;
  if (::fstatat(dirFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!S_ISREG(st.st_mode)) {  // a link, a directory or a device: never written through
      ::close(dirFd);
      return false;
    }
    // A fresh file in place of the old one: a read-only file or one with
    // other hard links is replaced, not written into.
    if (::unlinkat(dirFd, leaf.c_str(), 0) != 0) {
      ::close(dirFd);
      return false;
    }
  }
  outFd_ =
      ::openat(dirFd, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (outFd_ < 0) NoteOutputErrno(errno);
  if (outFd_ >= 0 && (!nameCutFrom_.empty() || !nameTakenFrom_.empty()))
    cutNamesMade_.insert(outputName_);
  ::close(dirFd);
  bytesWritten_ = 0;
  return outFd_ >= 0;
}

bool TZipCommon::CloseOutput() {
  sinkOpen_ = false;
  if (outFd_ < 0) return true;
  const int r = ::close(outFd_);
  if (r != 0) NoteOutputErrno(errno);
  outFd_ = -1;
  return r == 0;
}

void TZipCommon::RemoveOutput() {
  CloseOutput();
  if (outputParts_.empty() || sink_) return;
  const int base = ::open(extractDirEff_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (base < 0) return;
  const int dirFd = OpenDirChain(base, outputParts_, outputParts_.size() - 1, false);
  ::close(base);
  if (dirFd < 0) return;
  struct stat st;
  if (::fstatat(dirFd, outputParts_.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(st.st_mode))
    ::unlinkat(dirFd, outputParts_.back().c_str(), 0);
  ::close(dirFd);
}

void TZipCommon::RaiseError(int code, const std::string& fileName, const std::string& msgEx,
                            const std::string& volumeId) {
  auto* self = static_cast<TUnBase*>(this);
  if (self->OnError && !(runActive_ && cancel_))
    self->OnError(*self, fileName, msgEx, volumeId, code);
  errorFired_ = true;
  throw E_RAISE(code, fileName);
}

void TZipCommon::ReportError(int code, const std::string& fileName, const std::string& msgEx,
                             const std::string& volumeId) {
  auto* self = static_cast<TUnBase*>(this);
  if (self->OnError && !(runActive_ && cancel_)) {
    const auto p = fileName.find_last_of("/\\");
    self->OnError(*self, p == std::string::npos ? fileName : fileName.substr(p + 1), msgEx,
                  volumeId, code);
  }
}

void TZipCommon::RaiseUnsupportedMethod(const std::string& entry, const std::string& method) {
  if (unsupportedMethod_.empty()) unsupportedMethod_ = entry + ": " + method;
  auto* self = static_cast<TUnBase*>(this);
  if (self->OnError && !(runActive_ && cancel_))
    self->OnError(*self, entry, method, "", ecUnsupportedMethod);
  errorFired_ = true;
  throw EUnsupportedMethod(entry, method);
}

void TZipCommon::ReportUnsupportedMethod(const std::string& entry, const std::string& method) {
  if (unsupportedMethod_.empty()) unsupportedMethod_ = entry + ": " + method;
  ReportError(ecUnsupportedMethod, entry, method);
}

namespace {

// The ZIP methods that packers write and that the application note names:
// an entry packed with one is sound as far as we can tell, though we do not
// read it.
struct TZipMethodName {
  uint32_t method;
  const char* name;
};
const TZipMethodName kZipMethodNames[] = {
    {7, "Tokenize"},        {9, "Deflate64"}, {10, "PKWARE DCL Implode"},
    {12, "bzip2"},          {14, "LZMA"},     {16, "IBM z/OS CMPSC"},
    {18, "IBM TERSE"},      {19, "IBM LZ77"}, {20, "Zstandard"},
    {93, "Zstandard"},      {94, "MP3"},      {95, "XZ"},
    {96, "JPEG variant"},   {97, "WavPack"},  {98, "PPMd"},
    {99, "AES encryption"},
};

}  // namespace

std::string ZipMethodName(uint32_t method) {
  const std::string number = "method " + std::to_string(method);
  for (const auto& n : kZipMethodNames)
    if (n.method == method) return std::string(n.name) + ", " + number;
  return number;
}

bool IsNamedZipMethod(uint32_t method) {
  for (const auto& n : kZipMethodNames)
    if (n.method == method) return true;
  return false;
}

// ---------------------------------------------------------------- TUnBase

TUnBase::TUnBase() { About = "Velmaris archive extraction library"; }

TUnBase::~TUnBase() { CloseOutput(); }

void TUnBase::SetExtractDir(const std::string& dir) {
  if (!dir.empty()) {
    extractDir_ = dir;
    for (auto& c : extractDir_)
      if (c == '\\') c = '/';
    if (extractDir_.back() != '/') extractDir_ += '/';
  } else if (!archiveFile_.empty()) {
    const auto p = archiveFile_.find_last_of('/');
    extractDir_ = p == std::string::npos ? std::string() : archiveFile_.substr(0, p + 1);
  } else {
    extractDir_.clear();
  }
}

void TUnBase::SetFileSpec(const std::vector<std::string>& lines) {
  fileSpec_.clear();
  for (std::string l : lines) {
    if (l.empty()) continue;
    for (auto& c : l)
      if (c == '\\') c = '/';
    fileSpec_.push_back(std::move(l));
  }
}

bool TUnBase::FileSpecMatch(const std::string& name, bool fileNamesOnly) const {
  bool matched = false;
  for (const auto& line : fileSpec_) {
    if (line == "*.*" || platform::MutualWildcardMatch(line, name, fileNamesOnly)) {
      matched = true;
      break;
    }
  }
  if (!matched) return false;
  for (const auto& line : ExcludeSpec)
    if (line == "*.*" || platform::MutualWildcardMatch(line, name, false)) return false;
  return true;
}

void TUnBase::Extract() { ExtractArchive(); }

void TUnBase::ExtractArchive() {
  cancel_ = false;
  entryCounter_ = 0;
  filesExtracted_ = 0;
  outputFailure_ = 0;
  runBytes_ = 0;
  sizeLimitHit_ = entryLimitHit_ = declaredTooLarge_ = false;
  unsupportedMethod_.clear();
  cutNamesMade_.clear();
  totalPacked_ = totalUnpacked_ = archiveDone_ = 0;
  entryPacked_ = entryUnpacked_ = 0;
  progressByFile_ = progressByArchive_ = 0;
  maxDosDate_ = 0;
  if (CpuType == cpt80486) CpuType = cptAuto;
  const std::string archiveAtStart = archiveFile_;
  if (archiveFile_.empty()) RaiseError(ecFileNotFound, archiveFile_);
  const bool supported = ArcTypeResolved(arcType_) && arcType_ != atHa && arcType_ != atMsGZ &&
                         arcType_ != atPak && arcType_ != atPakExe;
  if (!supported) RaiseError(ecUnsupportedType, archiveFile_);
  // The directory of this run.
  extractDirEff_ = extractDir_;
  if (extractDirEff_.empty()) {
    const auto p = archiveFile_.find_last_of('/');
    extractDirEff_ = p == std::string::npos ? "./" : archiveFile_.substr(0, p + 1);
  }
  const bool outsideLibrary = arcType_ == atACE || arcType_ == atCab || arcType_ == atRar;
  if (!outsideLibrary && !arc_.Open(archiveFile_)) RaiseError(ecOpenFile, archiveFile_);
  runActive_ = true;
  if (OnActivate) OnActivate(*this);
  bytesToRead_ = arcSize_;
  if (arc_.IsOpen()) arc_.Seek(startOffset_ <= arc_.Size() ? startOffset_ : arc_.Size());
  fileList_.INIT();
  if (OnElapsedTime) timer_.Start();
  auto finish = [&] {
    if (OnElapsedTime) {
      timer_.Stop();
      OnElapsedTime(*this, timer_.ElapsedSeconds());
    }
    if (OnDeactivate) OnDeactivate(*this);
    fileList_.DONE();
    arc_.Close();
    runActive_ = false;
    decryptInput_ = false;
    archiveFile_ = archiveAtStart;
  };
  errorFired_ = false;
  try {
    ExtractIt();
  } catch (const E_RAISE& e) {
    // Raised directly (a decoder, a short read): OnError still hears of it.
    if (!errorFired_ && OnError && !cancel_)
      OnError(*this, e.FileName().empty() ? archiveFile_ : e.FileName(), "0", "", e.Code());
    if (OutputOpen()) RemoveOutput();  // a half-written file is no result
    try {
      finish();
    } catch (...) {
    }
    throw;
  } catch (...) {
    if (OutputOpen()) RemoveOutput();
    try {
      finish();
    } catch (...) {
    }
    throw;
  }
  if (OutputOpen()) RemoveOutput();
  finish();
}

bool TUnBase::BeginFile(const std::string& outName, uint32_t dosDateTime, bool& exists) {
  if (declaredTooLarge_) {
    sizeLimitHit_ = true;
    RaiseError(ecSizeLimit, archiveFile_);
  }
  progressByFile_ = 0;
  if (OnProgress) OnProgress(*this, progressByFile_, progressByArchive_);
  struct stat st;
  exists = !sink_ && ::lstat(outName.c_str(), &st) == 0;
  if (exists && ConfirmOverwrites) {
    if (OnFileExists)
      OnFileExists(*this, outName, st.st_mtime, OverwriteMode);
    else
      OverwriteMode = omSkip;
  }
  if (cancel_) return false;
  if (exists && OverwriteMode == omSkip) return true;
  ++entryCounter_;
  bool extract = true;
  if (OnBegin) OnBegin(*this, outName, entryCounter_, extract);
  if (extract && OnRenameCompressedFile) {
    std::string name = outName;
    OnRenameCompressedFile(*this, name);
    if (name != outName) {
      // The new name must stay below the extract directory.
      std::string rel;
      if (name.compare(0, extractDirEff_.size(), extractDirEff_) == 0)
        rel = name.substr(extractDirEff_.size());
      else if (name.find('/') == std::string::npos)
        rel = (outputParts_.size() > 1
                   ? outName.substr(extractDirEff_.size(),
                                    outName.find_last_of('/') + 1 - extractDirEff_.size())
                   : std::string()) +
              name;
      std::vector<std::string> parts;
      if (rel.empty() || !SplitSafeName(rel, parts)) {
        ReportError(ecInvalidFileName, name);
        outputParts_.clear();
        outputName_.clear();
      } else {
        // A new name too long for the file system is cut as a stored one is.
        FitNameParts(parts);
        outputParts_ = parts;
        outputName_ = extractDirEff_;
        for (size_t i = 0; i < parts.size(); ++i) outputName_ += (i ? "/" : "") + parts[i];
      }
    }
  }
  if (extract && !nameCutFrom_.empty() && !outputName_.empty() && OnNameCut)
    OnNameCut(*this, nameCutFrom_, outputName_);
  if (extract && !nameTakenFrom_.empty() && !outputName_.empty() && OnNameTaken)
    OnNameTaken(*this, nameTakenFrom_, outputName_);
  return !cancel_;
}

void TUnBase::EndFile(uint32_t attr, uint32_t dosDateTime) {
  EndFileAt(attr, DosDateToDateTime(dosDateTime));
}

void TUnBase::EndFileAt(uint32_t attr, time_t when) {
  if (sinkOpen_) CloseOutput();
  if (outFd_ < 0) return;
  time_t t = 0;
  bool setTime = true;
  switch (DateAttribute) {
    case daFileDate: t = when; break;
    case daMaxFileDate: t = maxDosDate_ ? DosDateToDateTime(maxDosDate_) : when; break;
    case daSysDate: setTime = false; break;
  }
  if (setTime) {
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = t;
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    ::futimens(outFd_, ts);
  }
  if (RestoreFileAttr && attr != 32 && (attr & 1)) ::fchmod(outFd_, 0444);  // read-only
  if (!CloseOutput()) RaiseError(ecWriteFile, outputName_);
}

void TUnBase::EndEntry(const std::string& fn, bool crcPass) {
  if (OnEnd) OnEnd(*this, fn, crcPass);
  if (!crcPass) {
    // Wrong data is no result: the file goes, the failure is reported and
    // the walk goes on with the next entry.
    RemoveOutput();
    ReportError(ecCrcCheck, fn);
    return;
  }
  ++filesExtracted_;
}

void TUnBase::MakeEntryDirectory(const std::string& storedName, bool utf8) {
  if (!UseStoredDirs || sink_) return;
  std::string name = utf8 ? storedName : platform::DiskName(storedName);
  while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
  std::vector<std::string> parts;
  if (!SplitSafeName(name, parts)) {
    ReportError(ecInvalidFileName, storedName);
    return;
  }
  // Cut as the names of the entries in it are (SetOutputNameUtf8).
  if (FitNameParts(parts) && OnNameCut) {
    std::string made = extractDirEff_;
    for (size_t i = 0; i < parts.size(); ++i) made += (i ? "/" : "") + parts[i];
    OnNameCut(*this, name, made);
  }
  try {
    CreateDirectoryPath(extractDirEff_);
  } catch (const E_RAISE&) {
    RaiseError(ecCreateDir, extractDirEff_);
  }
  const int base = ::open(extractDirEff_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (base < 0) RaiseError(ecCreateDir, extractDirEff_);
  const int fd = OpenDirChain(base, parts, parts.size(), true);
  ::close(base);
  if (fd < 0) {
    ReportError(ecCreateDir, storedName);
    return;
  }
  ::close(fd);
}

void TUnBase::BeginEntryData(uint64_t packedSize, uint64_t unpackedSize) {
  entryPacked_ = packedSize;
  entryUnpacked_ = unpackedSize;
  bytesToRead_ = packedSize;
  bytesWritten_ = 0;
}

void TUnBase::Unstore(int crcKind, bool encrypted) {
  std::vector<uint8_t> buf(32768);
  const bool savedDecrypt = decryptInput_;
  decryptInput_ = false;
  while (bytesToRead_ > 0 && !cancel_) {
    const size_t want = size_t(std::min<uint64_t>(bytesToRead_, buf.size()));
    const size_t got = ReadArchiveBlock(buf.data(), want);
    if (got == 0) break;
    if (encrypted) DecryptBlock(buf.data(), got);
    WriteBlock(buf.data(), got, crcKind);
    archiveDone_ += got;
    ProgressAfterBlock();
    if (got < want) break;
  }
  decryptInput_ = savedDecrypt;
}

void TUnBase::ProgressUpdate(uint64_t doneOfEntry, uint64_t entrySize, uint64_t doneOfArchive) {
  progressByFile_ = ArcPercentOf(int64_t(doneOfEntry), int64_t(entrySize));
  progressByArchive_ = ArcPercentOf(int64_t(doneOfArchive), int64_t(totalPacked_));
  if (OnProgress) OnProgress(*this, progressByFile_, progressByArchive_);
}

void TUnBase::ProgressAfterBlock() {
  if (OnProgress) ProgressUpdate(bytesWritten_, entryUnpacked_, archiveDone_);
}

void TUnBase::SkipEntryProgress(uint64_t packedSize) {
  archiveDone_ += packedSize;
  if (OnProgress) ProgressUpdate(0, 0, archiveDone_);
}

void TUnBase::AddToTotals(uint64_t packed, uint64_t unpacked, uint32_t dosDateTime) {
  totalPacked_ += packed;
  totalUnpacked_ += unpacked;
  if (dosDateTime > maxDosDate_) maxDosDate_ = dosDateTime;
  if (maxEntryBytes_ && unpacked > maxEntryBytes_) entryLimitHit_ = declaredTooLarge_ = true;
  if (maxRunBytes_ && totalUnpacked_ > maxRunBytes_) declaredTooLarge_ = true;
}

bool TUnBase::DeclaredDataSound(const std::string& name, uint64_t dataPos, uint64_t packed,
                                uint64_t unpacked, bool stored, uint64_t storedOverhead) {
  const uint64_t size = arc_.Size();
  if (dataPos > size || packed > size - dataPos) {
    ReportError(ecReadFile, name);
    return false;
  }
  if (stored && (packed < storedOverhead || unpacked != packed - storedOverhead)) {
    ReportError(ecBadFileHeader, name);
    return false;
  }
  return true;
}

bool TUnBase::AskNextVolume(std::string& name) {
  if (volumeNumber_ >= 999) RaiseError(ecMaxVolumes, archiveFile_);
  name = NextVolumeName(archiveFile_, nextVolNum_);
  for (;;) {
    struct stat st;
    const bool exists = ::stat(name.c_str(), &st) == 0;
    bool cancel = true;
    OnNextVolume(*this, name, volumeNumber_ + 1, exists, cancel);
    if (cancel) return false;
    if (name.empty()) RaiseError(ecInvalidFileName, archiveFile_);
    if (::stat(name.c_str(), &st) == 0) break;
  }
  ++volumeNumber_;
  ++nextVolNum_;
  return true;
}

bool TUnBase::OpenNextVolume() {
  if (!OnNextVolume) return false;
  std::string name;
  if (!AskNextVolume(name)) return false;
  if (!arc_.Close()) RaiseError(ecCloseFile, archiveFile_);
  if (!arc_.Open(name)) {
    arc_.Open(archiveFile_);
    RaiseError(ecReadFile, name);
  }
  archiveFile_ = name;
  arcSize_ = arc_.Size();
  return true;
}

}  // namespace velmaris
