// The root of the extraction library: the archive types, the archive file
// reader, type detection by signature (TarxMain) and the registry that maps a
// detected type to the extractor that reads it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/arxDiskMan.h"

namespace velmaris {

// Archive kinds; the order is the stored value 0..29. atNA to atUnknown are
// unresolved.
enum TArcType : int {
  atNA,
  atUnsupported,
  atFileOpenErr,
  atUnknown,
  atACE,
  atArc,
  atArcExe,
  atArj,
  atArjExe,
  atBh,
  atBhExe,
  atCab,
  atGZip,
  atHa,
  atJar,
  atLha,
  atLhaExe,
  atLzh,
  atLzhExe,
  atMsGZ,
  atPak,
  atPakExe,
  atRar,
  atRarExe,
  atTar,
  atUue,
  atZip,
  atZipExe,
  atZipMV,
  atZoo
};

const char* ArcTypeName(TArcType t);  // "atZip"
inline bool ArcTypeResolved(TArcType t) { return t > atUnknown; }
inline bool IsZipFamily(TArcType t) {
  return t == atBh || t == atBhExe || t == atJar || t == atZip || t == atZipExe || t == atZipMV;
}

// Header-state flags of a ZIP archive, set by detection.
enum : int {
  hsEndRecord = 0x01,      // the end-of-central-directory record was read
  hsCentralHeader = 0x08,  // a central header stands at the directory's offset
  hsLocalHeader = 0x10,    // a local header where the first central header points,
                           // or: walk the archive by its local headers
};

// A read-only archive file with a read-ahead buffer. Reads never go past the
// end of the file; a short count tells the caller.
class TArxStream {
 public:
  TArxStream() = default;
  ~TArxStream();
  TArxStream(const TArxStream&) = delete;
  TArxStream& operator=(const TArxStream&) = delete;

  bool Open(const std::string& path);  // false when it cannot be opened
  bool Close();                        // false when the close failed
  bool IsOpen() const { return fd_ >= 0; }
  uint64_t Size() const { return size_; }
  uint64_t Pos() const { return pos_; }
  bool Seek(uint64_t pos);  // false beyond the end of the file
  // Reads up to n bytes from the position; returns the count read.
  size_t Read(void* buf, size_t n);
  // Reads n bytes at an absolute offset without moving the position.
  size_t ReadAt(uint64_t offset, void* buf, size_t n);
  int64_t FileTime() const { return mtime_; }  // modification time, Unix seconds

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  uint64_t pos_ = 0;
  int64_t mtime_ = 0;
  std::vector<uint8_t> buf_;
  uint64_t bufStart_ = 0;  // file offset of buf_[0]
  size_t bufLen_ = 0;
};

// Type detection and the archive name; the base of every extractor.
class TarxMain {
 public:
  TarxMain();
  virtual ~TarxMain();

  const std::string& ArchiveFile() const { return archiveFile_; }
  // A non-empty name resets the entry counter, stores the name, detects the
  // type and derives the volume naming; an empty one clears the name and
  // sets atNA.
  virtual void SetArchiveFile(const std::string& name);
  TArcType ArcType() const { return arcType_; }
  // The value is ignored: writing runs the detection again.
  virtual void SetArcType(TArcType ignored);

  int ZipCmntBufSize() const { return zipCmntBufSize_; }
  void SetZipCmntBufSize(int size);  // clamped to 2000..32767

  // Detection: sets ArcType and the detection state below.
  void DetectArcType();
  // The type that the first four bytes (little-endian) name; sfx: a value
  // found inside an executable.
  TArcType ClassifySignature(uint32_t sig, bool sfx);

  // Detection state read by the extractors.
  uint64_t ArchiveSize() const { return arcSize_; }
  uint64_t StartOffset() const { return startOffset_; }
  int HeaderState() const { return headerState_; }
  uint32_t ArchiveFileDate() const { return arcFileDate_; }  // DOS date-time
  char VolumeLetter() const { return volLetter_; }
  int NextVolumeNumber() const { return nextVolNum_; }
  // ZIP end record: the central directory's offset (already corrected by
  // ZipShift), its size, entry count and start disk; ZipShift is the count of
  // bytes prepended to an archive whose offsets do not count them.
  uint64_t ZipCentralOffset() const { return zipCentralOffset_; }
  uint64_t ZipCentralSize() const { return zipCentralSize_; }
  uint64_t ZipEndRecordPos() const { return zipEndPos_; }
  int ZipCentralDisk() const { return zipCentralDisk_; }
  int64_t ZipShift() const { return zipShift_; }
  uint32_t ZipEndSignature() const { return zipEndSig_; }
  TDiskManager& DiskManager() { return diskMan_; }

 protected:
  // Pieces of the detection, run on an open stream.
  // True when the archive's start was found (startOffset_ set).
  bool FindZipEndRecord(TArxStream& f);
  bool LocateZipStart(TArxStream& f);
  TArcType ScanForEmbeddedArchive(TArxStream& f, uint64_t from);
  bool FindUueBegin(TArxStream& f);
  bool IsTarHeader(TArxStream& f);
  bool FindZipInStub(TArxStream& f);
  bool ReadPeStringOffsets(TArxStream& f, std::vector<uint64_t>& offsets);
  void DeriveVolumeNaming();

  std::string archiveFile_;
  TArcType arcType_ = atNA;
  int zipCmntBufSize_ = 2000;
  uint64_t arcSize_ = 0;
  uint64_t startOffset_ = 0;
  int headerState_ = 0;
  uint32_t arcFileDate_ = 0x7225;
  char volLetter_ = 0;
  int nextVolNum_ = 0;
  int volumeNumber_ = 1;  // the current volume of a multi-volume set
  int entryCounter_ = 0;  // entries begun in this run
  uint64_t zipCentralOffset_ = 0;
  uint64_t zipCentralSize_ = 0;
  uint64_t zipEndPos_ = 0;
  int zipCentralDisk_ = 0;
  int64_t zipShift_ = 0;
  uint32_t zipEndSig_ = 0;
  TDiskManager diskMan_;
};

// The type of a file without an extractor object.
TArcType DetectArchiveType(const std::string& path);

class TUnBase;

// The integrated extractors by archive type. Each extractor has one line in
// the table in arxMain.cpp; CreateExtractor gives a new extractor for the type
// or null when none reads it.
struct TExtractorInfo {
  const char* name;             // "UnZIP"
  std::vector<TArcType> types;  // the types it reads
  std::function<std::unique_ptr<TUnBase>()> make;
};
const std::vector<TExtractorInfo>& ExtractorTable();
std::unique_ptr<TUnBase> CreateExtractor(TArcType type);
// By name ("UnZIP", "UnARJ", ...), without case; null when unknown.
std::unique_ptr<TUnBase> CreateExtractorByName(const std::string& name);

}  // namespace velmaris
