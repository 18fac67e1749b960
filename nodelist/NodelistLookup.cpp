#include "nodelist/NodelistLookup.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "core/ByteOrder.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

const char* const kFileNames[] = {"Addresses.Index", "Names.Index", "Sysops.Index",
                                  "Cities.Index",    "Misc.Index",  "Names.Data",
                                  "Sysops.Data",     "Cities.Data", "Misc.Data"};

bool PreadAll(int fd, void* buf, size_t len, uint64_t offset, size_t* got) {
  const size_t done = platform::PReadFull(fd, buf, len, offset);
  if (got) *got = done;
  return done == len;
}

}  // namespace

TNodelistLookup::~TNodelistLookup() {
  std::lock_guard<std::mutex> g(mutex_);
  CloseFiles();
}

void TNodelistLookup::SetPath(const std::string& dir) {
  std::string full;
  if (!dir.empty()) {
    std::error_code ec;
    full = std::filesystem::absolute(dir, ec).lexically_normal().string();
    if (ec) full = dir;
    if (full.empty() || full.back() != '/') full += '/';
  }
  std::lock_guard<std::mutex> g(mutex_);
  if (full == path_) return;
  path_ = full;
  OpenLocked();
}

std::string TNodelistLookup::GetPath() const {
  std::lock_guard<std::mutex> g(mutex_);
  return path_;
}

void TNodelistLookup::Open() {
  std::lock_guard<std::mutex> g(mutex_);
  OpenLocked();
}

void TNodelistLookup::OpenLocked() {
  if (lockCount_ != 0) {
    pendingReopen_ = true;
    return;
  }
  CloseFiles();
  if (!path_.empty()) {
    bool all = true;
    for (int i = 0; i < sCount; ++i) {
      const int fd = ::open((path_ + kFileNames[i]).c_str(), O_RDONLY | O_CLOEXEC);
      struct stat st {};
      if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        fds_[i] = fd;
        sizes_[i] = static_cast<uint64_t>(st.st_size);
      } else {
        if (fd >= 0) ::close(fd);
        all = false;
      }
    }
    const uint64_t s = sizes_[sAddr];
    bool ok = all && s / kNodeIndexRecordSize <= static_cast<uint64_t>(INT32_MAX);
    for (int i = sNamesIdx; ok && i <= sMiscIdx; ++i) ok = sizes_[i] == s / 8;
    if (ok) {
      openSet_ = true;
      count_ = static_cast<int>(s / kNodeIndexRecordSize);
    } else {
      CloseFiles();
    }
  }
  pendingReopen_ = false;
}

void TNodelistLookup::CloseFiles() {
  for (int i = 0; i < sCount; ++i) {
    if (fds_[i] >= 0) ::close(fds_[i]);
    fds_[i] = -1;
    sizes_[i] = 0;
  }
  openSet_ = false;
  count_ = 0;
}

bool TNodelistLookup::Close() {
  std::lock_guard<std::mutex> g(mutex_);
  if (!openSet_) return true;
  if (lockCount_ != 0) return false;
  CloseFiles();
  return true;
}

void TNodelistLookup::Lock() {
  std::lock_guard<std::mutex> g(mutex_);
  ++lockCount_;
}

void TNodelistLookup::Unlock() {
  std::lock_guard<std::mutex> g(mutex_);
  if (lockCount_ > 0) --lockCount_;
  if (pendingReopen_) OpenLocked();
}

int TNodelistLookup::Count() const {
  std::lock_guard<std::mutex> g(mutex_);
  return count_;
}

bool TNodelistLookup::IsOpen() const {
  std::lock_guard<std::mutex> g(mutex_);
  return openSet_;
}

bool TNodelistLookup::PendingReopen() const {
  std::lock_guard<std::mutex> g(mutex_);
  return pendingReopen_;
}

int TNodelistLookup::LockCount() const {
  std::lock_guard<std::mutex> g(mutex_);
  return lockCount_;
}

