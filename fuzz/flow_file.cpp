// Flow-file bytes of any kind: every line the reader accepts as an entry is a
// bounded path without line breaks or NUL, and taking an entry out keeps every
// other line whole and in order (a second pass removes nothing more).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "mailer/Outbound.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  if (size > kMaxFlowFileSize) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::vector<FlowLine> lines = ParseFlowFile(bytes);
  std::string target;
  for (const FlowLine& l : lines) {
    if (l.text.empty() || l.text.find('\n') != std::string::npos) std::abort();
    const bool entry = l.action == FlowAction::Keep || l.action == FlowAction::Delete ||
                       l.action == FlowAction::Truncate;
    if (entry) {
      if (l.path.empty() || l.text.size() > kMaxFlowLineLength) std::abort();
      if (l.path.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
      const std::size_t prefix = l.action == FlowAction::Keep ? 0 : 1;
      if (l.text.compare(prefix, std::string::npos, l.path) != 0) std::abort();
      if (target.empty()) target = l.path;
      (void)ClassifyOutboundPath(l.path);
    } else if (!l.path.empty()) {
      std::abort();
    }
  }
  if (target.empty()) return 0;

  const FlowRewrite rw = FlowFileWithout(bytes, target);
  if (rw.removed.empty()) std::abort();  // the first entry is always found
  const std::vector<FlowLine> kept = ParseFlowFile(rw.contents);
  if (kept.size() + rw.removed.size() != lines.size()) std::abort();
  // The kept lines are the original lines without the removed ones, in order.
  std::size_t k = 0;
  const std::string expanded = ExpandFlowPath(target);
  for (const FlowLine& l : lines) {
    const bool removed = !l.path.empty() && ExpandFlowPath(l.path) == expanded;
    if (removed) continue;
    if (k >= kept.size() || kept[k].text != l.text || kept[k].action != l.action) std::abort();
    ++k;
  }
  const FlowRewrite again = FlowFileWithout(rw.contents, target);
  if (!again.removed.empty() || again.contents != rw.contents) std::abort();
  return 0;
}
