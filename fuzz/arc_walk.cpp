// The ARC walk over any bytes: the archive is written to a file and extracted
// into a scratch directory, which is emptied after each input. Nothing may be
// written outside the output directory.
#include <cstdint>
#include <fstream>
#include <string>

#include "ScratchDir.h"
#include "archive/arxUnARC.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const velmaris::fuzz::TScratchDir scratch("arc");
  const std::string arc = scratch.Path() + "in.arc";
  {
    std::ofstream f(arc, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  velmaris::TUnARC x;
  x.SetArchiveFile(arc);
  x.SetExtractDir(scratch.Path() + "out/");
  x.SetFileSpec({"*.*"});
  x.ConfirmOverwrites = false;
  try {
    x.Extract();
  } catch (const velmaris::E_RAISE&) {
  }
  scratch.RequireOnly({"in.arc", "out"});
  scratch.Remove("out");
  return 0;
}
