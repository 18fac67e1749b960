// The ZIP walk over arbitrary bytes: detection, both walks, passwords and
// every decoder, extracting into a scratch directory that is emptied after
// each input. Nothing may be written outside the output directory.
#include <cstdint>
#include <fstream>
#include <string>

#include "ScratchDir.h"
#include "archive/arxUnZIP.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const velmaris::fuzz::TScratchDir scratch("zip");
  const std::string archive = scratch.Path() + "in.zip";
  {
    std::ofstream f(archive, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  velmaris::TUnZIP z;
  z.SetArchiveFile(archive);
  z.SetExtractDir(scratch.Path() + "out/");
  z.SetFileSpec({"*.*"});
  z.ConfirmOverwrites = false;
  z.Passwords = {"secret"};
  z.OnGetPassword = [](velmaris::TUnBase&, const std::string&, std::string& pw, bool& again) {
    pw = "guess";
    again = false;
  };
  try {
    if (velmaris::IsZipFamily(z.ArcType())) z.Extract();
  } catch (const velmaris::E_RAISE&) {
  }
  scratch.RequireOnly({"in.zip", "out"});
  scratch.Remove("out");
  return 0;
}