bool TNodelistLookup::ReadRecordLocked(int n, TNodeIndexRecord& rec) const {
  if (n < 0 || n >= count_) return false;
  uint8_t buf[kNodeIndexRecordSize];
  if (!PreadAll(fds_[sAddr], buf, sizeof buf, static_cast<uint64_t>(n) * kNodeIndexRecordSize,
                nullptr))
    return false;
  rec = DecodeNodeIndexRecord(buf);
  return true;
}

std::vector<TNodeIndexRecord> TNodelistLookup::ReadRecords(int first, int count) const {
  std::lock_guard<std::mutex> g(mutex_);
  std::vector<TNodeIndexRecord> records;
  if (first < 0 || count <= 0 || first >= count_) return records;
  count = std::min(count, count_ - first);
  std::vector<uint8_t> bytes(static_cast<size_t>(count) * kNodeIndexRecordSize);
  size_t got = 0;
  PreadAll(fds_[sAddr], bytes.data(), bytes.size(),
           static_cast<uint64_t>(first) * kNodeIndexRecordSize, &got);
  records.reserve(got / kNodeIndexRecordSize);
  for (size_t at = 0; at + kNodeIndexRecordSize <= got; at += kNodeIndexRecordSize)
    records.push_back(DecodeNodeIndexRecord(bytes.data() + at));
  return records;
}

void TNodelistLookup::ForEachTextInOrder(TTextKey key, const TTextVisitor& fn) const {
  const Slot indexSlot = key == TTextKey::Name    ? sNamesIdx
                         : key == TTextKey::Sysop ? sSysopsIdx
                                                  : sCitiesIdx;
  const Slot dataSlot = key == TTextKey::Name    ? sNamesData
                        : key == TTextKey::Sysop ? sSysopsData
                                                 : sCitiesData;
  std::string index, data;
  {
    std::lock_guard<std::mutex> g(mutex_);
    // The compiler writes no text file larger than the lists it reads.
    if (!openSet_ || sizes_[dataSlot] > kMaxListFileSize) return;
    auto readWhole = [this](Slot slot, std::string& out) {
      out.resize(sizes_[slot]);
      size_t got = 0;
      PreadAll(fds_[slot], out.data(), out.size(), 0, &got);
      out.resize(got);
    };
    readWhole(indexSlot, index);
    readWhole(dataSlot, data);
  }
  const std::string_view all(data);
  for (size_t k = 0; k + 4 <= index.size(); k += 4) {
    const uint32_t offset = GetLE32(reinterpret_cast<const uint8_t*>(index.data() + k));
    std::string_view text = offset < all.size() ? all.substr(offset) : std::string_view();
    text = text.substr(0, std::min(text.find('\r'), kMaxDataText));
    fn(static_cast<int>(k / 4), offset, text);
  }
}

bool TNodelistLookup::ReadRecord(int n, TNodeIndexRecord& rec) const {
  std::lock_guard<std::mutex> g(mutex_);
  return ReadRecordLocked(n, rec);
}

