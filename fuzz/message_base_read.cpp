// Reads an area's two message base files made from arbitrary bytes: the
// first two bytes (little-endian) give the length of ".PackedIndex", the
// rest of the input is ".PackedBody". The index is opened and every body
// read (up to a bound, to keep runs short); a damaged body must give the
// substitute message, never a crash. The search's reader of a body inside
// the whole body file must give the same text whenever it accepts a record.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ScratchDir.h"
#include "core/Area.h"
#include "core/MessageBase.h"

namespace {

const std::string& FuzzDir() {
  static const velmaris::fuzz::TScratchDir dir("msgbase");
  return dir.Path();
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmaris;
  if (size < 2) return 0;
  size_t indexSize = static_cast<size_t>(data[0] | (data[1] << 8));
  data += 2;
  size -= 2;
  if (indexSize > size) indexSize = size;

  const std::string& dir = FuzzDir();
  WriteFile(dir + "FUZZ.PackedIndex", data, indexSize);
  WriteFile(dir + "FUZZ.PackedBody", data + indexSize, size - indexSize);

  TArea area(dir, "NETMAIL", "FUZZ");
  if (area.OpenIndex()) {
    area.OpenBody();
    const int reads = area.Count < 2000 ? area.Count : 2000;
    const std::string_view bodyFile(reinterpret_cast<const char*>(data + indexSize),
                                    size - indexSize);
    std::string scratch;
    for (int i = 0; i < reads; ++i) {
      auto mail = area.ReadMail(i);
      if (!mail || !CheckBodyLayout(mail->Body, mail->Header.TextOffset)) std::abort();
      std::string_view text;
      if (StoredBodyText(bodyFile, area.GetHeader(i), scratch, text) && text != mail->BodyText())
        std::abort();
    }
    area.CloseBody();
    // Leave without writing the index back.
    area.ReleaseIndex();
  }
  return 0;
}
