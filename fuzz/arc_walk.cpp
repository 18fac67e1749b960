// The ARC walk over any bytes: the archive is written to a temporary file and
// extracted into a temporary directory, which is emptied after each input.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/arxUnARC.h"

namespace {

// The scratch directory, removed when the fuzzer ends.
struct ScratchDir {
  std::string path;
  ScratchDir() {
    char tmpl[] = "/tmp/velmaris-fuzz-arc-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    path = std::string(tmpl) + "/";
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

const std::string& WorkDir() {
  static ScratchDir dir;
  return dir.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string arc = WorkDir() + "in.arc";
  const std::string out = WorkDir() + "out/";
  {
    std::ofstream f(arc, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  velmaris::TUnARC x;
  x.SetArchiveFile(arc);
  x.SetExtractDir(out);
  x.SetFileSpec({"*.*"});
  x.ConfirmOverwrites = false;
  try {
    x.Extract();
  } catch (const velmaris::E_RAISE&) {
  }
  // Nothing may be written outside the output directory.
  for (const auto& e : std::filesystem::directory_iterator(WorkDir()))
    if (e.path().filename() != "in.arc" && e.path().filename() != "out") std::abort();
  std::error_code ec;
  std::filesystem::remove_all(out, ec);
  return 0;
}
