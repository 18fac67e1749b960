// Message text as it arrives: subjects through the reply-marker routines,
// lines through the quoting routines, and the text as rendered paragraphs
// through the viewer's layout. Every display line must be the prefix,
// restoring escapes and a piece of its paragraph; hit columns, runs, the
// selected text and find must stay inside the lines.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/logic/MsgText.h"
#include "widgets/logic/TextLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  if (size < 2) return 0;
  const int width = 1 + data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  (void)StripReplyMarker(text);
  (void)ReplySubject(text, true);
  (void)ReplySubject(text, false);
  const std::string quotable = MakeQuotable(text);
  (void)QuotePrefix(quotable.substr(0, quotable.size() / 2), text.substr(0, 3));
  std::string rotated(text);
  Rot13(rotated);
  Rot13(rotated);
  if (rotated != text) std::abort();

  // Paragraphs at CR, the first 8 bytes of each as its prefix.
  std::vector<std::string> paragraphs, prefixes;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\r', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    prefixes.emplace_back(line.substr(0, 8));
    paragraphs.emplace_back(line.substr(line.size() < 8 ? line.size() : 8));
    start = end + 1;
  }
  TGlyphWidths widths = TGlyphWidths::Fixed(1);
  for (int b = 0; b < 256; ++b) widths.advance[2][static_cast<size_t>(b)] = 1 + b % 3;
  const auto lines = WrapParagraphs(paragraphs, prefixes, width, widths);
  for (const TDisplayLine& line : lines) {
    const std::string& para = paragraphs[static_cast<size_t>(line.paragraph)];
    const std::string_view piece = std::string_view(line.text).substr(line.headLength);
    if (para.compare(static_cast<size_t>(line.paraOffset), piece.size(), piece) != 0) std::abort();
    int column = ColumnAt(line.text, width / 2, widths);
    if (column < 0 || column > static_cast<int>(line.text.size())) std::abort();
    for (const TTextRun& run : LineRuns(line.text, 1, column, widths, width))
      if (run.begin < 0 || run.end > static_cast<int>(line.text.size())) std::abort();
  }
  if (!lines.empty()) {
    TTextSelection all{
        {0, 0}, {static_cast<int>(lines.size()) - 1, static_cast<int>(lines.back().text.size())}};
    if (SelectedText(lines, all).find('\x1b') != std::string::npos) std::abort();
    auto hit = FindInLines(lines, text.substr(0, 2), false, true, {0, 0});
    if (hit && (hit->line >= static_cast<int>(lines.size()) ||
                hit->column >= static_cast<int>(lines[static_cast<size_t>(hit->line)].text.size())))
      std::abort();
  }
  return 0;
}
