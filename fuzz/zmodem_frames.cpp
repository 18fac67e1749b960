// ZModem bytes of any kind through the frame parser: every reported header
// is whole, every good subpacket is bounded and re-encodes to a frame that
// parses back to the same bytes, and nothing follows a cancel.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mailer/ZModemFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TZParser parser;
  bool cancelled = false;
  parser.Feed(bytes, [&](const TZEvent& e) {
    if (cancelled) std::abort();
    if (e.kind == TZEvent::Cancel) cancelled = true;
    if (e.data.size() > kZMaxSubpacket) std::abort();
    if (e.kind != TZEvent::Data) return;
    if (e.frameEnd < ZCRCE || e.frameEnd > ZCRCW) std::abort();
    for (bool use32 : {false, true}) {
      TZEscaper esc;
      TZParser again;
      std::string seen;
      again.Feed(BinaryHeader({ZDATA, 0}, use32, esc) + Subpacket(e.data, ZCRCE, use32, esc),
                 [&](const TZEvent& r) {
                   if (r.kind == TZEvent::Data) seen = r.data;
                 });
      if (seen != e.data) std::abort();
    }
  });
  if (cancelled != parser.Cancelled()) std::abort();
  return 0;
}
