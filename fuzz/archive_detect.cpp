// Archive type detection over arbitrary file contents.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ScratchDir.h"
#include "archive/arxBase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const velmaris::fuzz::TScratchDir scratch("detect");
  const std::string path = scratch.Path() + "in";
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
