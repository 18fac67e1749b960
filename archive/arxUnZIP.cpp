#include "archive/arxUnZIP.h"

#include <algorithm>
#include <set>

#include "archive/ZipNames.h"
#include "archive/arxZipDecoders.h"

namespace velmaris {

using namespace zip;

namespace {
constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kSpanSig = 0x08074B50;
// General purpose flag: the entry's name is UTF-8, not the OEM code page.
constexpr uint32_t kZipUtf8Name = 0x0800;

// The records that may follow the last entry or the last directory header:
// the directory, the end record, the ZIP64 end record and its locator, the
// archive extra data and the directory's digital signature.
bool IsDirectoryRecord(uint32_t sig) {
  return sig == kCentralSig || sig == 0x06054B50 || sig == 0x06064B50 || sig == 0x07064B50 ||
         sig == 0x08064B50 || sig == 0x05054B50;
}
}  // namespace

bool ReadZip64Extra(const uint8_t* extra, size_t len, Zip64Sizes& z, bool central) {
  constexpr uint64_t kAll32 = 0xFFFFFFFF;
  bool wantUnpacked = z.unpacked == kAll32, wantPacked = z.packed == kAll32;
  if (!central && (wantUnpacked || wantPacked)) wantUnpacked = wantPacked = true;
  const bool wantOffset = central && z.offset == kAll32;
  const bool wantDisk = central && z.disk == 0xFFFF;
  const uint8_t* block = nullptr;
  size_t size = 0;
  for (size_t at = 0; at + 4 <= len;) {
    const unsigned tag = GetLE16(extra + at), n = GetLE16(extra + at + 2);
    if (at + 4 + n > len) break;
    if (tag == 0x0001) {
      block = extra + at + 4;
      size = n;
      break;
    }
    at += 4 + n;
  }
  if (block) z.present = true;
  if (!wantUnpacked && !wantPacked && !wantOffset && !wantDisk) return true;
  if (!block) return false;
  size_t at = 0;
  auto take = [&](bool want, uint64_t& value, size_t width) {
    if (!want) return true;
    if (at + width > size) return false;
    value = width == 8 ? GetLE64(block + at) : GetLE32(block + at);
    at += width;
    return true;
  };
  return take(wantUnpacked, z.unpacked, 8) && take(wantPacked, z.packed, 8) &&
         take(wantOffset, z.offset, 8) && take(wantDisk, z.disk, 4);
}

TUnZIP::TUnZIP() {
  About = "Velmaris ZIP extraction";
  SetZipCmntBufSize(2000);
}

void TUnZIP::ExtractIt() {
  if (arcType_ != atZipMV && OnCorruptZipHeader &&
      (headerState_ & (hsEndRecord | hsCentralHeader | hsLocalHeader)) !=
          (hsEndRecord | hsCentralHeader | hsLocalHeader)) {
    bool cancel = true;
    OnCorruptZipHeader(*this, headerState_, cancel);
    if (cancel) return;
  }
  if (!CollectEntries()) return;
  // Each local header serves one entry: a directory that points several
  // entries at the same data (to multiply it) gets the first one only.
  std::set<uint64_t> used;
  for (size_t i = 0; i < fileList_.Count() && !cancel_; ++i) {
    const TarxFileRec& rec = fileList_[i];
    if (!IsDirName(rec.Name) && !used.insert(rec.Offset).second) {
      ReportError(ecInconsistentLocalHeader, rec.Name);
      continue;
    }
    ExtractEntry(rec);
  }
}

// The first pass: the chosen entries, from the central directory or, when
// there is none, from the local headers.
bool TUnZIP::CollectEntries() {
  const bool central = (headerState_ & hsCentralHeader) != 0;
  const bool singleName = fileSpec_.size() == 1 && fileSpec_[0].find('*') == std::string::npos;
  const uint64_t size = arc_.Size();
  uint64_t pos = central ? zipCentralOffset_ : startOffset_;
  if (!central) {
    uint8_t s[4];
    if (arc_.ReadAt(pos, s, 4) == 4) {
      const uint32_t sig = GetLE32(s);
      if (sig == kSpanSig)
        pos += 4;
      else if (sig != kLocalSig)
        RaiseError(ecBadFileHeader, archiveFile_);
    }
  }
  while (!cancel_) {
    TarxFileRec rec;
    std::string name;
    if (central) {
      uint8_t h[46];
      if (pos + 46 > size || arc_.ReadAt(pos, h, 46) != 46 || GetLE32(h) != kCentralSig) {
        // The directory ends where the end record (or a record of its tail)
        // begins; anything else there hides the entries it would list.
        uint8_t s[4];
        if (pos < zipEndPos_ && (arc_.ReadAt(pos, s, 4) != 4 || !IsDirectoryRecord(GetLE32(s))))
          ReportError(ecBadFileHeader, archiveFile_);
        break;
      }
      const unsigned nameLen = GetLE16(h + 28), extraLen = GetLE16(h + 30),
                     commentLen = GetLE16(h + 32);
      rec.Flags = GetLE16(h + 8);
      rec.Method = GetLE16(h + 10);
      rec.DosTime = GetLE32(h + 12);
      rec.Crc = GetLE32(h + 16);
      rec.PackedSize = GetLE32(h + 20);
      rec.UnpackedSize = GetLE32(h + 24);
      rec.Attr = GetLE32(h + 38);
      Zip64Sizes z64;
      z64.offset = GetLE32(h + 42);
      z64.disk = GetLE16(h + 34);
      const bool z64Read = ReadZip64Fields(pos + 46 + nameLen, extraLen, rec, z64, true);
      const int64_t local = int64_t(z64.offset) + zipShift_;
      rec.Offset = local < 0 ? 0 : uint64_t(local);
      name.resize(nameLen);
      if (arc_.ReadAt(pos + 46, name.data(), nameLen) != nameLen) {
        ReportError(ecReadFile, archiveFile_);
        break;
      }
      pos += 46ull + nameLen + extraLen + commentLen;
      if (!z64Read) {
        // A size or offset that is all ones without its ZIP64 value.
        ReportError(ecBadFileHeader, name);
        continue;
      }
      if (rec.Attr & 0x18) {  // a directory or a volume label
        if ((rec.Attr & 0x10) && FileSpecMatch(name)) {
          if (!IsDirName(name)) name += '/';
          rec.Name = name;
          fileList_.ADDITEM(rec);
        }
        continue;
      }
    } else {
      uint8_t h[30];
      if (pos + 30 > size || arc_.ReadAt(pos, h, 30) != 30 || GetLE32(h) != kLocalSig) {
        // The walk ends well only at the central directory or a record that
        // follows it. A local header cut short is damage; the end of the
        // file or other bytes there mean that entries may be missing: those
        // found are still extracted, and the run fails.
        uint8_t s[4];
        const bool sig = pos + 4 <= size && arc_.ReadAt(pos, s, 4) == 4;
        if (sig && GetLE32(s) == kLocalSig) RaiseError(ecBadFileHeader, archiveFile_);
        if (arcType_ != atZipMV) {
          if (!sig)
            ReportError(ecReadFile, archiveFile_);
          else if (!IsDirectoryRecord(GetLE32(s)))
            ReportError(ecBadFileHeader, archiveFile_);
        }
        break;
      }
      const unsigned nameLen = GetLE16(h + 26), extraLen = GetLE16(h + 28);
      rec.Offset = pos;
      rec.Flags = GetLE16(h + 6);
      rec.Method = GetLE16(h + 8);
      rec.DosTime = GetLE32(h + 10);
      rec.Crc = GetLE32(h + 14);
      rec.PackedSize = GetLE32(h + 18);
      rec.UnpackedSize = GetLE32(h + 22);
      rec.Attr = 32;
      name.resize(nameLen);
      if (arc_.ReadAt(pos + 30, name.data(), nameLen) != nameLen)
        RaiseError(ecBadFileHeader, archiveFile_);
      const uint64_t data = pos + 30 + nameLen + extraLen;
      Zip64Sizes z64;
      if (!ReadZip64Fields(pos + 30 + nameLen, extraLen, rec, z64, false))
        RaiseError(ecBadFileHeader, archiveFile_);  // sizes all ones without their values
      // The descriptor after the data: signature, CRC and both sizes, of 8
      // bytes each when the header has a ZIP64 field.
      const size_t sizeWidth = z64.present ? 8 : 4;
      const size_t descriptor = 8 + 2 * sizeWidth;
      if ((rec.Flags & 8) && rec.PackedSize == 0 && !IsDirName(name)) {
        // Sizes and CRC follow the data: find the descriptor whose size
        // field equals its distance from the data.
        bool found = false;
        std::vector<uint8_t> buf(65536 + descriptor);
        for (uint64_t at = data; at < size && !found;) {
          const size_t n = arc_.ReadAt(at, buf.data(), buf.size());
          if (n < descriptor) break;
          for (size_t i = 0; i + descriptor <= n; ++i) {
            if (GetLE32(&buf[i]) != kSpanSig) continue;
            const uint64_t packed = z64.present ? GetLE64(&buf[i + 8]) : GetLE32(&buf[i + 8]);
            if (packed == at + i - data) {
              rec.Crc = GetLE32(&buf[i + 4]);
              rec.PackedSize = packed;
              rec.UnpackedSize = z64.present ? GetLE64(&buf[i + 16]) : GetLE32(&buf[i + 12]);
              found = true;
              break;
            }
          }
          at += n - (descriptor - 1);
        }
        if (!found) {
          ReportError(ecReadFile, archiveFile_);  // the entry's data are cut off
          break;
        }
        pos = data + rec.PackedSize + descriptor;
      } else if (rec.PackedSize > size || data > size - rec.PackedSize) {
        pos = size + 1;  // data past the end of the file: nothing after it can be read
      } else {
        pos = data + rec.PackedSize + ((rec.Flags & 8) ? descriptor : 0);
        // A descriptor may come without its signature.
        if (rec.Flags & 8) {
          uint8_t s[4];
          if (arc_.ReadAt(data + rec.PackedSize, s, 4) == 4 && GetLE32(s) != kSpanSig) pos -= 4;
        }
      }
    }
    if (!FileSpecMatch(name)) continue;
    rec.Name = name;
    if (!IsDirName(name)) {
      const uint64_t packed =
          rec.PackedSize >= 12 && (rec.Flags & 1) ? rec.PackedSize - 12 : rec.PackedSize;
      if (arcType_ != atZipMV && !EntryDataSound(rec, name)) {
        if (pos > size) break;  // nothing after data cut off by the end can be read
        continue;
      }
      AddToTotals(packed, rec.UnpackedSize, rec.DosTime);
    }
    fileList_.ADDITEM(rec);
    if (singleName && !IsDirName(name)) break;
  }
  return true;
}

bool TUnZIP::ReadZip64Fields(uint64_t extraPos, unsigned extraLen, TarxFileRec& rec, Zip64Sizes& z,
                             bool central) {
  z.unpacked = rec.UnpackedSize;
  z.packed = rec.PackedSize;
  std::vector<uint8_t> extra(extraLen);
  if (extraLen && arc_.ReadAt(extraPos, extra.data(), extraLen) != extraLen) extra.clear();
  if (!ReadZip64Extra(extra.data(), extra.size(), z, central)) return false;
  rec.UnpackedSize = z.unpacked;
  rec.PackedSize = z.packed;
  return true;
}

// The entry's data begin after its local header; one whose local header
// cannot be read is reported when it is extracted.
bool TUnZIP::EntryDataSound(const TarxFileRec& rec, const std::string& name) {
  uint8_t h[30];
  if (rec.Offset + 30 > arc_.Size() || arc_.ReadAt(rec.Offset, h, 30) != 30 ||
      GetLE32(h) != kLocalSig)
    return true;
  const uint64_t data = rec.Offset + 30 + GetLE16(h + 26) + GetLE16(h + 28);
  return DeclaredDataSound(name, data, rec.PackedSize, rec.UnpackedSize, rec.Method == 0,
                           (rec.Flags & 1) ? 12 : 0);
}

bool TUnZIP::FindPassword(const std::string& fn, const uint8_t header[12], const TarxFileRec& rec,
                          uint32_t dosTime, bool& stopRun) {
  stopRun = false;
  if (!lastPassword_.empty() &&
      ZipCheckHeader(crypt_, lastPassword_, header, rec.Flags, dosTime, rec.Crc))
    return true;
  for (const auto& pw : Passwords)
    if (ZipCheckHeader(crypt_, pw, header, rec.Flags, dosTime, rec.Crc)) {
      lastPassword_ = pw;
      return true;
    }
  if (!OnGetPassword) {
    ReportError(ecEventNotAssigned, fn, "OnGetPassword");
    return false;
  }
  for (int attempt = 0; attempt < PasswordAttempts && !cancel_; ++attempt) {
    std::string pw;
    bool tryAgain = true;
    OnGetPassword(*this, fn, pw, tryAgain);
    if (!pw.empty() && ZipCheckHeader(crypt_, pw, header, rec.Flags, dosTime, rec.Crc)) {
      Passwords.insert(Passwords.begin(), pw);
      lastPassword_ = pw;
      return true;
    }
    if (!pw.empty()) ReportError(ecInvalidPassword, fn);
    if (!tryAgain) break;
  }
  ReportError(ecPasswordFailed, fn);
  stopRun = true;
  return false;
}

void TUnZIP::ExtractEntry(const TarxFileRec& rec) {
  uint8_t h[30];
  if (rec.Offset + 30 > arc_.Size() || arc_.ReadAt(rec.Offset, h, 30) != 30 ||
      GetLE32(h) != kLocalSig) {
    ReportError(ecInconsistentLocalHeader, rec.Name);
    return;
  }
  const unsigned nameLen = GetLE16(h + 26), extraLen = GetLE16(h + 28);
  std::string name(nameLen, '\0');
  if (arc_.ReadAt(rec.Offset + 30, name.data(), nameLen) != nameLen) {
    ReportError(ecInconsistentLocalHeader, rec.Name);
    return;
  }
  const bool utf8 = rec.Flags & kZipUtf8Name;
  std::string extra(extraLen, '\0');
  if (arc_.ReadAt(rec.Offset + 30 + nameLen, extra.data(), extraLen) != extraLen) extra.clear();
  const std::string diskName = ZipEntryDiskName(name, rec.Flags, extra);
  if (IsDirName(rec.Name) || IsDirName(name)) {
    if (IsDirName(name))
      MakeEntryDirectory(diskName, true);
    else
      MakeEntryDirectory(rec.Name, utf8);
    return;
  }
  const std::string out = SetOutputNameUtf8(diskName);
  if (out.empty()) return;
  bool exists = false;
  if (!BeginFile(out, rec.DosTime, exists)) {
    cancel_ = true;
    return;
  }
  const bool encrypted = rec.Flags & 1;
  uint64_t packed = rec.PackedSize;
  if (exists && OverwriteMode == omSkip) {
    SkipEntryProgress(encrypted && packed >= 12 ? packed - 12 : packed);
    return;
  }
  if (outputParts_.empty()) return;  // renamed to a name that is not allowed
  uint64_t data = rec.Offset + 30 + nameLen + extraLen;
  const uint64_t size = arc_.Size();
  if (data > size) data = size;
  if (packed > size - data) packed = size - data;  // sizes count only as far as the data goes
  SeekArchive(data);
  decryptInput_ = false;
  if (encrypted) {
    uint8_t eh[12];
    if (packed < 12 || arc_.Read(eh, 12) != 12) RaiseError(ecReadFile, name);
    packed -= 12;
    bool stop = false;
    if (!FindPassword(out, eh, rec, rec.DosTime & 0xFFFF, stop)) {
      if (stop) cancel_ = true;
      SkipEntryProgress(packed);
      return;
    }
  }
  if (rec.Method > 8 || rec.Method == 7) {
    // A method a packer writes is our limit; any other number is a damaged
    // header: the entry is reported and the run goes on with the next one.
    if (IsNamedZipMethod(rec.Method)) RaiseUnsupportedMethod(name, ZipMethodName(rec.Method));
    ReportError(ecBadFileHeader, name, ZipMethodName(rec.Method));
    SkipEntryProgress(packed);
    return;
  }
  if (!OpenOutput()) RaiseError(ecOpenFile, outputName_);
  crc_ = 0xFFFFFFFF;
  BeginEntryData(packed, rec.UnpackedSize);
  Decode(rec, name);
  EndFile(rec.Attr & 0xFF, rec.DosTime);
  const bool pass = (crc_ ^ 0xFFFFFFFFu) == rec.Crc && bytesWritten_ == rec.UnpackedSize;
  EndEntry(out, pass);
}

void TUnZIP::Decode(const TarxFileRec& rec, const std::string& fn) {
  const bool encrypted = rec.Flags & 1;
  TDecodeIn in = [this](uint8_t* b, size_t n) {
    const size_t got = ReadArchiveBlock(b, n);
    archiveDone_ += got;
    return got;
  };
  TDecodeOut out = [this](const uint8_t* b, size_t n) {
    WriteBlock(b, n, 32);
    ProgressAfterBlock();
  };
  try {
    switch (rec.Method) {
      case 0:
        Unstore(32, encrypted);
        if (bytesWritten_ != rec.UnpackedSize && !cancel_) RaiseError(ecReadFile, fn);
        return;
      case 1: {
        decryptInput_ = encrypted;
        TUnshrinker d;
        d.Run(in, out, rec.UnpackedSize, &cancel_);
        break;
      }
      case 2:
      case 3:
      case 4:
      case 5: {
        decryptInput_ = encrypted;
        TUnreducer d;
        d.Run(in, out, rec.UnpackedSize, int(rec.Method) - 1, &cancel_);
        break;
      }
      case 6: {
        decryptInput_ = encrypted;
        TExploder d;
        d.Run(in, out, rec.UnpackedSize, (rec.Flags & 2) != 0, (rec.Flags & 4) != 0, &cancel_);
        break;
      }
      case 8: {
        decryptInput_ = encrypted;
        TInflater d;
        d.Run(in, out, rec.UnpackedSize, &cancel_);
        break;
      }
      default: RaiseUnsupportedMethod(fn, ZipMethodName(rec.Method));
    }
  } catch (const E_RAISE& e) {
    decryptInput_ = false;
    if (e.FileName().empty()) RaiseError(e.Code(), fn);  // from a decoder or a write
    throw;
  }
  decryptInput_ = false;
}

}  // namespace velmaris
