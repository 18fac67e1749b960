// Failures in archive/: an extractor raises E_RAISE with the library's error
// code after OnError has heard of it (RaiseError), or reports and goes on
// (ReportError); the decoders' own exceptions (EArcDecode, ELzhData) become
// E_RAISE codes in the extractor that called them. The packers and unpack
// jobs answer false and tell the user through the Prompter.
//
// The shared part of the integrated extractors: error codes, the PKWARE
// traditional cipher, times, names and the extraction run of TUnBase with its
// properties, events and output handling.
//
// Writing an extractor (see arxUnZIP.cpp for a full one):
//
//   class TUnXYZ : public TUnBase {
//    public:
//     TUnXYZ() { About = ...; }
//    protected:
//     void ExtractIt() override;   // the format's walk; the only override
//   };
//
// ExtractIt runs inside Extract() with the archive open as `arc_` (a
// TArxStream; StartOffset() is where the format's first header begins). A
// typical walk:
//   1. First pass: read each header (ReadExact raises 25236 on a short read),
//      test the stored name with FileSpecMatch(name) and append the chosen
//      entries to fileList_ (TarxFileRec). Directory entries (IsDirName or a
//      directory attribute) go to MakeEntryDirectory and are never files.
//      AddToTotals(packed, unpacked, dosTime) counts a chosen entry.
//   2. Second pass, for each record while !Cancelled():
//        std::string out = SetOutputName(storedName);  // "" = refused, reported
//        if (out.empty()) continue;
//        bool exists;
//        if (!BeginFile(out, dosTime, exists)) break;      // cancelled
//        if (exists && OverwriteMode == omSkip) { SkipEntryProgress(size); continue; }
//        if (!OpenOutput()) RaiseError(ecOpenFile, out);   // or ReportError + continue
//        crc_ = 0xFFFFFFFF (CRC-32) or 0 (CRC-16);
//        BeginEntryData(packedSize, unpackedSize);        // input limit, progress
//        ... decode: ReadArchiveBlock() for input (never past the entry),
//            WriteBlock(buf, n, 32 or 16) for output (adds to crc_) ...
//        EndFile(attr, dosTime);                          // date, attributes, close
//        EndEntry(out, (crc_ ^ 0xFFFFFFFF) == storedCrc); // OnEnd; a mismatch
//                      // removes the output and reports 25151
//   Errors: RaiseError(code, fileName) ends the run (E_RAISE, after OnError);
//   ReportError(code, fileName) fires OnError and goes on. An exception that
//   leaves ExtractIt removes a half-written output file.
//   Decoders are bounded by the entry: ReadArchiveBlock returns 0 at its end;
//   treat running dry before the output is complete as ecBadBlock / ecReadFile.
//   A new extractor adds its line to ExtractorTable() in arxMain.cpp.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/arxMain.h"
#include "core/ByteOrder.h"
#include "core/Crc.h"

namespace velmaris {

// Error codes of the library; ArxErrorText gives their texts.
enum : int {
  ecBadFileHeader = 25108,
  ecBadBlock = 25109,
  ecBadHuffmanCode = 25120,
  ecIncorrectBits = 25134,
  ecBrokenVolumeChain = 25135,
  ecWriteFile = 25136,
  ecCloseFile = 25137,
  ecIncompleteCodeSet = 25138,
  ecCrcCheck = 25151,
  ecInvalidDecodeTree = 25152,
  ecCreateDir = 25153,
  ecNotAccessible = 25157,
  ecEofNotFound = 25158,
  ecFileNotFound = 25172,
  ecOpenFile = 25235,
  ecReadFile = 25236,
  ecHeaderCrc = 25237,
  ecUnsupportedType = 25242,
  ecInvalidFileName = 25243,
  ecBadLengths = 25247,
  ecInconsistentLocalHeader = 25248,
  ecMaxVolumes = 25250,
  ecOutOfMemory = 25253,
  ecUnrarNotFound = 25258,
  ecRarEncrypted = 25259,
  ecSizeLimit = 25264,
  // The RAR reader's process was ended from outside or stopped: the
  // archive is not at fault.
  ecReaderStopped = 25265,
  ecEventNotAssigned = 25270,
  ecSeekError = 25292,
  ecAmbiguousTree = 25293,
  ecStackOverflow = 25298,
  ecUnsupportedMethod = 25326,
  ecVersionError = 25402,
  ecInvalidPassword = 26517,
  ecPasswordFailed = 26522,
};

// The text of an error code; "" for a code the library does not know.
const char* ArxErrorText(int code);

// The exception of the library: its message is the text of the code.
class E_RAISE : public std::runtime_error {
 public:
  explicit E_RAISE(int code, std::string fileName = {});
  int Code() const { return code_; }
  const std::string& FileName() const { return fileName_; }

