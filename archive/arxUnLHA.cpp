#include "archive/arxUnLHA.h"

#include "archive/LzhDecoder.h"
#include "archive/LzhufDecoder.h"

namespace velmaris {

namespace {

// An archive that begins with a 0 byte carries a 128-byte block in front
// (a MacBinary header).
constexpr uint64_t kPrefixBlock = 128;

}  // namespace

uint32_t LhaDosTime(const TLhaHeader& h) {
  if (h.Level == 2) return DateTimeToDosDateTime(ArcUnixTimeToDateTime(h.Stamp));
  return h.Stamp;
}

// The compressed data of the current entry, bounded by its packed size.
class TUnLHA::Source : public TLzhSource {
 public:
  explicit Source(TUnLHA& x) : x_(x) {}
  size_t Read(uint8_t* buf, size_t n) override {
    const size_t got = x_.ReadArchiveBlock(buf, n);
    x_.archiveDone_ += got;
    return got;
  }

 private:
  TUnLHA& x_;
};

// The decoded data: written to the output with the CRC-16.
class TUnLHA::Sink : public TLzhSink {
 public:
  explicit Sink(TUnLHA& x) : x_(x) {}
  void Write(const uint8_t* data, size_t n) override {
    x_.WriteBlock(data, n, 16);
    x_.ProgressAfterBlock();
  }

 private:
  TUnLHA& x_;
};

TUnLHA::TUnLHA() = default;

void TUnLHA::FirstPass(uint64_t start) {
  const auto& wanted = FileSpec();
  const bool single = wanted.size() == 1 && wanted[0].find('*') == std::string::npos;
  uint64_t pos = start;
  auto read = [this](uint8_t* b, size_t n) { return arc_.Read(b, n); };
  while (!cancel_ && pos < arc_.Size()) {
    SeekArchive(pos);
    TLhaHeader h;
    const TLhaRead r = ReadLhaHeader(read, h);
    if (r == TLhaRead::End) break;
    if (r != TLhaRead::Ok) {
      // The entries collected so far are still extracted.
      ReportError(r == TLhaRead::Short ? ecReadFile : ecBadFileHeader, archiveFile_);
      break;
    }
    const uint64_t dataPos = pos + h.HeaderSize;
    pos = dataPos + h.PackedSize;
    if (!FileSpecMatch(h.Name)) continue;
    if (h.IsDirectory()) {
      MakeEntryDirectory(h.Name);
      continue;
    }
    TarxFileRec rec;
    rec.Method = static_cast<uint8_t>(h.MethodChar());
    rec.Offset = dataPos - h.HeaderSize;
    rec.PackedSize = h.PackedSize;
    rec.UnpackedSize = h.OriginalSize;
    rec.Crc = h.Crc;
    rec.Attr = h.Attr;
    rec.DosTime = LhaDosTime(h);
    rec.Name = h.Name;
    // "-lh0-" and LArc's "-lz4-" keep the bytes as they are.
    if (!DeclaredDataSound(h.Name, dataPos, h.PackedSize, h.OriginalSize,
                           h.Method == "-lh0-" || h.Method == "-lz4-"))
      continue;
    fileList_.ADDITEM(rec);
    AddToTotals(h.PackedSize, h.OriginalSize, rec.DosTime);
    if (single) break;
  }
}

void TUnLHA::Decode(const TLhaHeader& h, const std::string& fn) {
  const TLzhCancelCheck cancel = [this] { return cancel_; };
  Source src(*this);
  Sink sink(*this);
  try {
    switch (h.MethodChar()) {
      case '0':
        Unstore(16, false);
        if (!cancel_ && bytesWritten_ != h.OriginalSize) RaiseError(ecReadFile, fn);
        break;
      case '1': {
        TLzhufDecoder dec;
        dec.Decode(src, sink, h.OriginalSize, cancel);
        break;
      }
      case '4':
      case '5':
      case '6': {
        TLzhDecoder dec(TLzhSettings::Lha(h.MethodChar() - '0'));
        dec.LzhDecode(src, sink, h.OriginalSize, cancel);
        break;
      }
      default: RaiseUnsupported(fn, h.Method);
    }
  } catch (const ELzhData& e) {
    RaiseError(e.Code, fn);
  }
}

void TUnLHA::ExtractEntry(const TarxFileRec& rec) {
  SeekArchive(rec.Offset);
  TLhaHeader h;
  const TLhaRead r = ReadLhaHeader([this](uint8_t* b, size_t n) { return arc_.Read(b, n); }, h);
  if (r != TLhaRead::Ok)
    RaiseError(r == TLhaRead::Short ? ecReadFile : ecBadFileHeader, archiveFile_);
  const std::string fn = h.Name;
  // Only "-lh?-" methods of the decoders above are read; the rest end the
  // run before any output is made.
  const char m = h.MethodChar();
  if (m != '0' && m != '1' && m != '4' && m != '5' && m != '6') RaiseUnsupported(fn, h.Method);
  const std::string out = SetOutputName(fn);
  if (out.empty()) {
    SkipEntryProgress(h.PackedSize);
    return;
  }
  const uint32_t dosTime = LhaDosTime(h);
  bool exists = false;
  if (!BeginFile(out, dosTime, exists)) return;
  if ((exists && OverwriteMode == omSkip) || outputName_.empty()) {
    SkipEntryProgress(h.PackedSize);
    return;
  }
  if (!OpenOutput()) RaiseError(ecOpenFile, outputName_);
  const std::string written = outputName_;
  crc_ = 0;
  BeginEntryData(h.PackedSize, h.OriginalSize);
  Decode(h, fn);
  if (cancel_) return;
  // Level 2 keeps the time in Unix seconds: set it without the DOS
  // two-second steps.
  if (h.Level == 2)
    EndFileAt(h.Attr, ArcUnixTimeToDateTime(h.Stamp));
  else
    EndFile(h.Attr, dosTime);
  EndEntry(written, (crc_ & 0xFFFFu) == h.Crc);
}

void TUnLHA::ExtractIt() {
  uint64_t start = std::min(StartOffset(), arc_.Size());
  uint8_t first = 1;
  if (arc_.ReadAt(start, &first, 1) == 1 && first == 0) start += kPrefixBlock;
  FirstPass(start);
  for (size_t i = 0; i < fileList_.Count() && !cancel_; ++i) {
    const TarxFileRec rec = fileList_[i];
    ExtractEntry(rec);
  }
}

}  // namespace velmaris
