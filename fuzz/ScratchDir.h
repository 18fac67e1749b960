// Shared by the targets that hand their input to the code as files: one
// scratch directory for the whole run of a target, and the check that a run
// left nothing in it but the names it may hold.
//
// The directory lies in $TMPDIR when that is set, else in /dev/shm when that
// is writable (rewriting the same files at every run makes a disk file system
// flush them each time), else in /tmp. It goes with everything in it when the
// process ends through exit(), as libFuzzer does once its time or run count
// is up; after a crash or an abort it stays for a look.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>

namespace velmaris::fuzz {

class TScratchDir {
 public:
  // Made at once; tag goes into the name ("velmaris-fuzz-<tag>-XXXXXX").
  explicit TScratchDir(std::string_view tag) {
    const char* env = std::getenv("TMPDIR");
    const std::string base = env && *env                       ? env
                             : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                               : "/tmp";
    std::string name = base + "/velmaris-fuzz-" + std::string(tag) + "-XXXXXX";
    if (!::mkdtemp(name.data())) std::abort();
    path_ = name + "/";
  }
  ~TScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;

  // The directory, ending in "/".
  const std::string& Path() const { return path_; }

  // Aborts unless every entry of the directory is named in `names`. The
  // output directory of a run lies in it, so whatever an extractor writes
  // outside that directory (a stored name that climbs out with "..") lands
  // here and stops the fuzzer.
  void RequireOnly(std::initializer_list<std::string_view> names) const {
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      const std::string name = entry.path().filename().string();
      bool known = false;
      for (const std::string_view allowed : names) known = known || name == allowed;
      if (known) continue;
      std::fprintf(stderr, "%s was written outside the output directory\n", entry.path().c_str());
      std::abort();
    }
  }

  // Removes one entry of the directory with everything below it.
  void Remove(const std::string& name) const {
    std::error_code ec;
    std::filesystem::remove_all(path_ + name, ec);
  }

 private:
  std::string path_;
};

}  // namespace velmaris::fuzz
