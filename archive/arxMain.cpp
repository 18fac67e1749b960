#include "archive/arxMain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/arxBase.h"
#include "archive/arxUnARC.h"
#include "archive/arxUnARJ.h"
#include "archive/arxUnLHA.h"
#include "archive/arxUnRAR.h"
#include "archive/arxUnZIP.h"
#include "platform/Ascii.h"
#include "platform/Files.h"

namespace velmaris {

namespace {
constexpr size_t kStreamBuf = 65536;
constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
}  // namespace

const char* ArcTypeName(TArcType t) {
  static const char* const names[] = {
      "atNA",     "atUnsupported", "atFileOpenErr", "atUnknown", "atACE",    "atArc",
      "atArcExe", "atArj",         "atArjExe",      "atBh",      "atBhExe",  "atCab",
      "atGZip",   "atHa",          "atJar",         "atLha",     "atLhaExe", "atLzh",
      "atLzhExe", "atMsGZ",        "atPak",         "atPakExe",  "atRar",    "atRarExe",
      "atTar",    "atUue",         "atZip",         "atZipExe",  "atZipMV",  "atZoo"};
  const int i = int(t);
  return i >= 0 && i < int(sizeof names / sizeof names[0]) ? names[i] : "?";
}

// ---------------------------------------------------------------- TArxStream

TArxStream::~TArxStream() { Close(); }

bool TArxStream::Open(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  size_ = uint64_t(st.st_size);
  mtime_ = st.st_mtime;
  pos_ = 0;
  bufStart_ = 0;
  bufLen_ = 0;
  buf_.resize(kStreamBuf);
  return true;
}

bool TArxStream::Close() {
  if (fd_ < 0) return true;
  const int r = ::close(fd_);
  fd_ = -1;
  size_ = pos_ = 0;
  bufLen_ = 0;
  return r == 0;
}

bool TArxStream::Seek(uint64_t pos) {
  if (fd_ < 0 || pos > size_) return false;
  pos_ = pos;
  return true;
}

size_t TArxStream::ReadAt(uint64_t offset, void* buf, size_t n) {
  if (fd_ < 0 || offset >= size_) return 0;
  if (n > size_ - offset) n = size_t(size_ - offset);
  return platform::PReadFull(fd_, buf, n, offset);
}

size_t TArxStream::Read(void* out, size_t n) {
  if (fd_ < 0) return 0;
  auto* dst = static_cast<uint8_t*>(out);
  size_t done = 0;
  while (done < n && pos_ < size_) {
    if (pos_ >= bufStart_ && pos_ < bufStart_ + bufLen_) {
      const size_t off = size_t(pos_ - bufStart_);
      const size_t take = std::min(n - done, bufLen_ - off);
      std::memcpy(dst + done, buf_.data() + off, take);
      done += take;
      pos_ += take;
      continue;
    }
    const size_t want = n - done;
    if (want >= buf_.size()) {  // large reads go straight to the caller
      const size_t r = ReadAt(pos_, dst + done, want);
      if (r == 0) break;
      done += r;
      pos_ += r;
      continue;
    }
    bufStart_ = pos_;
    bufLen_ = ReadAt(pos_, buf_.data(), buf_.size());
    if (bufLen_ == 0) break;
  }
  return done;
}

// ---------------------------------------------------------------- TarxMain

TarxMain::TarxMain() = default;
TarxMain::~TarxMain() = default;

void TarxMain::SetArchiveFile(const std::string& name) {
  if (name.empty()) {
    archiveFile_.clear();
    arcType_ = atNA;
    return;
  }
  entryCounter_ = 0;
  volumeNumber_ = 1;
  archiveFile_ = name;
  for (auto& c : archiveFile_)
    if (c == '\\') c = '/';
  SetArcType(atNA);
  DeriveVolumeNaming();
}

void TarxMain::SetArcType(TArcType) { DetectArcType(); }

void TarxMain::SetZipCmntBufSize(int size) { zipCmntBufSize_ = std::clamp(size, 2000, 32767); }

TArcType TarxMain::ClassifySignature(uint32_t sig, bool sfx) {
  const uint8_t b0 = sig & 0xFF, b1 = (sig >> 8) & 0xFF, b2 = (sig >> 16) & 0xFF,
                b3 = (sig >> 24) & 0xFF;
  if (sig == 0x08074B50) {  // spanning marker
    headerState_ = hsLocalHeader;
    if (diskMan_.IsRemovable()) return diskMan_.HasSpanLabel() ? atZipMV : atNA;
    return atZip;
  }
  if (sig == kCentralSig) return diskMan_.HasSpanLabel() ? atZipMV : atNA;
  if (sig == 0x34474B50) return atNA;
  // An LHA header starts with its size and checksum, which can be any
  // bytes, so "-l" at offset 2 is tested before the two-byte signatures it
  // could otherwise be taken for (1F 8B as gzip, 48 41 as HA, ...).
  if (b2 == 0x2D && b3 == 0x6C) return sfx ? atLhaExe : atLha;
  if (b0 == 0x50 && b1 == 0x4B) return sfx ? atZipExe : atZip;
  if (sig == 0x4643534D) return sfx ? atUnsupported : atCab;  // "MSCF"
  if (sig == 0x07054842) return sfx ? atBhExe : atBh;
  if (sig == 0x8C655D13) return sfx ? atUnsupported : atMsGZ;
  if (b0 == 0x48 && b1 == 0x41) return sfx ? atUnsupported : atHa;
  if (b0 == 0x1F && (b1 == 0x8B || b1 == 0x9D || b1 == 0x9E || b1 == 0x1E || b1 == 0xA0))
    return sfx ? atUnsupported : atGZip;
  if (b0 == 0x25 && b1 == 0x21) return sfx ? atUnsupported : atGZip;
  if (b0 == 0x60 && b1 == 0xEA) return sfx ? atArjExe : atArj;
  if (b0 == 0x5A && b1 == 0x4F) return sfx ? atUnsupported : atZoo;
  if (sig == 0x21726152) return sfx ? atRarExe : atRar;  // "Rar!"
  if (b0 == 0x1A && (b1 == 0x0A || b1 == 0x0B)) return sfx ? atPakExe : atPak;
  if (b0 == 0x1A && (b1 == 0x08 || b1 == 0x09)) return sfx ? atArcExe : atArc;
  // Every ARC method from 1 (stored) to 7, and the old marker 0x1E.
  if (b0 == 0x1A && ((b1 >= 0x01 && b1 <= 0x07) || b1 == 0x1E)) return sfx ? atUnsupported : atArc;
  if (b0 == 0xB7 && (b1 == 0x92 || b1 == 0xDF)) {
    startOffset_ = 7717;
    return atArcExe;
  }
  return atUnknown;
}

namespace {

// The ZIP64 end record, found through its locator (which stands just
// before the end record).
struct Zip64EndRecord {
  uint64_t pos = 0;  // of the record in the file
  uint64_t centralDisk = 0, centralSize = 0, centralOffset = 0;
};

bool FindZip64EndRecord(TArxStream& f, uint64_t endPos, Zip64EndRecord& r) {
  if (endPos < 20) return false;
  uint8_t loc[20];
  if (f.ReadAt(endPos - 20, loc, 20) != 20 || GetLE32(loc) != kZip64LocatorSig) return false;
  uint8_t rec[56];
  auto readAt = [&](uint64_t at) {
    return at + 56 <= endPos - 20 && f.ReadAt(at, rec, 56) == 56 && GetLE32(rec) == kZip64EndSig;
  };
  // Where the locator says, else just before the locator (the record's
  // offset does not count bytes put in front of the archive).
  uint64_t at = GetLE64(loc + 8);
  if (!readAt(at)) {
    at = endPos - 20 - 56;
    if (endPos < 20 + 56 || !readAt(at)) return false;
  }
  r.pos = at;
  r.centralDisk = GetLE32(rec + 20);
  r.centralSize = GetLE64(rec + 40);
  r.centralOffset = GetLE64(rec + 48);
  return true;
}

}  // namespace

bool TarxMain::FindZipEndRecord(TArxStream& f) {
  headerState_ = 0;
  const uint64_t size = f.Size();
  uint64_t tail;
  if (zipCmntBufSize_ == 0)
    tail = 23;
  else if (uint64_t(zipCmntBufSize_) + 23 < size)
    tail = uint64_t(zipCmntBufSize_) + 23;
  else
    tail = size < 32769 ? size - 1 : 32768;
  // A comment can be 65535 bytes long: look as far back as that.
  tail = std::max<uint64_t>(tail, std::min<uint64_t>(size, 65535 + 22));
  if (size < 22) return false;
  if (tail > size) tail = size;
  std::vector<uint8_t> buf(static_cast<size_t>(tail));
  const uint64_t base = size - tail;
  if (f.ReadAt(base, buf.data(), buf.size()) != buf.size()) return false;
  for (int64_t i = int64_t(tail) - 22; i >= 0; --i) {
    if (GetLE32(&buf[size_t(i)]) != kEndSig) continue;
    const uint8_t* e = &buf[size_t(i)];
    zipEndPos_ = base + uint64_t(i);
    zipEndSig_ = kEndSig;
    zipCentralDisk_ = GetLE16(e + 6);
    zipCentralSize_ = GetLE32(e + 12);
    uint64_t recorded = GetLE32(e + 16);
    // Where the directory ends: at the end record, or at the ZIP64 end
    // record when a locator stands before the end record.
    uint64_t dirEnd = zipEndPos_;
    Zip64EndRecord z64;
    if (FindZip64EndRecord(f, zipEndPos_, z64)) {
      dirEnd = z64.pos;
      // The ZIP64 record holds the values whose fields here are all ones.
      if (GetLE16(e + 6) == 0xFFFF) zipCentralDisk_ = int(z64.centralDisk);
      if (GetLE32(e + 12) == 0xFFFFFFFF) zipCentralSize_ = z64.centralSize;
      if (recorded == 0xFFFFFFFF) recorded = z64.centralOffset;
    }
    headerState_ |= hsEndRecord;
    zipShift_ = 0;
    zipCentralOffset_ = recorded;
    uint8_t h[46];
    auto isCentral = [&](uint64_t off) {
      return off + 46 <= dirEnd && f.ReadAt(off, h, 46) == 46 && GetLE32(h) == kCentralSig;
    };
    if (!isCentral(recorded)) {
      // Bytes put in front of an archive whose offsets do not count them (a
      // self-extractor stub): the directory ends where the end record begins.
      if (zipCentralSize_ <= dirEnd && isCentral(dirEnd - zipCentralSize_)) {
        zipCentralOffset_ = dirEnd - zipCentralSize_;
        zipShift_ = int64_t(zipCentralOffset_) - int64_t(recorded);
      } else {
        return false;
      }
    }
    headerState_ |= hsCentralHeader;
    uint64_t firstLocal = GetLE32(h + 42);
    if (firstLocal == 0xFFFFFFFF) {
      // In the entry's ZIP64 extra field, after the sizes that are all ones.
      std::vector<uint8_t> extra(GetLE16(h + 30));
      const uint64_t at = zipCentralOffset_ + 46 + GetLE16(h + 28);
      if (f.ReadAt(at, extra.data(), extra.size()) == extra.size()) {
        Zip64Sizes z;
        z.unpacked = GetLE32(h + 24);
        z.packed = GetLE32(h + 20);
        z.offset = firstLocal;
        z.disk = GetLE16(h + 34);
        if (ReadZip64Extra(extra.data(), extra.size(), z, true)) firstLocal = z.offset;
      }
    }
    const uint64_t local = uint64_t(int64_t(firstLocal) + zipShift_);
    uint8_t l[4];
    if (f.ReadAt(local, l, 4) == 4 && GetLE32(l) == kLocalSig) headerState_ |= hsLocalHeader;
    if ((headerState_ & 0x19) == 0x19) {
      startOffset_ = zipCentralOffset_;
      return true;
    }
    return false;
  }
  return false;
}

bool TarxMain::LocateZipStart(TArxStream& f) {
  uint8_t h[4];
  if ((headerState_ & hsEndRecord) && f.ReadAt(zipCentralOffset_, h, 4) == 4 &&
      GetLE32(h) == kCentralSig) {
    startOffset_ = zipCentralOffset_;
    return true;
  }
  if (f.Size() > 25000) {
    std::vector<uint8_t> buf(32768);
    const size_t n = f.ReadAt(25000, buf.data(), buf.size());
    for (size_t i = 0; i + 4 <= n; ++i)
      if (GetLE32(&buf[i]) == kLocalSig) {
        startOffset_ = 25000 + i;
        headerState_ = hsLocalHeader;
        return true;
      }
  }
  return false;
}

TArcType TarxMain::ScanForEmbeddedArchive(TArxStream& f, uint64_t from) {
  if (from >= f.Size()) return atUnknown;
  std::vector<uint8_t> buf(6 * 32768);
  const size_t n = f.ReadAt(from, buf.data(), buf.size());
  for (size_t i = 0; i < n; ++i) {
    const uint64_t at = from + i;
    if (buf[i] == '-' && i + 4 < n && buf[i + 1] == 'l' && buf[i + 2] == 'h' && buf[i + 4] == '-' &&
        at >= 2 && at + 5 <= f.Size()) {
      startOffset_ = at - 2;
      return atLhaExe;
    }
    if (buf[i] == 'P' && i + 4 <= n && GetLE32(&buf[i]) == kLocalSig) {
      startOffset_ = at;
      headerState_ = hsLocalHeader;
      return atZipExe;
    }
    if (buf[i] == 'R' && i + 4 <= n && std::memcmp(&buf[i], "Rar!", 4) == 0) {
      startOffset_ = at;
      return atRarExe;
    }
  }
  return atUnknown;
}

bool TarxMain::FindUueBegin(TArxStream& f) {
  std::vector<uint8_t> buf(2500);
  const size_t n = f.ReadAt(0, buf.data(), buf.size());
  for (size_t i = 0; i + 6 <= n; ++i)
    if ((i == 0 || buf[i - 1] == '\n') && std::memcmp(&buf[i], "begin ", 6) == 0) return true;
  return false;
}

bool TarxMain::IsTarHeader(TArxStream& f) {
  if (f.Size() <= 512) return false;
  uint8_t b[512];
  if (f.ReadAt(0, b, 512) != 512) return false;
  if (b[156] == 'V' && f.ReadAt(512, b, 512) != 512) return false;
  uint32_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32u : b[i];
  bool digits = false;
  for (int i = 148; i < 156; ++i) digits |= b[i] >= '0' && b[i] <= '7';
  return digits && ReadOctal(reinterpret_cast<const char*>(b + 148), 8) == sum;
}

bool TarxMain::FindZipInStub(TArxStream& f) {
  uint8_t h[4];
  if (f.ReadAt(0, h, 4) == 4 && GetLE32(h) == kLocalSig) {
    const uint64_t saved = startOffset_;
    uint8_t c[4];
    const bool found = FindZipEndRecord(f);
    if (!found && (headerState_ & hsEndRecord) && f.ReadAt(zipCentralOffset_, c, 4) == 4 &&
        GetLE32(c) == kCentralSig)
      startOffset_ = zipCentralOffset_;  // the directory is there, its first entry's header not
    else if (!found)
      headerState_ = 0;
    if (headerState_ != 0) {
      arcType_ = atZip;
      return true;
    }
    // Without a sound end record the entries are walked from the first
    // local header on (a search for a later one, as for a self-extractor's
    // stub, would pass over the entries before it).
    startOffset_ = saved;
    headerState_ = 0;
    return false;
  }
  static const uint64_t kStubs[] = {7612, 15770, 25661};
  for (int k = 0; k < 3; ++k) {
    const uint64_t off = kStubs[k];
    if (f.Size() > off + 4 && f.ReadAt(off, h, 4) == 4 && GetLE32(h) == kLocalSig) {
      arcType_ = atZipExe;
      startOffset_ = off;
      if (k < 2) headerState_ = hsLocalHeader;
      return true;
    }
  }
  return false;
}

// A minimal reader of a PE file's string table: the numbers in string
// resources 1 to 4, which self-extractors use to name their archive's offset.
bool TarxMain::ReadPeStringOffsets(TArxStream& f, std::vector<uint64_t>& offsets) {
  offsets.clear();
  uint8_t b[64];
  if (f.ReadAt(0, b, 64) != 64) return false;
  const uint64_t pe = GetLE32(b + 0x3C);
  uint8_t h[24];
  if (f.ReadAt(pe, h, 24) != 24 || std::memcmp(h, "PE\0\0", 4) != 0) return false;
  const unsigned nSections = GetLE16(h + 6);
  const unsigned optSize = GetLE16(h + 20);
  if (nSections > 96 || optSize < 96) return false;
  std::vector<uint8_t> opt(optSize);
  if (f.ReadAt(pe + 24, opt.data(), optSize) != optSize) return false;
  const uint16_t magic = GetLE16(opt.data());
  const size_t dirs = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
  if (!dirs || dirs + 24 > optSize) return false;
  const uint32_t nDirs = GetLE32(opt.data() + dirs - 4);
  if (nDirs < 3) return false;
  const uint32_t rsrcRva = GetLE32(opt.data() + dirs + 16);
  if (!rsrcRva) return false;
  struct Section {
    uint32_t va, vsize, raw, ptr;
  };
  std::vector<Section> secs(nSections);
  for (unsigned i = 0; i < nSections; ++i) {
    uint8_t s[40];
    if (f.ReadAt(pe + 24 + optSize + 40ull * i, s, 40) != 40) return false;
    secs[i] = {GetLE32(s + 12), GetLE32(s + 8), GetLE32(s + 16), GetLE32(s + 20)};
  }
  auto toOffset = [&](uint32_t rva, uint64_t& off, uint64_t& avail) {
    for (const auto& s : secs) {
      const uint32_t len = std::max(s.vsize, s.raw);
      if (rva >= s.va && rva - s.va < len && rva - s.va < s.raw) {
        off = uint64_t(s.ptr) + (rva - s.va);
        avail = s.raw - (rva - s.va);
        return true;
      }
    }
    return false;
  };
  uint64_t rsrc, rsrcAvail;
  if (!toOffset(rsrcRva, rsrc, rsrcAvail)) return false;
  // Finds the entry with the id in the directory at dirOff (relative to the
  // resource section); any id when id < 0. Gives the entry's data field.
  auto findEntry = [&](uint32_t dirOff, int id, uint32_t& data) {
    uint8_t d[16];
    if (dirOff + 16ull > rsrcAvail || f.ReadAt(rsrc + dirOff, d, 16) != 16) return false;
    const unsigned named = GetLE16(d + 12), ids = GetLE16(d + 14);
    for (unsigned i = 0; i < named + ids && i < 4096; ++i) {
      uint8_t e[8];
      const uint64_t eo = dirOff + 16ull + 8ull * i;
      if (eo + 8 > rsrcAvail || f.ReadAt(rsrc + eo, e, 8) != 8) return false;
      const uint32_t name = GetLE32(e);
      if (i < named) continue;
      if (id < 0 || name == uint32_t(id)) {
        data = GetLE32(e + 4);
        return true;
      }
    }
    return false;
  };
  uint32_t d1, d2, d3;
  if (!findEntry(0, 6, d1) || !(d1 & 0x80000000u)) return false;                // RT_STRING
  if (!findEntry(d1 & 0x7FFFFFFF, 1, d2) || !(d2 & 0x80000000u)) return false;  // strings 0..15
  if (!findEntry(d2 & 0x7FFFFFFF, -1, d3) || (d3 & 0x80000000u)) return false;  // a language
  uint8_t de[8];
  if (d3 + 8ull > rsrcAvail || f.ReadAt(rsrc + d3, de, 8) != 8) return false;
  uint64_t dataOff, dataAvail;
  if (!toOffset(GetLE32(de), dataOff, dataAvail)) return false;
  const uint64_t dataSize = std::min<uint64_t>({GetLE32(de + 4), dataAvail, 65536});
  std::vector<uint8_t> tbl(static_cast<size_t>(dataSize));
  if (f.ReadAt(dataOff, tbl.data(), tbl.size()) != tbl.size()) return false;
  size_t p = 0;
  for (int idx = 0; idx <= 4; ++idx) {
    if (p + 2 > tbl.size()) break;
    const size_t len = GetLE16(&tbl[p]);
    p += 2;
    if (p + 2 * len > tbl.size()) break;
    if (idx >= 1) {
      std::string text;
      for (size_t k = 0; k < len && k < 5; ++k) {
        const uint16_t ch = GetLE16(&tbl[p + 2 * k]);
        text += ch < 128 ? char(ch) : '?';
      }
      if (text.empty() ||
          !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        break;
      offsets.push_back(std::stoull(text));
    }
    p += 2 * len;
  }
  return true;
}

void TarxMain::DetectArcType() {
  if (archiveFile_.empty()) return;
  arcType_ = atFileOpenErr;
  startOffset_ = 0;
  headerState_ = 0;
  zipShift_ = 0;
  zipCentralOffset_ = zipCentralSize_ = zipEndPos_ = 0;
  zipCentralDisk_ = 0;
  zipEndSig_ = 0;
  arcSize_ = 0;
  TArxStream f;
  if (!f.Open(archiveFile_)) return;
  diskMan_.Refresh(archiveFile_);
  arcSize_ = f.Size();
  if (arcSize_ <= 19) return;
  auto finish = [&] {
    if (arcType_ == atZip && platform::EndsWithNoCase(archiveFile_, ".JAR")) arcType_ = atJar;
    if (ArcTypeResolved(arcType_)) arcFileDate_ = DateTimeToDosDateTime(time_t(f.FileTime()));
  };
  if (FindZipInStub(f)) {
    finish();
    return;
  }
  arcType_ = atNA;
  std::vector<uint8_t> buf(32767);
  const size_t n = f.ReadAt(0, buf.data(), buf.size());
  buf.resize(n);
  if (n >= 2 && buf[0] == 'M' && buf[1] == 'Z') {
    arcType_ = atUnknown;
    std::vector<uint64_t> offsets;
    ReadPeStringOffsets(f, offsets);
    for (uint64_t off : offsets) {
      uint8_t s[4];
      if (off >= arcSize_ || f.ReadAt(off, s, 4) != 4) break;
      const uint64_t savedStart = startOffset_;
      startOffset_ = off;
      const TArcType t = ClassifySignature(GetLE32(s), true);
      if (t != atUnknown) {
        arcType_ = t;
        headerState_ = hsLocalHeader;
        finish();
        return;
      }
      startOffset_ = savedStart;
    }
    if (n >= 6) {
      const int64_t end = (int64_t(GetLE16(&buf[4])) - 1) * 512 + GetLE16(&buf[2]);
      uint8_t s[4];
      if (end > 0 && uint64_t(end) + 4 <= arcSize_ && f.ReadAt(uint64_t(end), s, 4) == 4) {
        uint64_t start = uint64_t(end);
        if (s[2] == 0x60 && s[3] == 0xEA) start += 2;
        if (f.ReadAt(start, s, 4) == 4 && GetLE32(s) != kLocalSig) {
          startOffset_ = start;
          const TArcType t = ClassifySignature(GetLE32(s), true);
          if (ArcTypeResolved(t)) {
            arcType_ = t;
            finish();
            return;
          }
          startOffset_ = 0;
        }
      }
    }
    if (FindZipEndRecord(f)) {
      arcType_ = atZipExe;
      finish();
      return;
    }
    if (headerState_ & hsEndRecord) {
      if (LocateZipStart(f)) arcType_ = atZipExe;
      finish();
      return;
    }
    arcType_ = ScanForEmbeddedArchive(f, 17000);
    if (!ArcTypeResolved(arcType_)) arcType_ = atUnknown;
    finish();
    return;
  }
  size_t skipped = 0;
  if (!buf.empty() && buf[0] == 0)
    while (skipped < buf.size() && buf[skipped] == 0) ++skipped;
  if (skipped + 4 <= buf.size()) arcType_ = ClassifySignature(GetLE32(&buf[skipped]), false);
  auto isAce = [&] { return buf.size() >= 14 && std::memcmp(&buf[7], "**ACE**", 7) == 0; };
  if (arcType_ == atJar || arcType_ == atZip || arcType_ == atZipExe) {
    if (diskMan_.IsRemovable()) arcType_ = atZipMV;
    if (!FindZipEndRecord(f)) {
      startOffset_ = skipped;
      headerState_ = hsLocalHeader;
    }
  } else if (arcType_ != atZipMV && isAce()) {
    arcType_ = atACE;
  }
  if (!ArcTypeResolved(arcType_)) {
    if (diskMan_.IsRemovable() && diskMan_.HasSpanLabel()) {
      FindZipEndRecord(f);
      arcType_ = (headerState_ & hsLocalHeader) ? atUnknown : atZipMV;
    } else if (isAce()) {
      arcType_ = atACE;
    } else if (FindUueBegin(f)) {
      arcType_ = atUue;
    } else if (IsTarHeader(f)) {
      arcType_ = atTar;
    } else if (FindZipEndRecord(f)) {
      arcType_ = atZip;
    } else {
      headerState_ = 0;
    }
  }
  finish();
}

void TarxMain::DeriveVolumeNaming() {
  nextVolNum_ = 0;
  volLetter_ = 0;
  switch (arcType_) {
    case atACE: volLetter_ = 'C'; break;
    case atArj:
    case atArjExe: volLetter_ = 'a'; break;
    case atRar:
    case atRarExe: volLetter_ = 'r'; break;
    default: return;
  }
  const auto slash = archiveFile_.find_last_of('/');
  const auto dot = archiveFile_.find_last_of('.');
  std::string ext;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    ext = archiveFile_.substr(dot + 1);
  if (ext.empty()) ext = arcType_ == atACE ? "Ace" : (volLetter_ == 'a' ? "Arj" : "Rar");
  int number = -1;
  for (size_t i = ext.size(); i-- > 0;) {
    if (!std::isdigit(static_cast<unsigned char>(ext[i]))) break;
    number = std::stoi(ext.substr(i, 9));
  }
  if (number >= 0 && std::isdigit(static_cast<unsigned char>(ext.back()))) volLetter_ = ext[0];
  if (number < 0)
    nextVolNum_ = (arcType_ == atArj || arcType_ == atArjExe) ? 1 : 0;
  else
    nextVolNum_ = number + 1;
}

TArcType DetectArchiveType(const std::string& path) {
  TarxMain m;
  m.SetArchiveFile(path);
  return m.ArcType();
}

// ---------------------------------------------------------------- registry

// One line per integrated extractor.
const std::vector<TExtractorInfo>& ExtractorTable() {
  static const std::vector<TExtractorInfo> table = {
      {"UnZIP", {atZip, atZipExe, atJar, atZipMV}, [] { return std::make_unique<TUnZIP>(); }},
      {"UnARJ", {atArj, atArjExe}, [] { return std::make_unique<TUnARJ>(); }},
      {"UnLHA", {atLha, atLhaExe, atLzh, atLzhExe}, [] { return std::make_unique<TUnLHA>(); }},
      {"UnARC", {atArc, atArcExe}, [] { return std::make_unique<TUnARC>(); }},
      {"UnRAR", {atRar, atRarExe}, [] { return std::make_unique<TUnRAR>(); }},
  };
  return table;
}

std::unique_ptr<TUnBase> CreateExtractor(TArcType type) {
  for (const auto& e : ExtractorTable())
    if (std::find(e.types.begin(), e.types.end(), type) != e.types.end()) return e.make();
  return nullptr;
}

std::unique_ptr<TUnBase> CreateExtractorByName(const std::string& name) {
  for (const auto& e : ExtractorTable())
    if (platform::EqualNoCase(e.name, name)) return e.make();
  return nullptr;
}

}  // namespace velmaris