 private:
  int code_;
  std::string fileName_;
};

// An entry packed with a method the library does not decode (code 25326,
// "Unsupported compression method"). The archive may well be sound: the
// limit is ours, not damage. Entry() is the stored name (the FileName), and
// Method() the method as the format names it: "Deflate64, method 9",
// "bzip2, method 12", "-lh7-", "ARJ method 5", "ARC method 10". OnError hears
// of it with the method as its further words, so the error line reads
// "<entry>: Unsupported compression method (Deflate64, method 9)".
class EUnsupportedMethod : public E_RAISE {
 public:
  EUnsupportedMethod(const std::string& entry, std::string method)
      : E_RAISE(ecUnsupportedMethod, entry), method_(std::move(method)) {}
  const std::string& Entry() const { return FileName(); }
  const std::string& Method() const { return method_; }

 private:
  std::string method_;
};

// The name of a ZIP compression method: "Deflate64, method 9", or
// "method 77" for one without a name.
std::string ZipMethodName(uint32_t method);
// Whether a packer writes the method (one of the named ones): only such an
// entry is "a method we do not read"; any other number is damage.
bool IsNamedZipMethod(uint32_t method);

// The PKWARE traditional cipher; one object per extraction.
struct TZipCrypt {
  uint32_t keys[3] = {0x12345678, 0x23456789, 0x34567890};
  void ZipInitKeys(const std::string& password);
  void ZipUpdateKeys(uint8_t c);
  uint8_t ZipDecryptByte() const;
  uint8_t ZipDecodeByte(uint8_t c);  // decrypts one byte and updates the keys
  void Decode(uint8_t* buf, size_t n);
};
// Initialises the keys from the password and decrypts the 12-byte header;
// true when its last byte is the check byte (high byte of the DOS time with
// flag bit 3, else the high byte of the CRC). The keys are then ready for the
// data. An empty password gives false.
bool ZipCheckHeader(TZipCrypt& crypt, const std::string& password, const uint8_t header[12],
                    uint32_t flags, uint32_t dosDateTime, uint32_t crc);

// Times are Unix seconds (time_t), local wall-clock meaning like the DOS
// fields. A DOS date-time of 0 gives 1980-01-01 00:00.
time_t DosDateTimeToDateTime(uint32_t dosDateTime);
uint32_t DateTimeToDosDateTime(time_t t);
// Seconds since 1970 (magnitude); 0 gives 1980-01-01 00:01.
time_t ArcUnixTimeToDateTime(int64_t seconds);
// part * 100 / whole, rounded, at most 100; 0 for a whole of 0 or below.
int ArcPercentOf(int64_t part, int64_t whole);
// The octal digits 0-7 of a text; other characters are skipped.
uint64_t ReadOctal(const char* p, size_t n);

// Volume names of multi-volume sets: ".a01" for n below 10, ".a12" from 10,
// ".123" when the current volume number is 100 or more; "" for negative n.
std::string VolumeExtension(int n, char letter, int currentVolume);
std::string NextVolumeName(const std::string& archiveName, int n, char letter, int currentVolume);

// An entry name that stands for a directory ("dir/" or "dir\").
bool IsDirName(const std::string& storedName);
// Splits a stored name on "/" and "\" into safe parts. False for an empty
// name, an empty, "." or ".." part, an absolute name, a drive ("C:") or a
// control character (bytes below 32 and 127, and U+0080 to U+009F in UTF-8;
// NUL among them).
bool SplitSafeName(const std::string& storedName, std::vector<std::string>& parts);
// Cuts each part that is longer than a file name may be as a received file's
// name is cut (platform::FitFileName: at a whole letter, the extension
// kept); true when one was cut. The parts stay safe.
bool FitNameParts(std::vector<std::string>& parts);
// Creates a directory and its missing parents; raises 25153 when it cannot
// (also for an empty path).
void CreateDirectoryPath(const std::string& path);

enum TOverwriteMode { omOverwrite, omSkip };
enum TCpuType { cptAuto, cpt80286, cpt80386, cpt80486 };
enum TDateAttribute { daFileDate, daSysDate, daMaxFileDate };

// One chosen entry of the first pass.
struct TarxFileRec {
  uint32_t Flags = 0;
  uint32_t Method = 0;
  uint64_t Offset = 0;  // of the entry's header in the archive
  uint64_t PackedSize = 0;
  uint64_t UnpackedSize = 0;
  uint32_t Crc = 0;
  uint32_t Attr = 32;  // DOS attributes (32 = archive only)
  uint32_t DosTime = 0;
  std::string Name;  // stored name, when the walk keeps it
};

class TarxFileList {
 public:
  void INIT() { items_.clear(); }
  void CLEAR_LIST() { items_.clear(); }
  void ADDITEM(const TarxFileRec& r) { items_.push_back(r); }
  void DONE() {
    items_.clear();
    items_.shrink_to_fit();
  }
  size_t Count() const { return items_.size(); }
  TarxFileRec& operator[](size_t i) { return items_[i]; }
  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }

