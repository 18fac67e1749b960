// Message text with uuencoded files: decoding never writes more bytes than
// the text holds, names only what a begin line names, and each file is
// created before it is written and closed once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/logic/UUDecode.h"
#include "core/TextHelpers.h"

namespace {

struct CountingSink : velmaris::TUUDecodeSink {
  bool open = false;
  size_t bytes = 0;
  Opened Create(const std::string& name) override {
    if (open || name.empty()) std::abort();
    if (name.size() % 7 == 0) return Opened::Failed;
    open = true;
    return Opened::Created;
  }
  bool Write(std::string_view data) override {
    if (!open) std::abort();
    bytes += data.size();
    return true;
  }
  bool Close(bool keep) override {
    if (!open) std::abort();
    open = false;
    return keep;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  if (size > (1u << 20)) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = SplitTextLines(text);
  CountingSink sink;
  int lastLine = 0;
  const TUUDecodeTotals totals = UUDecodeLines(
      lines, sink, [](const std::string&) {},
      [&](int line) {
        if (line != lastLine + 1) std::abort();
        lastLine = line;
      });
  if (sink.open || sink.bytes > size || totals.Bytes > static_cast<int64_t>(sink.bytes))
    std::abort();
  return 0;
}
