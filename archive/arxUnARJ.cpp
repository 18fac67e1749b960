#include "archive/arxUnARJ.h"

#include <algorithm>
#include <vector>

#include "archive/ArjFastDecoder.h"
#include "archive/LzhDecoder.h"

namespace velmaris {

namespace {

constexpr int kMaxMinVersion = 3;
constexpr uint8_t kHostUnix = 2;

// DOS attributes of an entry: Unix hosts store a file mode instead, whose
// write bit decides read-only.
uint32_t DosAttributes(const TArjHeader& h) {
  if (h.HostOS == kHostUnix || h.HostOS == 8 /* NeXT */) return (h.Attributes & 0200) ? 32 : 33;
  return h.Attributes;
}

bool IsDirectoryEntry(const TArjHeader& h) {
  if (h.FileType == kArjTypeDirectory) return true;
  return h.HostOS != kHostUnix && h.HostOS != 8 && (h.Attributes & 0x10);
}

}  // namespace

// The compressed data of the current entry, bounded by its packed size and
// decrypted when garbled.
class TUnARJ::Source : public TLzhSource {
 public:
  Source(TUnARJ& x, bool garbled) : x_(x), garbled_(garbled) {}
  size_t Read(uint8_t* buf, size_t n) override {
    const size_t got = x_.ReadArchiveBlock(buf, n);
    if (garbled_) x_.DecryptBlock(buf, got);
    x_.archiveDone_ += got;
    return got;
  }

 private:
  TUnARJ& x_;
  bool garbled_;
};

// The decoded data: written to the output with the CRC-32.
class TUnARJ::Sink : public TLzhSink {
 public:
  explicit Sink(TUnARJ& x) : x_(x) {}
  void Write(const uint8_t* data, size_t n) override {
    x_.WriteBlock(data, n, 32);
    x_.ProgressAfterBlock();
  }