 private:
  std::vector<TarxFileRec> items_;
};

// Measures a run.
class TarxTimer {
 public:
  void Start();
  void Stop();
  void Pause();
  void Resume();
  float ElapsedSeconds() const;

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point start_{};
  Clock::duration elapsed_{};
  bool running_ = false;
};

class TUnBase;

// Events; each fires only when assigned.
using TNotifyEvent = std::function<void(TUnBase& Sender)>;
using TOnBegin =
    std::function<void(TUnBase& Sender, const std::string& FN, int RecNum, bool& Extract)>;
using TOnEnd = std::function<void(TUnBase& Sender, const std::string& FN, bool CRC_PASS)>;
using TOnProgress = std::function<void(TUnBase& Sender, int ProgressByFile, int ProgressByArchive)>;
using TOnFileExists = std::function<void(TUnBase& Sender, const std::string& FN, time_t FileDate,
                                         TOverwriteMode& OverwriteMode)>;
using TOnRenameFile = std::function<void(TUnBase& Sender, std::string& FileName)>;
using TOnGetPassword = std::function<void(TUnBase& Sender, const std::string& FN,
                                          std::string& Password, bool& TryAgain)>;
using TOnNextVolume = std::function<void(TUnBase& Sender, std::string& VolumeName, int VolumeID,
                                         bool FExists, bool& Cancel)>;
using TOnCancelEvent = std::function<void(TUnBase& Sender, bool& Cancel)>;
using TOnZipNextDisk =
    std::function<void(TUnBase& Sender, const std::string& VolumeName, bool& Cancel)>;
using TOnCorruptZipHeader = std::function<void(TUnBase& Sender, int HeadFlag, bool& Cancel)>;
using TOnError =
    std::function<void(TUnBase& Sender, const std::string& FN, const std::string& MsgEx,
                       const std::string& VolumeID, int ECode)>;
using TOnElapsedTime = std::function<void(TUnBase& Sender, float ElapsedTime)>;
// An entry is written under a name cut to fit (FitNameParts): the name it
// came under (converted, as the disk takes names) and the output name.
using TOnNameCut = std::function<void(TUnBase& Sender, const std::string& StoredName,
                                      const std::string& OutName)>;

// Reading the archive and writing the decoded data with its checksum.
class TReadWriteObj : public TarxMain {
 public:
  TReadWriteObj();