int TNodelistLookup::SearchLocked(int lo, int hi, const TFidoAddr& addr) const {
  if (lo < 0) lo = 0;
  if (hi > count_ - 1) hi = count_ - 1;
  while (lo <= hi) {
    const int mid = static_cast<int>((static_cast<unsigned>(lo) + static_cast<unsigned>(hi)) >> 1);
    TNodeIndexRecord rec;
    if (!ReadRecordLocked(mid, rec)) return -1;
    const int c = CompareFidoAddr(rec.Addr, addr);
    if (c == 0) return mid;
    if (c > 0)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  return -1;
}

int TNodelistLookup::SearchAddress(int lo, int hi, const TFidoAddr& addr) const {
  std::lock_guard<std::mutex> g(mutex_);
  return SearchLocked(lo, hi, addr);
}

int TNodelistLookup::FindAddress(const TFidoAddr& addr) const {
  std::lock_guard<std::mutex> g(mutex_);
  if (count_ == 0) return -1;
  return SearchLocked(0, count_ - 1, addr);
}

std::string TNodelistLookup::ReadDataText(Slot slot, uint32_t offset) const {
  std::string text;
  if (!openSet_) return text;
  // Read in pieces until the CR that ends the text, the end of the file or
  // the bound on text length.
  char buf[256];
  uint64_t pos = offset;
  while (text.size() < kMaxDataText) {
    size_t got = 0;
    PreadAll(fds_[slot], buf, sizeof buf, pos, &got);
    if (got == 0) break;
    for (size_t i = 0; i < got; ++i)
      if (buf[i] == '\r') return text.append(buf, i);
    text.append(buf, got);
    pos += got;
  }
  if (text.size() > kMaxDataText) text.resize(kMaxDataText);
  return text;
}

uint32_t TNodelistLookup::ReadIndexValue(Slot slot, int k) const {
  if (!openSet_ || k < 0) return 0;
  uint8_t b[4];
  if (!PreadAll(fds_[slot], b, 4, static_cast<uint64_t>(k) * 4, nullptr)) return 0;
  return GetLE32(b);
}

int TNodelistLookup::IndexCount(Slot slot) const { return static_cast<int>(sizes_[slot] / 4); }

std::string TNodelistLookup::TextOf(int n, Slot dataSlot, uint32_t TNodeIndexRecord::*field) const {
  std::lock_guard<std::mutex> g(mutex_);
  TNodeIndexRecord rec;
  if (!ReadRecordLocked(n, rec)) return {};
  return ReadDataText(dataSlot, rec.*field);
}

std::string TNodelistLookup::GetSystemName(int n) const {
  if (n < 0) return "Unlisted!";
  return TextOf(n, sNamesData, &TNodeIndexRecord::NameOffset);
}
std::string TNodelistLookup::GetSysop(int n) const {
  return TextOf(n, sSysopsData, &TNodeIndexRecord::SysopOffset);
}
std::string TNodelistLookup::GetCity(int n) const {
  return TextOf(n, sCitiesData, &TNodeIndexRecord::CityOffset);
}
std::string TNodelistLookup::GetMisc(int n) const {
  return TextOf(n, sMiscData, &TNodeIndexRecord::MiscOffset);
}

void TNodelistLookup::GetAddress(int n, TFidoAddr& addr) const {
  TNodeIndexRecord rec;
  if (ReadRecord(n, rec)) addr = rec.Addr;
}

void TNodelistLookup::GetAddressText(int n, TFidonetAddress& address) const {
  TNodeIndexRecord rec;
  if (ReadRecord(n, rec)) address.SetAddress(rec.Addr);
}

int32_t TNodelistLookup::GetNodeType(int n) const {
  TNodeIndexRecord rec;
  return ReadRecord(n, rec) ? rec.NodeType : ntUnlisted;
}

uint32_t TNodelistLookup::GetNameOffset(int n) const {
  TNodeIndexRecord rec;
  return ReadRecord(n, rec) ? rec.NameOffset : 127;
}
uint32_t TNodelistLookup::GetSysopOffset(int n) const {
  TNodeIndexRecord rec;
  return ReadRecord(n, rec) ? rec.SysopOffset : 127;
}
uint32_t TNodelistLookup::GetCityOffset(int n) const {
  TNodeIndexRecord rec;
  return ReadRecord(n, rec) ? rec.CityOffset : 127;
}

int TNodelistLookup::GetNameCount() const {
  std::lock_guard<std::mutex> g(mutex_);
  return IndexCount(sNamesIdx);
}
int TNodelistLookup::GetSysopCount() const {
  std::lock_guard<std::mutex> g(mutex_);
  return IndexCount(sSysopsIdx);
}
int TNodelistLookup::GetCityCount() const {
  std::lock_guard<std::mutex> g(mutex_);
  return IndexCount(sCitiesIdx);
}

uint32_t TNodelistLookup::GetNameIndexEntry(int k) const {
  std::lock_guard<std::mutex> g(mutex_);
  return ReadIndexValue(sNamesIdx, k);
}
uint32_t TNodelistLookup::GetSysopIndexEntry(int k) const {
  std::lock_guard<std::mutex> g(mutex_);
  return ReadIndexValue(sSysopsIdx, k);
}
uint32_t TNodelistLookup::GetCityIndexEntry(int k) const {
  std::lock_guard<std::mutex> g(mutex_);
  return ReadIndexValue(sCitiesIdx, k);
}

std::string TNodelistLookup::GetNameInOrder(int k) const {
  std::lock_guard<std::mutex> g(mutex_);
  if (k < 0 || k >= IndexCount(sNamesIdx)) return {};
  return ReadDataText(sNamesData, ReadIndexValue(sNamesIdx, k));
}
std::string TNodelistLookup::GetSysopInOrder(int k) const {
  std::lock_guard<std::mutex> g(mutex_);
  if (k < 0 || k >= IndexCount(sSysopsIdx)) return {};
  return ReadDataText(sSysopsData, ReadIndexValue(sSysopsIdx, k));
}
std::string TNodelistLookup::GetCityInOrder(int k) const {
  std::lock_guard<std::mutex> g(mutex_);
  if (k < 0 || k >= IndexCount(sCitiesIdx)) return {};
  return ReadDataText(sCitiesData, ReadIndexValue(sCitiesIdx, k));
}

int TNodelistLookup::FindInOrderLocked(Slot indexSlot, Slot dataSlot,
                                       const std::string& text) const {
  // Systems without a text sort first and are stored as "<unknown>" at the
  // start of the .Data file; for the search they count as the empty text.
  auto keyAt = [&](int k) {
    const uint32_t offset = ReadIndexValue(indexSlot, k);
    std::string key = ReadDataText(dataSlot, offset);
    if (offset == 0 && key == "<unknown>") key.clear();
    return key;
  };
  int lo = 0, hi = IndexCount(indexSlot);  // first position with key >= text
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (keyAt(mid) < text)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo < IndexCount(indexSlot) && keyAt(lo) == text) return lo;
  return -1;
}

