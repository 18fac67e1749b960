// Hydra bytes of any kind through the packet parser, with every option set
// the session may use: each packet taken is bounded and, sent again with the
// same options, reads back the same; nothing is taken after an abort.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "mailer/HydraFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  if (size < 2) return 0;
  const uint32_t options = (data[0] | (data[1] << 8)) & 0x3FF;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  THydraParser parser;
  std::vector<THydraReceived> got;
  // In two pieces, as blocks arrive from the line.
  parser.Feed(bytes.substr(0, bytes.size() / 2), options, got);
  parser.Feed(bytes.substr(bytes.size() / 2), options, got);
  for (const THydraReceived& p : got) {
    if (p.data.size() > kHydraMaxPacket) std::abort();
    THydraParser again;
    std::vector<THydraReceived> back;
    again.Feed(HydraPacket(p.type, p.data, options), options, back);
    if (back.size() != 1 || back[0].type != p.type || back[0].data != p.data) std::abort();
  }
  return 0;
}
