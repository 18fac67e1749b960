// The RAR walk through the reader that stands in for the RAR library
// (libarchive) over arbitrary bytes, and the walk over the block headers for
// a file's CRC-32 in both formats. Nothing may be written outside the
// scratch directory.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "ArjLhaFuzz.h"
#include "archive/RarHeaders.h"
#include "archive/UnrarApi.h"
#include "archive/arxUnRAR.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto read = [data, size](uint64_t offset, void* buf, size_t n) -> size_t {
    if (offset >= size) return 0;
    const size_t got = std::min<uint64_t>(n, size - offset);
    std::memcpy(buf, data + offset, got);
    return got;
  };
  velmaris::RarStoredFileCrc(read, 0, false);
  velmaris::RarStoredFileCrc(read, 0, true);
  velmaris::unrar::SetLibraryPath(velmaris::unrar::kLibarchiveReader);
  velmaris::fuzz::RunExtractor<velmaris::TUnRAR>(data, size, ".rar");
  return 0;
}
