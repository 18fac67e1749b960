// Message texts from arbitrary bytes through the message view's rendering.
// The first byte holds the display switches, the rest is the text. The
// lines and prefixes stay parallel, every shown line ends in the colour
// reset, no kludge line shows unless asked for, and the kludge readers and
// the code-page conversion around escapes take any text, keeping every
// line's length but an AREA line's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/logic/MsgRender.h"
#include "app/logic/MsgText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmaris;
  if (size < 1) return 0;
  TRenderOptions options;
  options.Styles = data[0] & 1;
  options.ShowKludges = data[0] & 2;
  options.ShowArea = data[0] & 4;
  options.ShowSeenBy = data[0] & 8;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  const TRenderedText r = RenderMessageText(text, options);
  if (r.Lines.size() != r.Prefixes.size()) std::abort();
  for (size_t i = 0; i < r.Lines.size(); ++i) {
    const std::string& line = r.Lines[i];
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\x1b\x08") != 0) std::abort();
    if (!options.ShowKludges && !line.empty() && line[0] == kKludgeChar) std::abort();
    if (r.Prefixes[i].size() < 2 || r.Prefixes[i][0] != kDisplayEsc) std::abort();
    // Byte for byte, but for an AREA line's tag, which reads as its area
    // reads it (a UTF-8 tag takes fewer bytes in the ANSI page).
    const std::string shown = OemDisplayToAnsi(line);
    if (line.rfind("AREA:", 0) != 0 && shown.size() != line.size()) std::abort();
  }
  const std::string plain = ApplyInlineStyles(text);
  if (plain.size() < text.size()) std::abort();
  (void)GetKludge(text, "MSGID", "");
  (void)ReadKludgeValues(text, "2:5020/1");
  (void)IsLatinText(text);
  (void)MailDateText(text);
  (void)MailTimeText(text);
  return 0;
}
