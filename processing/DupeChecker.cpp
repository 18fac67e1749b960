#include "processing/DupeChecker.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "core/ByteOrder.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris {
namespace {

uint32_t GetLE32At(std::string_view in, size_t at) {
  return GetLE32(reinterpret_cast<const uint8_t*>(in.data()) + at);
}

}  // namespace

TDupeChecker::TDupeChecker(std::string path) : path_(std::move(path)) {
  index_.reserve(kSlots * 2);
  if (!path_.empty()) LoadFromFile();
}

TDupeChecker::~TDupeChecker() {
  if (path_.empty() || unreadable_) return;
  try {
    SaveToFile();
  } catch (...) {
    // Nothing can be reported while the program ends; the keys of this run
    // are lost as if it had crashed, the old database stays.
  }
}

bool TDupeChecker::CheckAndAdd(uint32_t key) {
  if (Contains(key)) return false;
  lastIndex_ = lastIndex_ >= kSlots ? 1 : lastIndex_ + 1;
  uint32_t& slot = slots_[lastIndex_ - 1];
  if (lastIndex_ <= count_) {  // the ring is full: the oldest key goes
    auto it = index_.find(slot);
    if (it != index_.end() && --it->second == 0) index_.erase(it);
  }
  slot = key;
  ++index_[key];
  if (count_ < kSlots) ++count_;
  return true;
}

std::vector<uint32_t> TDupeChecker::Keys() const {
  std::vector<uint32_t> keys;
  keys.reserve(count_);
  // While the ring fills, slot 1 is the oldest; once full, the one after
  // the last written.
  const uint32_t first = count_ < kSlots ? 0 : lastIndex_ % kSlots;
  for (uint32_t i = 0; i < count_; ++i) keys.push_back(slots_[(first + i) % kSlots]);
  return keys;
}

void TDupeChecker::Merge(const TDupeChecker& older) {
  const std::vector<uint32_t> own = Keys();
  Clear();
  for (uint32_t key : older.Keys()) CheckAndAdd(key);
  for (uint32_t key : own) CheckAndAdd(key);
}

void TDupeChecker::Clear() {
  count_ = 0;
  lastIndex_ = 0;
  slots_.fill(0);
  index_.clear();
}

void TDupeChecker::Rebuild() {
  index_.clear();
  for (uint32_t i = 0; i < count_; ++i) ++index_[slots_[i]];
}

std::string TDupeChecker::Encode() const {
  std::string out;
  out.reserve(kFileSize);
  AppendLE32(out, count_);
  AppendLE32(out, lastIndex_);
  for (uint32_t key : slots_) AppendLE32(out, key);
  return out;
}

bool TDupeChecker::Decode(std::string_view bytes, std::string* problem) {
  auto fail = [&](const std::string& why) {
    Clear();
    if (problem) *problem = why;
    return false;
  };
  if (bytes.size() != kFileSize)
    return fail("wrong size " + std::to_string(bytes.size()) + " (expected " +
                std::to_string(kFileSize) + ")");
  const uint32_t count = GetLE32At(bytes, 0);
  const uint32_t last = GetLE32At(bytes, 4);
  if (count > kSlots || last > kSlots) return fail("count or last index above 16000");
  // While the ring fills, the last slot written is the count; once full, any.
  if (count < kSlots && last != count) return fail("last index does not match the count");
  count_ = count;
  lastIndex_ = last;
  for (uint32_t i = 0; i < kSlots; ++i) slots_[i] = GetLE32At(bytes, 8 + 4 * i);
  Rebuild();
  if (problem) problem->clear();
  return true;
}

void TDupeChecker::LoadFromFile() {
  loadProblem_.clear();
  unreadable_ = false;
  Clear();
  const auto unreadable = [this](const std::string& why) {
    unreadable_ = true;
    loadProblem_ = platform::LogName(path_) + " cannot be read (" + why + ")";
  };
  const platform::Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) {
    // Only a database that is not there is a first start.
    if (errno != ENOENT && errno != ENOTDIR) unreadable(std::strerror(errno));
    return;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return unreadable(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return unreadable("it is no file");
  // Read at most one byte more than the layout, enough to see a wrong size.
  std::string buf(kFileSize + 1, '\0');
  errno = 0;
  const size_t got = platform::ReadFull(fd.get(), buf.data(), buf.size());
  if (got < buf.size() && errno != 0) return unreadable(std::strerror(errno));
  buf.resize(got);
  std::string problem;
  if (!Decode(buf, &problem))
    loadProblem_ = platform::LogName(path_) + ": " + problem + "; starting with an empty ring";
}

void TDupeChecker::SaveToFile() const {
  if (unreadable_)
    throw platform::EFile(loadProblem_ + ", so it is not written over with an empty ring");
  platform::WriteFileAtomic(path_, Encode());
}

}  // namespace velmaris
