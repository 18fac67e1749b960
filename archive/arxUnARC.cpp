#include "archive/arxUnARC.h"

#include "archive/ArcDecoders.h"
#include "archive/ArcHeader.h"

namespace velmaris {

namespace {

// Directory records nest; deeper nesting than this is taken for damage.
constexpr size_t kMaxDirDepth = 32;

// The header types: 1 to 9 the methods we read, 10 to 19 methods of other
// packers (PAK's 10 and 11, ARC 7's 12 to 19), 20 to 29 ARC 6's information
// items and 30 to 39 its control items (30 a directory, whose entries end
// with an end mark of their own; 31 the end of a directory). An item is a
// standard header whose size field gives the length of the data after it,
// so one we have no use for is stepped over. Higher numbers are reserved:
// a header that carries one is damaged.
constexpr uint32_t kArcLastMethod = 19;
constexpr int kArcFirstItem = 20;
constexpr int kArcLastItem = 39;

}  // namespace

TUnARC::TUnARC() = default;

void TUnARC::ExtractIt() {
  CollectEntries();
  for (auto& rec : fileList_) {
    if (cancel_) break;
    ExtractEntry(rec);
  }
}

// First pass: every header from the archive's start to the end mark; the
// entries FileSpec chooses go to the file list with their path.
void TUnARC::CollectEntries() {
  const uint64_t size = arc_.Size();
  uint64_t pos = StartOffset();
  // One name without "*" asked for: the first entry of that name is the one.
  const auto& wanted = FileSpec();
  const bool single = wanted.size() == 1 && wanted[0].find('*') == std::string::npos;
  std::vector<std::string> dirs;
  while (!cancel_ && pos < size) {
    uint8_t buf[kArcHeaderSize];
    const size_t got = arc_.ReadAt(pos, buf, sizeof buf);
    ArcEntryHeader h;
    const ArcHeaderResult r = DecodeArcHeader(buf, got, h);
    if (r == ArcHeaderResult::kBadMarker) {
      // Something else where a header belongs: the entries found so far are
      // extracted, but the damage is not passed over in silence.
      ReportError(ecBadFileHeader, archiveFile_);
      break;
    }
    if (r == ArcHeaderResult::kShort) {
      ReportError(ecReadFile, archiveFile_);
      break;
    }
    // The end mark of a directory's entries ends that directory.
    if (h.type == 0 && dirs.empty()) break;
    if (h.type == kArcDirEnd || h.type == 0) {
      if (!dirs.empty()) dirs.pop_back();
      pos += h.headerSize;
      continue;
    }
    if (h.type == kArcDirStart) {
      if (dirs.size() >= kMaxDirDepth) {
        ReportError(ecBadFileHeader, archiveFile_);
        break;
      }
      dirs.push_back(h.name);
      pos += h.headerSize;
      continue;
    }
    if (h.type >= kArcFirstItem && h.type <= kArcLastItem) {
      // Information about the archive or a file, a control item: nothing to
      // extract. An item that runs past the end leaves entries missing.
      pos += h.headerSize + uint64_t(h.packedSize);
      if (pos > size) {
        ReportError(ecReadFile, archiveFile_);
        break;
      }
      continue;
    }
    std::string path;
    for (const auto& d : dirs) path += d + "/";
    path += h.name;
    // Types 1 and 2 keep the bytes as they are.
    if (FileSpecMatch(h.name) && DeclaredDataSound(path, pos + h.headerSize, h.packedSize,
                                                   h.originalSize, h.type == 1 || h.type == 2)) {
      TarxFileRec rec;
      rec.Method = uint32_t(h.type);
      rec.Offset = pos;
      rec.PackedSize = h.packedSize;
      rec.UnpackedSize = h.originalSize;
      rec.Crc = h.crc;
      rec.DosTime = h.dosDateTime;
      rec.Attr = 32;
      rec.Name = path;
      fileList_.ADDITEM(rec);
      AddToTotals(h.packedSize, h.originalSize, h.dosDateTime);
      if (single) return;
    }
    pos += h.headerSize + uint64_t(h.packedSize);
  }
  // An archive ends with its end mark; the end of the file before it means
  // that entries may be missing.
  if (!cancel_ && pos == size) ReportError(ecReadFile, archiveFile_);
}

void TUnARC::ExtractEntry(const TarxFileRec& rec) {
  uint8_t buf[kArcHeaderSize];
  const size_t got = arc_.ReadAt(rec.Offset, buf, sizeof buf);
  ArcEntryHeader h;
  if (DecodeArcHeader(buf, got, h) != ArcHeaderResult::kOk || uint32_t(h.type) != rec.Method)
    RaiseError(ecBadFileHeader, rec.Name);

  if (rec.Method < 1 || rec.Method > 9) {
    // Nothing is made of an entry whose method we do not read; the run goes
    // on. Only the methods packers write (PAK's 10 and 11, ARC 7's) are our
    // limit; a number no packer writes is a damaged header.
    const std::string method = "ARC method " + std::to_string(rec.Method);
    if (rec.Method <= kArcLastMethod)
      ReportUnsupportedMethod(rec.Name, method);
    else
      ReportError(ecBadFileHeader, rec.Name, method);
    SkipEntryProgress(rec.PackedSize);
    return;
  }
  const std::string out = SetOutputName(rec.Name);
  if (out.empty()) {
    SkipEntryProgress(rec.PackedSize);
    return;
  }
  bool exists = false;
  if (!BeginFile(out, rec.DosTime, exists)) {
    cancel_ = true;
    return;
  }
  if (exists && OverwriteMode == omSkip) {
    SkipEntryProgress(rec.PackedSize);
    return;
  }
  if (outputParts_.empty()) return;  // renamed to a name that is not allowed
  if (!OpenOutput()) {
    ReportError(ecWriteFile, outputName_);
    SkipEntryProgress(rec.PackedSize);
    return;
  }
  SeekArchive(rec.Offset + h.headerSize);
  crc_ = 0;
  BeginEntryData(rec.PackedSize, rec.UnpackedSize);
  ArcInput in(
      [this](uint8_t* b, size_t n) -> size_t {
        if (cancel_) return 0;
        const size_t n2 = ReadArchiveBlock(b, n);
        archiveDone_ += n2;
        return n2;
      },
      rec.PackedSize);
  ArcSink sink(
      [this](const uint8_t* b, size_t n) {
        WriteBlock(b, n, 0);  // the sink keeps the CRC-16
        ProgressAfterBlock();
      },
      rec.UnpackedSize);
  try {
    ArcDecodeEntry(int(rec.Method), in, sink);
  } catch (const EArcDecode& e) {
    // Damaged data (a bad squeeze tree, more output than stored): the
    // entry is reported and nothing of it kept; the entries after it have
    // headers of their own and are read.
    RemoveOutput();
    ReportError(e.Code(), rec.Name);
    return;
  }
  if (cancel_) {
    RemoveOutput();
    return;
  }
  if (in.Short()) RaiseError(ecReadFile, rec.Name);
  EndFile(32, rec.DosTime);
  const bool pass = sink.Crc() == rec.Crc && sink.Count() == rec.UnpackedSize;
  EndEntry(out, pass);
}

}  // namespace velmaris