 private:
  TUnARJ& x_;
};

TUnARJ::TUnARJ() = default;

void TUnARJ::DecryptBlock(uint8_t* buf, size_t n) {
  if (key_.empty()) return;
  for (size_t i = 0; i < n; ++i) {
    buf[i] ^= static_cast<uint8_t>(key_[keyPos_]);
    if (++keyPos_ == key_.size()) keyPos_ = 0;
  }
}

void ArjPasswordModify(bool forward, std::string& password, uint8_t modifier) {
  for (char& c : password)
    c = static_cast<char>(forward ? static_cast<uint8_t>(c) + modifier
                                  : static_cast<uint8_t>(c) - modifier);
}

void TUnARJ::StartKey(uint8_t modifier) {
  // The held password stays as it was; the entry works on a modified copy.
  key_ = password_;
  ArjPasswordModify(true, key_, modifier);
  keyPos_ = 0;
}

bool TUnARJ::ReadHeader(TArjHeader& h, uint64_t& consumed) {
  const TArjRead r =
      ReadArjHeader([this](uint8_t* b, size_t n) { return arc_.Read(b, n); }, h, consumed);
  if (r == TArjRead::Ok) return true;
  if (r == TArjRead::End) return false;
  RaiseError(r == TArjRead::BadCrc  ? ecHeaderCrc
             : r == TArjRead::Short ? ecReadFile
                                    : ecBadFileHeader,
             archiveFile_);
  return false;
}

void TUnARJ::OpenMainHeader() {
  // Only the first volume may carry a self-extractor in front.
  const uint64_t start = volumeNumber_ == 1 ? std::min(StartOffset(), arc_.Size()) : 0;
  const size_t want = static_cast<size_t>(
      std::min<uint64_t>(arc_.Size() - start, kArjMainSearch + kArjMaxHeader + 8));
  std::vector<uint8_t> buf(want);
  const size_t got = arc_.ReadAt(start, buf.data(), want);
  const auto at = FindArjMainHeader(buf.data(), got, kArjMainSearch);
  if (!at) RaiseError(ecUnsupportedType, archiveFile_);
  SeekArchive(start + *at);
  TArjHeader main;
  uint64_t consumed = 0;
  if (!ReadHeader(main, consumed)) RaiseError(ecBadFileHeader, archiveFile_);
  mainFlags_ = main.Flags;
  firstEntryPos_ = start + *at + consumed;
}

bool TUnARJ::FirstPass() {
  const auto& wanted = FileSpec();
  const bool single = wanted.size() == 1 && wanted[0].find('*') == std::string::npos;
  uint64_t pos = firstEntryPos_;
  while (!cancel_) {
    SeekArchive(pos);
    TArjHeader h;
    uint64_t consumed = 0;
    if (!ReadHeader(h, consumed)) break;
    if (h.MinVersion > kMaxMinVersion) RaiseError(ecVersionError, h.Name);
    if (h.Method > 4 || (h.Method == 4 && h.ArchiverVersion == 1))
      RaiseUnsupported(h.Name, "method " + std::to_string(h.Method));
    const uint64_t next = pos + consumed + h.CompressedSize;
    if (next > arc_.Size()) RaiseError(ecReadFile, archiveFile_);
    pos = next;
    // Continued parts belong to an entry of the previous volume; comments
    // and volume labels hold no file.
    if (h.Flags & kArjExtFile) continue;
    if (h.FileType != kArjTypeBinary && h.FileType != kArjTypeText &&
        h.FileType != kArjTypeDirectory)
      continue;
    if (!FileSpecMatch(h.Name)) continue;
    if (IsDirectoryEntry(h)) {
      MakeEntryDirectory(h.Name);
      continue;
    }
    TarxFileRec rec;
    rec.Flags = h.Flags;
    rec.Method = h.Method;
    rec.Offset = next - h.CompressedSize - consumed;
    rec.PackedSize = h.CompressedSize;
    rec.UnpackedSize = h.OriginalSize;
    rec.Crc = h.Crc;
    rec.Attr = DosAttributes(h);
    rec.DosTime = h.DosDateTime;
    rec.Name = h.Name;
    if (!DeclaredDataSound(h.Name, pos - h.CompressedSize, h.CompressedSize, h.OriginalSize,
                           h.Method == 0))
      continue;
    fileList_.ADDITEM(rec);
    AddToTotals(h.CompressedSize, h.OriginalSize, h.DosDateTime);
    if (single) return true;
  }
  return false;
}

void TUnARJ::EnsurePassword(const std::string& fn) {
  if (!password_.empty()) return;
  // Without a way to ask, the entry cannot be read: that is an error of the
  // run, not a quiet end.
  if (!OnGetPassword) RaiseError(ecEventNotAssigned, fn);
  const int attempts = std::max(1, PasswordAttempts);
  for (int i = 0; i < attempts && !cancel_; ++i) {
    std::string pw;
    bool again = true;
    OnGetPassword(*this, fn, pw, again);
    if (!pw.empty()) {
      password_ = pw;
      return;
    }
    if (!again) break;
  }
  RaiseError(ecInvalidPassword, fn);
}

void TUnARJ::DecodePart(const TArjHeader& h, const std::string& fn) {
  const bool garbled = h.Flags & kArjGarbled;
  BeginEntryData(h.CompressedSize, h.OriginalSize);
  if (garbled)
    StartKey(h.PasswordModifier);
  else
    key_.clear();
  const TLzhCancelCheck cancel = [this] { return cancel_; };
  try {
    switch (h.Method) {
      case 0:
        Unstore(32, garbled);
        if (!cancel_ && bytesWritten_ != h.OriginalSize) RaiseError(ecReadFile, fn);
        break;
      case 1:
      case 2:
      case 3: {
        Source src(*this, garbled);
        Sink sink(*this);
        TLzhDecoder dec(TLzhSettings::Arj());
        dec.LzhDecode(src, sink, h.OriginalSize, cancel);
        break;
      }
      case 4: {
        Source src(*this, garbled);
        Sink sink(*this);
        TArjFastDecoder dec;
        dec.Decode(src, sink, h.OriginalSize, cancel);
        break;
      }
      default: RaiseUnsupported(fn, "method " + std::to_string(h.Method));
    }
  } catch (const ELzhData& e) {
    // Garbled data that does not decode was most likely garbled with
    // another password.
    if (garbled) {
      ReportError(e.Code, fn);
      RaiseError(ecInvalidPassword, fn);
    }
    RaiseError(e.Code, fn);
  }
  key_.clear();
}

void TUnARJ::OpenNextVolumeOrFail() {
  // A set whose next part is missing is incomplete: the run fails.
  if (!OpenNextVolume()) RaiseError(ecBrokenVolumeChain, archiveFile_);
}

bool TUnARJ::ExtractEntry(const TarxFileRec& rec) {
  SeekArchive(rec.Offset);
  TArjHeader h;
  uint64_t consumed = 0;
  if (!ReadHeader(h, consumed)) RaiseError(ecBadFileHeader, archiveFile_);
  const std::string fn = h.Name;
  const std::string out = SetOutputName(fn);
  if (out.empty()) {
    SkipEntryProgress(h.CompressedSize);
    return false;
  }
  bool exists = false;
  if (!BeginFile(out, h.DosDateTime, exists)) return false;
  if ((exists && OverwriteMode == omSkip) || outputName_.empty()) {
    SkipEntryProgress(h.CompressedSize);
    return false;
  }
  const bool garbled = h.Flags & kArjGarbled;
  if (garbled) EnsurePassword(fn);
  if (!OpenOutput()) {
    ReportError(ecOpenFile, outputName_);
    SkipEntryProgress(h.CompressedSize);
    return false;
  }
  const std::string written = outputName_;
  crc_ = 0xFFFFFFFFu;
  DecodePart(h, fn);
  bool switched = false;
  while ((h.Flags & kArjVolume) && !cancel_) {
    // Each part carries the CRC-32 of its own data.
    if ((crc_ ^ 0xFFFFFFFFu) != h.Crc) {
      if (OnEnd) OnEnd(*this, written, false);
      RemoveOutput();
      RaiseError(garbled ? ecInvalidPassword : ecCrcCheck, fn);
    }
    OpenNextVolumeOrFail();
    OpenMainHeader();
    SeekArchive(firstEntryPos_);
    TArjHeader part;
    if (!ReadHeader(part, consumed) || !(part.Flags & kArjExtFile) || part.Name != h.Name)
      RaiseError(ecBadFileHeader, archiveFile_);
    h = part;
    switched = true;
    crc_ = 0xFFFFFFFFu;
    DecodePart(h, fn);
  }
  if (cancel_) return switched;
  EndFile(DosAttributes(h), h.DosDateTime);
  const bool pass = (crc_ ^ 0xFFFFFFFFu) == h.Crc;
  if (!pass && garbled) {
    // A wrong password shows as a checksum failure.
    if (OnEnd) OnEnd(*this, written, false);
    RemoveOutput();
    ReportError(ecCrcCheck, fn);
    RaiseError(ecInvalidPassword, fn);
  }
  EndEntry(written, pass);
  return switched;
}

void TUnARJ::ExtractIt() {
  password_.clear();
  key_.clear();
  OpenMainHeader();
  for (;;) {
    fileList_.CLEAR_LIST();
    const bool early = FirstPass();
    bool switched = false;
    for (size_t i = 0; i < fileList_.Count() && !cancel_; ++i) {
      const TarxFileRec rec = fileList_[i];
      if (ExtractEntry(rec)) {
        switched = true;
        break;
      }
    }
    if (cancel_ || early) return;
    if (!switched) {
      if (!(mainFlags_ & kArjVolume)) return;
      OpenNextVolumeOrFail();
      OpenMainHeader();
    }
  }
}

}  // namespace velmaris
