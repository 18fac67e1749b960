// Archive type detection over arbitrary file contents.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/arxBase.h"

namespace {

std::string TempName() {
  static std::string name = [] {
    char tmpl[] = "/tmp/velmaris-fuzz-detect-XXXXXX";
    const int fd = mkstemp(tmpl);
    if (fd < 0) abort();
    close(fd);
    return std::string(tmpl);
  }();
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = TempName();
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  velmaris::TarxMain m;
  m.SetArchiveFile(path);
  // The state detection leaves must describe a place inside the file.
  if (velmaris::ArcTypeResolved(m.ArcType()) && m.StartOffset() > m.ArchiveSize() &&
      m.ArcType() != velmaris::atArcExe)
    abort();
  return 0;
}
