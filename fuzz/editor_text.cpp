// Runs the editor's text rules over any text (typed, pasted or read from an
// inserted file): the text out with every switch, the quote prefix of each
// line, quote continuation at every column of the first line, re-flowing,
// and UUencoding. Re-flowing keeps every non-blank character in order.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/logic/EditorText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const TAreaTextRules all{true, true, true, true};
  for (std::string line : EditorTextToMailLines(text, all)) {
    std::string prefix;
    if (GetQuotePrefix(line, prefix) && (prefix.size() < 3 || prefix.front() != ' ')) std::abort();
  }
  const std::string first(text.substr(0, text.find_first_of("\r\n")));
  for (int column = 0; column <= static_cast<int>(first.size()) + 1 && column < 300; ++column) {
    const auto split = ContinueQuote(first, column);
    if (split && split->First.size() + 1 != static_cast<size_t>(column)) std::abort();
  }
  if (size <= 4096) {
    // Without quotes and controls, re-flowing only moves blanks and breaks.
    std::string plain, visible;
    for (char c : text) {
      if (c != ' ' && (static_cast<unsigned char>(c) <= ' ' || c == '>')) continue;
      plain += c;
      if (c != ' ') visible += c;
    }
    std::string flowed;
    for (char c : ReflowQuotes(plain))
      if (static_cast<unsigned char>(c) > ' ') flowed += c;
    if (flowed != visible) std::abort();
  }
  (void)UUEncodeText("name", text.substr(0, kMaxUUEncodeSize));
  return 0;
}