 protected:
  // Up to n bytes of the current entry's data (limited by the bytes still to
  // read of the entry); 0 at its end. Decrypts when the entry is encrypted.
  virtual size_t ReadArchiveBlock(uint8_t* buf, size_t n);
  // Writes n bytes to the output and adds them to crc_: crcKind 32 = CRC-32,
  // 16 = CRC-16/ARC, 0 = none. A short write raises 25136.
  void WriteBlock(const uint8_t* buf, size_t n, int crcKind);
  // As WriteBlock; for the ZIP family an encrypted block is decrypted first.
  virtual void WriteDecodedBlock(uint8_t* buf, size_t n, int crcKind, bool encrypted);
  virtual void WriteDecodedBlockKeyed(uint8_t* buf, size_t n, int crcKind, bool encrypted);
  // Decrypts a block of stored data in place: PKWARE for the ZIP family;
  // other formats override it (ARJ).
  virtual void DecryptBlock(uint8_t* buf, size_t n);
  // Reads exactly n bytes of archive (headers); a short read raises 25236.
  void ReadExact(void* buf, size_t n);
  void SeekArchive(uint64_t pos);  // raises 25292

  TArxStream arc_;             // the archive during a run
  uint64_t bytesToRead_ = 0;   // of the current entry
  bool decryptInput_ = false;  // ReadArchiveBlock decrypts with crypt_
  TZipCrypt crypt_;            // the cipher of the current entry
  uint32_t crc_ = 0;           // the running checksum register
  int outFd_ = -1;             // the output file
  uint64_t bytesWritten_ = 0;  // of the current entry
  // The errno of the first failed write of our own in this run (the disk
  // or the file-size limit is full, an I/O error): no fault of the archive.
  int outputFailure_ = 0;
  // Records errno when it tells of such a failure.
  void NoteOutputErrno(int err);
  // Where the data goes instead of a file (OutputSink of TUnBase); open
  // between OpenOutput and CloseOutput.
  std::function<void(const uint8_t* data, size_t n)> sink_;
  bool sinkOpen_ = false;
  bool OutputOpen() const { return outFd_ >= 0 || sinkOpen_; }
  // Limits of the output (0: none): the bytes of one entry and of the whole
  // run. CountOutput adds n bytes about to be written to both counts and
  // raises 25264 instead when that would pass a limit.
  uint64_t maxEntryBytes_ = 0, maxRunBytes_ = 0;
  uint64_t runBytes_ = 0;
  bool sizeLimitHit_ = false;
  bool entryLimitHit_ = false;  // the limit met was that of one entry
  void CountOutput(size_t n);
};

class TZipCommon : public TReadWriteObj {
 public:
  TZipCommon();

 protected:
  // Builds the output name ExtractDir + (stored directory when UseStoredDirs)
  // + file name and returns it; a name that is not safe is reported as 25243
  // and "" returned. A name a cut made equal to another never replaces it:
  // a cut name that is there already (from before the run or from this run)
  // and a name an earlier entry of this run took by a cut get the first free
  // numbered name beside them (platform::FreeNameBeside), whatever
  // ConfirmOverwrites and OverwriteMode say. Any other name that is there
  // follows the overwrite mode. Stored names are in the OEM code page (a name that is
  // valid UTF-8 is kept as it is: platform/WireName.h); names on disk are
  // UTF-8. The safety checks apply to the converted name.
  virtual std::string SetOutputName(const std::string& storedName);
  // The same for a name stored in UTF-8 (a ZIP entry flagged so, a RAR
  // name given in Unicode).
  std::string SetOutputNameUtf8(const std::string& storedName);
  virtual std::string NextVolumeName(const std::string& archiveName, int n);
  virtual time_t DosDateToDateTime(uint32_t dosDateTime);
  // Creates the directories of the current output name below the extract
  // directory and the file; never through a symbolic link. False on failure.
  virtual bool OpenOutput();
  [[noreturn]] virtual void RaiseError(int code, const std::string& fileName,
                                       const std::string& msgEx = "0",
                                       const std::string& volumeId = "");
  virtual void ReportError(int code, const std::string& fileName, const std::string& msgEx = "0",
                           const std::string& volumeId = "");
  // An entry whose method is not decoded: reported as 25326 with the method
  // named, noted for UnsupportedMethod(), and raised as EUnsupportedMethod
  // (Raise...) or passed over (Report...).
  [[noreturn]] void RaiseUnsupportedMethod(const std::string& entry, const std::string& method);
  void ReportUnsupportedMethod(const std::string& entry, const std::string& method);
  // The first such entry of the run: "<entry>: <method>"; "" when none.
  std::string unsupportedMethod_;
  bool CloseOutput();
  // Removes the current output file (after a failed entry).
  void RemoveOutput();