std::vector<int> TNodelistLookup::FindRecords(Slot indexSlot, Slot dataSlot,
                                              uint32_t TNodeIndexRecord::*field,
                                              const std::string& text) const {
  std::lock_guard<std::mutex> g(mutex_);
  std::vector<int> found;
  const int k = FindInOrderLocked(indexSlot, dataSlot, text);
  if (k < 0) return found;
  const uint32_t offset = ReadIndexValue(indexSlot, k);
  // Equal texts share one offset: walk the records once.
  constexpr int kBlock = 256;
  uint8_t buf[kBlock * kNodeIndexRecordSize];
  for (int first = 0; first < count_; first += kBlock) {
    const int n = std::min(kBlock, count_ - first);
    if (!PreadAll(fds_[sAddr], buf, static_cast<size_t>(n) * kNodeIndexRecordSize,
                  static_cast<uint64_t>(first) * kNodeIndexRecordSize, nullptr))
      break;
    for (int i = 0; i < n; ++i)
      if (DecodeNodeIndexRecord(buf + i * kNodeIndexRecordSize).*field == offset)
        found.push_back(first + i);
  }
  return found;
}

int TNodelistLookup::FindNameInOrder(const std::string& text) const {
  std::lock_guard<std::mutex> g(mutex_);
  return FindInOrderLocked(sNamesIdx, sNamesData, text);
}
int TNodelistLookup::FindSysopInOrder(const std::string& text) const {
  std::lock_guard<std::mutex> g(mutex_);
  return FindInOrderLocked(sSysopsIdx, sSysopsData, text);
}
int TNodelistLookup::FindCityInOrder(const std::string& text) const {
  std::lock_guard<std::mutex> g(mutex_);
  return FindInOrderLocked(sCitiesIdx, sCitiesData, text);
}
std::vector<int> TNodelistLookup::FindRecordsByName(const std::string& text) const {
  return FindRecords(sNamesIdx, sNamesData, &TNodeIndexRecord::NameOffset, text);
}
std::vector<int> TNodelistLookup::FindRecordsBySysop(const std::string& text) const {
  return FindRecords(sSysopsIdx, sSysopsData, &TNodeIndexRecord::SysopOffset, text);
}
std::vector<int> TNodelistLookup::FindRecordsByCity(const std::string& text) const {
  return FindRecords(sCitiesIdx, sCitiesData, &TNodeIndexRecord::CityOffset, text);
}

}  // namespace velmaris
