// The ZIP walk over arbitrary bytes: detection, both walks, passwords and
// every decoder, extracting into a temporary directory that is emptied
// after each input. Nothing may be written outside it.
#include <ftw.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/arxUnZIP.h"

namespace {

struct Paths {
  std::string root, archive, out;
};

const Paths& GetPaths() {
  static Paths p = [] {
    char tmpl[] = "/tmp/velmaris-fuzz-zip-XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    Paths q;
    q.root = tmpl;
    q.archive = q.root + "/in.zip";
    q.out = q.root + "/out/";
    return q;
  }();
  return p;
}

int RemoveOne(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Paths& p = GetPaths();
  FILE* f = fopen(p.archive.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  velmaris::TUnZIP z;
  z.SetArchiveFile(p.archive);
  z.SetExtractDir(p.out);
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
  nftw(p.out.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
  return 0;
}