  bool cancel_ = false;                   // set by Cancel(); ends the walk
  bool runActive_ = false;                // inside Extract()
  bool errorFired_ = false;               // RaiseError fired OnError for the exception in flight
  std::string outputName_;                // full output name
  std::string nameCutFrom_;               // the stored name when outputName_ is cut from it
  // The stored name when outputName_ is numbered because an earlier entry
  // of this run took it by a cut.
  std::string nameTakenFrom_;
  // The output names this run gave entries whose names were cut (or
  // numbered): a later entry of such a name never replaces them.
  std::set<std::string> cutNamesMade_;
  std::vector<std::string> outputParts_;  // its parts below extractDirEff_
  std::string extractDirEff_;             // the directory of this run, ends in "/"
};

class TUnBase : public TZipCommon {
 public:
  TUnBase();
  ~TUnBase() override;

  // Published properties.
  std::string About;
  bool ConfirmOverwrites = true;
  TOverwriteMode OverwriteMode = omOverwrite;
  TCpuType CpuType = cptAuto;
  bool RestoreFileAttr = true;
  bool UseStoredDirs = true;
  int PasswordAttempts = 3;
  TDateAttribute DateAttribute = daFileDate;
  std::string Password;                // RAR
  std::vector<std::string> Passwords;  // ZIP

  const std::string& ExtractDir() const { return extractDir_; }
  // A non-empty value gets a trailing "/"; an empty one with an archive name
  // is the archive's directory.
  void SetExtractDir(const std::string& dir);
  const std::vector<std::string>& FileSpec() const { return fileSpec_; }
  // Empty lines are dropped; "\" becomes "/".
  void SetFileSpec(const std::vector<std::string>& lines);
  std::vector<std::string> ExcludeSpec;  // same form as FileSpec

  // Events.
  TNotifyEvent OnActivate, OnDeactivate;
  TOnBegin OnBegin;
  TOnEnd OnEnd;
  TOnProgress OnProgress;
  TOnFileExists OnFileExists;
  TOnRenameFile OnRenameCompressedFile;
  TOnGetPassword OnGetPassword;
  TOnNextVolume OnNextVolume;
  TOnCancelEvent OnGetZipFirstDisk, OnGetZipLastDisk;
  TOnZipNextDisk OnGetZipNextDisk;
  TOnCorruptZipHeader OnCorruptZipHeader;
  TOnError OnError;
  TOnElapsedTime OnElapsedTime;
  // An entry (or a folder entry) whose name is longer than the file system
  // takes is never refused for that: it is written under the cut name and
  // this tells the name it came under (for a file, once BeginFile has its
  // output name, after OnRenameCompressedFile); the run goes on.
  TOnNameCut OnNameCut;
  // An entry whose own name an earlier entry of this run took by a cut is
  // written under a free numbered name: this tells the name it came under
  // and the output name (fired as OnNameCut is).
  TOnNameCut OnNameTaken;

  // The run: opens the archive, walks it and closes it. Failures leave as
  // E_RAISE after OnError was fired.
  void Extract();
  // May be called from event handlers; the walk ends at the next check.
  void Cancel() { cancel_ = true; }
  bool Cancelled() const { return cancel_; }

  // What the last run did.
  int FilesExtracted() const { return filesExtracted_; }
  int EntriesBegun() const { return entryCounter_; }
  // The errno of a write of our own that failed (ENOSPC, EDQUOT, EFBIG,
  // EIO): the output, not the archive, is at fault. 0 when none failed.
  int OutputFailure() const { return outputFailure_; }
  // Entries read back without a disk: when set, no folder and no file is
  // made, each chosen entry's data is handed here block by block as it is
  // decoded, and OnEnd tells whether the entry passed its checksum (OnBegin
  // starts it; a run that fails ends it without OnEnd). Set before Extract.
  void SetOutputSink(std::function<void(const uint8_t* data, size_t n)> sink) {
    sink_ = std::move(sink);
  }
  // Limits of a run's output (0: none): no entry grows past maxEntry bytes
  // and the run writes no more than maxTotal bytes in all, whatever the
  // headers say. The sizes the archive declares are held against them before
  // an entry is written. A run that meets a limit ends with 25264 and the
  // entry's output removed; SizeLimitHit() then answers true.
  void SetSizeLimits(uint64_t maxEntry, uint64_t maxTotal) {
    maxEntryBytes_ = maxEntry;
    maxRunBytes_ = maxTotal;
  }
  bool SizeLimitHit() const { return sizeLimitHit_; }
  // The limit met was that of one entry (its declared or its written size).
  bool EntryLimitHit() const { return entryLimitHit_; }
  // The unpacked sizes the archive declared for the entries the run saw.
  uint64_t DeclaredSize() const { return totalUnpacked_; }
  // The run met an entry packed with a method the library does not decode:
  // "<stored name>: <method>" of the first (see EUnsupportedMethod); "" when
  // it met none.
  const std::string& UnsupportedMethod() const { return unsupportedMethod_; }

