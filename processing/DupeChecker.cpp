#include "processing/DupeChecker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/ByteOrder.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "processing/Tosser.h"  // NumberedName

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

uint32_t TDupeChecker::Salvage(std::string_view bytes) {
  Clear();
  if (bytes.size() < 8) return 0;
  const uint32_t count = GetLE32At(bytes, 0);
  const uint32_t last = GetLE32At(bytes, 4);
  const uint32_t there = static_cast<uint32_t>(std::min<size_t>((bytes.size() - 8) / 4, kSlots));
  const auto slot = [&](uint32_t number) { return GetLE32At(bytes, 8 + 4 * (number - 1)); };
  std::vector<uint32_t> keys;  // the oldest first
  const bool fits =
      count <= kSlots && last <= kSlots && (count == kSlots ? last >= 1 : last == count);
  if (fits) {
    // A full ring's oldest keys follow the slot written last.
    if (count == kSlots)
      for (uint32_t n = last + 1; n <= there; ++n) keys.push_back(slot(n));
    for (uint32_t n = 1; n <= std::min(last, there); ++n) keys.push_back(slot(n));
  } else {
    // Nothing tells which slots were in use: a slot never written is 0.
    for (uint32_t n = 1; n <= there; ++n)
      if (slot(n) != 0) keys.push_back(slot(n));
  }
  for (uint32_t key : keys) CheckAndAdd(key);
  return count_;
}

namespace {

// The file a database path stands for: a link's target ("" when it is not
// there), else the path itself.
std::string FileBehind(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string target(real);
  std::free(real);
  return target;
}

std::string LinkTarget(const std::string& path) {
  std::string target(4096, '\0');
  const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
  target.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return target;
}

}  // namespace

std::string TDupeChecker::FilePath() const { return FileBehind(path_); }

void TDupeChecker::LoadFromFile() {
  loadProblem_.clear();
  loadedFrom_ = path_;
  unreadable_ = false;
  damaged_ = false;
  Clear();
  const auto unreadable = [this](const std::string& why) {
    unreadable_ = true;
    loadProblem_ = platform::LogName(path_) + " cannot be read (" + why + ")";
  };
  // Whatever stands under the name is looked at before it is opened: only a
  // database that is not there is a first start, and only a file is read.
  struct stat st {};
  if (::lstat(path_.c_str(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) unreadable(std::strerror(errno));
    return;
  }
  if (S_ISLNK(st.st_mode) && ::stat(path_.c_str(), &st) != 0)
    return unreadable(errno == ENOENT ? "it is a link to " + platform::LogName(LinkTarget(path_)) +
                                            ", which is not there"
                                      : std::string(std::strerror(errno)));
  if (!S_ISREG(st.st_mode)) return unreadable("it is no file");
  // Not blocking, should a FIFO have come in its place since.
  const platform::Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.ok()) return unreadable(std::strerror(errno));
  if (::fstat(fd.get(), &st) != 0) return unreadable(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return unreadable("it is no file");
  // Read at most one byte more than the layout, enough to see a wrong size.
  std::string buf(kFileSize + 1, '\0');
  errno = 0;
  const size_t got = platform::ReadFull(fd.get(), buf.data(), buf.size());
  if (got < buf.size() && errno != 0) return unreadable(std::strerror(errno));
  buf.resize(got);
  std::string problem;
  if (Decode(buf, &problem)) return;
  damaged_ = true;
  Salvage(buf);
  loadProblem_ = platform::LogName(path_) + " is damaged (" + problem + ")";
}

std::string TDupeChecker::KeepDamagedFile() {
  const std::string file = FileBehind(loadedFrom_);
  std::string why = "it is not there any more";
  for (unsigned n = 1; !file.empty() && n <= 0xFFFF; ++n) {
    const std::string kept =
        platform::DirOf(file) + NumberedName(platform::NameOf(file) + ".damaged", n);
    if (::link(file.c_str(), kept.c_str()) == 0) return kept;
    if (errno == EEXIST) continue;
    // A file system without second names: a copy, never over another file.
    try {
      const std::string bytes = platform::ReadFile(file);
      const platform::Fd out(::open(kept.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
      if (!out.ok() && errno == EEXIST) continue;
      if (!out.ok() || !platform::WriteAll(out.get(), bytes) || ::fsync(out.get()) != 0) {
        why = std::strerror(errno);
        if (out.ok()) ::unlink(kept.c_str());
        break;
      }
      return kept;
    } catch (const std::exception& e) {
      why = e.what();
      break;
    }
  }
  // Not written over then, and no import runs on what it still holds.
  Clear();
  unreadable_ = true;
  loadProblem_ += "; it cannot be kept aside (" + why + ")";
  return {};
}

void TDupeChecker::SaveToFile() const {
  if (unreadable_)
    throw platform::EFile(loadProblem_ + ", so it is not written over with an empty ring");
  const std::string file = FileBehind(path_);
  if (file.empty())
    throw platform::EFile(platform::LogName(path_) + " is a link to " +
                          platform::LogName(LinkTarget(path_)) + ", which is not there");
  platform::WriteFileAtomic(file, Encode());
}

}  // namespace velmaris
