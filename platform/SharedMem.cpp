#include "platform/SharedMem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Files.h"

namespace velmaris::platform {

namespace {

bool SafeBlockName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!ok) return false;
  }
  return true;
}

}  // namespace

void EnsurePrivateFolder(const std::string& folder) {
  const std::string dir = WithoutSlash(folder);
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
    throw EFile("cannot create directory " + dir + ": " + std::strerror(errno));
  struct stat st{};
  if (::lstat(dir.c_str(), &st) != 0)
    throw EFile("cannot examine " + dir + ": " + std::strerror(errno));
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0)
    throw EFile("the folder " + dir + " is not private to this user");
}

std::string PluginRuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = runtime && *runtime
                           ? WithSlash(runtime) + "velmaris/"
                           : "/tmp/velmaris-" + std::to_string(::getuid()) + "/";
  EnsurePrivateFolder(folder);
  return folder;
}

std::string SharedBlockName(const std::string& word, uint32_t threadId) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", threadId);
  return "KQ" + word + hex;
}

TSharedMem::TSharedMem(const std::string& folder, const std::string& name, uint32_t size)
    : Name(name), Size(size) {
  if (!SafeBlockName(name) || size == 0) return;
  path_ = WithSlash(folder) + name;
  Fd fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.ok()) {
    Created = true;
    if (::ftruncate(fd.get(), size) != 0) return;
  } else {
    if (errno != EEXIST) return;
    fd = Fd(::open(path_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    struct stat st{};
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0) return;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::getuid()) return;
    if (static_cast<uint64_t>(st.st_size) < size) return;
  }
  void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
  if (view != MAP_FAILED) Buffer = static_cast<uint8_t*>(view);
}

TSharedMem::~TSharedMem() {
  if (Buffer) ::munmap(Buffer, Size);
  if (Created) ::unlink(path_.c_str());
}

TOwnSharedBlock::TOwnSharedBlock(const std::string& folder, const std::string& name,
                                 const uint8_t* data, size_t size) {
  if (!SafeBlockName(name) || size == 0) return;
  const std::string path = WithSlash(folder) + name;
  Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.ok()) return;
  path_ = path;
  Created = PWriteFull(fd.get(), data, size, 0) == size;
}

TOwnSharedBlock::~TOwnSharedBlock() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

std::optional<std::vector<uint8_t>> ReadSharedBlock(const std::string& folder,
                                                    const std::string& name, uint32_t size) {
  if (!SafeBlockName(name) || size == 0) return std::nullopt;
  // O_NONBLOCK: a pipe planted under the name does not hold the reader.
  Fd fd(::open((WithSlash(folder) + name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st{};
  if (!fd.ok() || ::fstat(fd.get(), &st) != 0) return std::nullopt;
  if (!S_ISREG(st.st_mode) || st.st_uid != ::getuid()) return std::nullopt;
  std::vector<uint8_t> bytes(size);
  // A file shrunk after the check gives a short read, never a signal.
  if (PReadFull(fd.get(), bytes.data(), size, 0) != size) return std::nullopt;
  return bytes;
}

int RemoveBlocksOf(const std::string& folder, uint32_t threadId) {
  const std::string suffix = SharedBlockName("", threadId).substr(2);
  int removed = 0;
  for (const DirEntry& entry : ScanDir(folder, "KQ*")) {
    const std::string& n = entry.name;
    if (n.size() > suffix.size() + 2 && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0 &&
        ::unlink((WithSlash(folder) + n).c_str()) == 0)
      ++removed;
  }
  return removed;
}

}  // namespace velmaris::platform