 protected:
  virtual void ExtractIt() {}
  void ExtractArchive();

  bool FileSpecMatch(const std::string& name, bool fileNamesOnly = false) const;
  // Fires OnProgress, OnFileExists, OnBegin and OnRenameCompressedFile and
  // counts the entry; false when the run is cancelled. exists tells whether
  // the output file is there.
  bool BeginFile(const std::string& outName, uint32_t dosDateTime, bool& exists);
  // Sets the date by DateAttribute, closes the output and applies the
  // attributes (RestoreFileAttr, not for exactly 32).
  void EndFile(uint32_t attr, uint32_t dosDateTime);
  // The same with the entry's time as Unix seconds (LHA level 2 headers).
  void EndFileAt(uint32_t attr, time_t when);
  // After EndFile: fires OnEnd; a failed checksum removes the output and
  // reports 25151 (the run goes on).
  void EndEntry(const std::string& fn, bool crcPass);
  // A directory entry: made below the extract directory when UseStoredDirs
  // is on and the name is safe; never a file.
  void MakeEntryDirectory(const std::string& storedName, bool utf8 = false);
  // Copies a stored entry (bytesToRead_ bytes) to the output, decrypting
  // with DecryptBlock when encrypted.
  void Unstore(int crcKind, bool encrypted);
  // Starts the data of an entry: the input limit and the progress sizes.
  void BeginEntryData(uint64_t packedSize, uint64_t unpackedSize);
  void ProgressUpdate(uint64_t doneOfEntry, uint64_t entrySize, uint64_t doneOfArchive);
  void ProgressAfterBlock();  // from bytesWritten_ and the archive bytes consumed
  void SkipEntryProgress(uint64_t packedSize);
  // Counts a chosen entry's declared sizes (the run's totals); BeginFile
  // refuses to begin any entry once they pass the size limits.
  void AddToTotals(uint64_t packed, uint64_t unpacked, uint32_t dosDateTime);
  // Holds a chosen entry's declared sizes against the archive in the first
  // pass, before anything is written: data that would reach past the end of
  // the archive (25236), or a stored entry (its bytes kept as they are,
  // after storedOverhead bytes of its own such as an encryption header)
  // whose unpacked size differs from its data (25108), is damage. It is
  // reported, and the caller passes the entry over: nothing of it is
  // written and its sizes count toward no limit. False for such an entry.
  bool DeclaredDataSound(const std::string& name, uint64_t dataPos, uint64_t packed,
                         uint64_t unpacked, bool stored, uint64_t storedOverhead = 0);
  // Multi-volume sets.
  bool AskNextVolume(std::string& name);
  bool OpenNextVolume();

  std::string extractDir_;
  std::vector<std::string> fileSpec_;
  TarxFileList fileList_;
  TarxTimer timer_;
  uint64_t totalPacked_ = 0, totalUnpacked_ = 0;
  uint64_t archiveDone_ = 0;  // packed bytes of the run done
  uint64_t entryPacked_ = 0, entryUnpacked_ = 0;
  uint32_t maxDosDate_ = 0;  // newest entry date (daMaxFileDate)
  int progressByFile_ = 0, progressByArchive_ = 0;
  int filesExtracted_ = 0;
  bool declaredTooLarge_ = false;  // the declared sizes pass the size limits
};

}  // namespace velmaris
