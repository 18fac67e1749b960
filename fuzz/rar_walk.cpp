// The RAR walk through the reader that stands in for the RAR library
// (libarchive) over arbitrary bytes, and the walk over the block headers for
// a file's CRC-32 in both formats. Nothing may be written outside the
// temporary directory, which is emptied after each input.
#include <ftw.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/RarHeaders.h"
#include "archive/UnrarApi.h"
#include "archive/arxUnRAR.h"

namespace {

struct Paths {
  std::string root, archive, out;
};

const Paths& GetPaths() {
  static Paths p = [] {
    char tmpl[] = "/tmp/velmaris-fuzz-rar-XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    Paths q;
    q.root = tmpl;
    q.archive = q.root + "/in.rar";
    q.out = q.root + "/out/";
    velmaris::unrar::SetLibraryPath(velmaris::unrar::kLibarchiveReader);
    return q;
  }();
  return p;
}

int RemoveOne(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto read = [data, size](uint64_t offset, void* buf, size_t n) -> size_t {
    if (offset >= size) return 0;
    const size_t got = std::min<uint64_t>(n, size - offset);
    std::memcpy(buf, data + offset, got);
    return got;
  };
  velmaris::RarStoredFileCrc(read, 0, false);
  velmaris::RarStoredFileCrc(read, 0, true);

  const Paths& p = GetPaths();
  FILE* f = fopen(p.archive.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  velmaris::TUnRAR x;
  x.SetArchiveFile(p.archive);
  x.SetExtractDir(p.out);
  x.SetFileSpec({"*.*"});
  x.ConfirmOverwrites = false;
  try {
    x.Extract();
  } catch (const velmaris::E_RAISE&) {
  }
  nftw(p.out.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
  return 0;
}
