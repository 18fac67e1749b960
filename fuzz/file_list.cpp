// BBS file lists of any kind: every listed line is shown within its bound,
// the area scan stays inside the list, and request lines never hold a
// control character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/MailBox.h"
#include "mailer/FileRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  if (size < 4 || size > (1u << 20)) return 0;
  TMailBox box;
  box.AreaLine = static_cast<int8_t>(data[0]) % 8;
  box.AreaColumn = data[1] % 40;
  box.AreaSize = data[2] % 40;
  box.AreaIndicator = std::string(1, static_cast<char>(data[3]));
  TFileList list;
  list.LoadText(std::string(reinterpret_cast<const char*>(data) + 4, size - 4));
  for (int i = 0; i < list.Count(); ++i) {
    const std::string line = list.Line(i, data[0] % 20);
    if (line.size() > kMaxShownLine) std::abort();
    std::string request;
    try {
      request = RequestFileLine(line);
    } catch (const EFileList&) {
      continue;  // a name that cannot be requested
    }
    for (const char c : request)
      if (static_cast<unsigned char>(c) < 32 || c == 127) std::abort();
  }
  for (const TFileArea& area : ScanFileAreas(list, box)) {
    if (area.Line < 0 || area.Line >= list.Count()) std::abort();
    if (AreaOfLine(ScanFileAreas(list, box), area.Line) < 0) std::abort();
  }
  return 0;
}
