#include "app/logic/LinePrinter.h"

#include <fcntl.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/Mail.h"

namespace velmaris {

namespace {

constexpr double kMmPerInch = 25.4;
const char* const kSideNames[] = {"top", "bottom", "left", "right"};

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

void Fire(const std::function<void()>& event) {
  if (event) event();
}

}  // namespace

TColumnSpec ParseColumnSpec(std::string_view format, double defaultWidth) {
  TColumnSpec column;
  if (!format.empty()) {
    switch (format[0]) {
      case '<':
        column.Alignment = kAlignLeft;
        format.remove_prefix(1);
        break;
      case '>':
        column.Alignment = kAlignRight;
        format.remove_prefix(1);
        break;
      case '^':
        column.Alignment = kAlignCenter;
        format.remove_prefix(1);
        break;
      default: break;
    }
  }
  column.Width = defaultWidth;
  if (!format.empty()) {
    double value = 0;
    auto [end, error] = std::from_chars(format.data(), format.data() + format.size(), value);
    if (error == std::errc() && end == format.data() + format.size() && value >= 0)
      column.Width = value;
  }
  return column;
}

std::vector<std::string> SplitBars(std::string_view text) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t bar = text.find('|', start);
    fields.emplace_back(text.substr(start, bar == std::string_view::npos ? bar : bar - start));
    if (bar == std::string_view::npos) return fields;
    start = bar + 1;
  }
}

std::string ExpandTabs(std::string_view line, int tabSize) {
  if (line.find('\t') == std::string_view::npos) return std::string(line);
  if (tabSize < 1) tabSize = 1;
  std::string out;
  for (char c : line) {
    if (c == '\t')
      out.append(static_cast<size_t>(tabSize - static_cast<int>(out.size()) % tabSize), ' ');
    else
      out += c;
  }
  return out;
}

std::string ExpandPrintMacros(std::string_view text, const TPrintMacroValues& v) {
  std::string out(text);
  const std::pair<const char*, std::string> macros[] = {{"{$LINE}", std::to_string(v.Line)},
                                                        {"{$PAGE}", std::to_string(v.Page)},
                                                        {"{$DATE}", v.Date},
                                                        {"{$TIME}", v.Time},
                                                        {"{$TITLE}", v.Title}};
  for (const auto& [name, value] : macros) {
    const std::string_view macro = name;
    if (value.find(macro) != std::string::npos) continue;
    for (size_t at = out.find(macro); at != std::string::npos; at = out.find(macro, at)) {
      out.replace(at, macro.size(), value);
      at += value.size();
    }
  }
  return out;
}

// --- Properties -----------------------------------------------------------

TLinePrinter::TLinePrinter(TLinePrinterDevice& device) : device_(device) {
  metrics_ = device_.Metrics();
  for (Side side : {kTop, kBottom, kLeft, kRight}) margins_[side] = MinMargin(side);
  device_.SetFont(font_);
}

TLinePrinter::~TLinePrinter() {
  try {
    EndDoc();
  } catch (const ELinePrinter&) {
  }
}

double TLinePrinter::ToLength(int pixels, int dpi) const {
  double inches = static_cast<double>(pixels) / std::max(1, dpi);
  return unit_ == TMeasureUnit::muMillimeters ? inches * kMmPerInch : inches;
}

int TLinePrinter::ToPixelsX(double length) const {
  double inches = unit_ == TMeasureUnit::muMillimeters ? length / kMmPerInch : length;
  return static_cast<int>(std::lround(inches * metrics_.DpiX));
}

int TLinePrinter::ToPixelsY(double length) const {
  double inches = unit_ == TMeasureUnit::muMillimeters ? length / kMmPerInch : length;
  return static_cast<int>(std::lround(inches * metrics_.DpiY));
}

double TLinePrinter::MinMargin(Side side) const {
  switch (side) {
    case kTop: return ToLength(metrics_.MinTop, metrics_.DpiY);
    case kBottom: return ToLength(metrics_.MinBottom, metrics_.DpiY);
    case kLeft: return ToLength(metrics_.MinLeft, metrics_.DpiX);
    case kRight: return ToLength(metrics_.MinRight, metrics_.DpiX);
  }
  return 0;
}

void TLinePrinter::SetMargin(Side side, double value) {
  if (printing_)
    throw ELinePrinter(std::string("Unable to change ") + kSideNames[side] +
                       " margin while printing");
  const bool vertical = side == kTop || side == kBottom;
  const Side opposite = side == kTop      ? kBottom
                        : side == kBottom ? kTop
                        : side == kLeft   ? kRight
                                          : kLeft;
  const double page = vertical ? ToLength(metrics_.PageHeight, metrics_.DpiY)
                               : ToLength(metrics_.PageWidth, metrics_.DpiX);
  const double max = page - MinMargin(opposite);
  margins_[side] = std::clamp(value, MinMargin(side), std::max(MinMargin(side), max));
}

void TLinePrinter::SetMeasureUnit(TMeasureUnit unit) {
  if (unit == unit_) return;
  const double factor = unit == TMeasureUnit::muInches ? 1 / kMmPerInch : kMmPerInch;
  for (double& margin : margins_) margin *= factor;
  BorderOffset *= factor;
  defaultColWidth_ *= factor;
  unit_ = unit;
  if (!printing_)
    for (Side side : {kTop, kBottom, kLeft, kRight}) SetMargin(side, margins_[side]);
}

void TLinePrinter::SetFont(const TPrintFont& font) {
  font_ = font;
  device_.SetFont(font_);
}

void TLinePrinter::SetOrientation(TPrintOrientation orientation) {
  if (printing_) throw ELinePrinter("Unable to change orientation while printing");
  orientation_ = orientation;
}

void TLinePrinter::SetTitle(const std::string& title) {
  if (printing_) throw ELinePrinter("Unable to change title while printing");
  title_ = title;
}

void TLinePrinter::SetDefaultColWidth(double width) {
  if (width < 0) {
    defaultColWidth_ = 0;
    throw ELinePrinter("DefaultColWidth must be greater than or equal to 0");
  }
  defaultColWidth_ = width;
}

void TLinePrinter::SetPrintToFile(bool value) {
  if (printing_) throw ELinePrinter("Can't change PrintToFile while printing.");
  printToFile_ = value;
}

void TLinePrinter::SetFileName(const std::string& name) {
  if (printing_) throw ELinePrinter("Can't change FileName while printing.");
  size_t first = 0, last = name.size();
  while (first < last && name[first] == ' ') ++first;
  while (last > first && name[last - 1] == ' ') --last;
  fileName_ = name.substr(first, last - first);
}

// --- Geometry -------------------------------------------------------------

int TLinePrinter::PrintableWidth() const {
  return metrics_.PageWidth - LeftPx() - ToPixelsX(margins_[kRight]);
}

int TLinePrinter::PrintableHeight() const {
  return metrics_.PageHeight - TopPx() - ToPixelsY(margins_[kBottom]);
}

int TLinePrinter::LineHeight() {
  const int base = device_.LineBase();
  switch (spacing_) {
    case TLineSpacing::lsHalfSpace: return base / 2;
    case TLineSpacing::lsSingleSpace: return base;
    case TLineSpacing::lsSingleAndAHalf: return base + base / 2;
    case TLineSpacing::lsDoubleSpace: return 2 * base;
  }
  return base;
}

size_t TLinePrinter::FitLength(std::string_view text, int width) {
  size_t lo = 0, hi = text.size();
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2;
    if (device_.TextWidth(text.substr(0, mid)) <= width)
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

std::string TLinePrinter::Blanks(int pixels) {
  const int blank = std::max(1, device_.TextWidth(" "));
  return std::string(static_cast<size_t>(std::max(0, pixels / blank)), ' ');
}

void TLinePrinter::WriteFile(std::string_view bytes) {
  // A failing write of one line is not reported; the line advance goes on.
  if (file_.ok()) platform::WriteAll(file_.get(), bytes);
}

// --- Document -------------------------------------------------------------

void TLinePrinter::BeginDoc() {
  if (printing_) return;
  Fire(OnBeginDoc);
  device_.SetFont(font_);
  if (printToFile_) {
    file_ = platform::Fd(::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file_.ok()) throw ELinePrinter("Unable to begin printing.");
  } else if (!device_.BeginDoc(title_, orientation_)) {
    throw ELinePrinter("Unable to begin printing.");
  }
  metrics_ = device_.Metrics();
  printing_ = true;
  UpdateProgress("Preparing to Print");
  page_ = 1;
  StartPage();
}

void TLinePrinter::EndDoc() {
  if (!printing_) return;
  UpdateProgress("Finished Printing");
  printing_ = false;
  UpdateProgress(nullptr);
  pageDue_ = false;
  if (printToFile_) {
    if (!file_.Close()) throw ELinePrinter("Unable to finish printing to file.");
  } else if (!device_.EndDoc()) {
    throw ELinePrinter("Unable to finish printing.");
  }
  Fire(OnEndDoc);
}

void TLinePrinter::NewPage() {
  pageDue_ = false;
  if (printToFile_)
    WriteFile("\f");
  else if (!device_.NewPage())
    throw ELinePrinter("Unable to print a new page.");
  ++page_;
  StartPage();
}

void TLinePrinter::BreakPageIfDue() {
  if (pageDue_) NewPage();
}

void TLinePrinter::UpdateProgress(const char* status) {
  if (!Progress) return;
  if (status) status_ = status;
  if (ShowProgress && printing_)
    Progress->Show(status_, title_, page_);
  else
    Progress->Close();
}

void TLinePrinter::StartPage() {
  UpdateProgress("Currently Printing");
  const bool grid = TableGrid;
  const std::string format = TableFormat;
  TableGrid = false;
  const int height = LineHeight();
  if (!Header.empty()) {
    y_ = (TopPx() - height) / 2 - TopPx();
    TableFormat = HeaderFormat;
    PrintTableRow(Header);
  }
  if (!Footer.empty()) {
    y_ = PrintableHeight() + (ToPixelsY(margins_[kBottom]) - height) / 2;
    TableFormat = FooterFormat;
    PrintTableRow(Footer);
  }
  TableFormat = format;
  TableGrid = grid;
  y_ = 0;
  line_ = 0;
  pageDue_ = false;
  Fire(OnNewPage);
  Fire(OnNewLine);
  if (!printToFile_) DrawBorders();
}

void TLinePrinter::DrawBorders() {
  const int left = LeftPx(), top = TopPx(), width = PrintableWidth(), height = PrintableHeight();
  int pen = metrics_.DpiY / 300 * 2, d = ToPixelsY(BorderOffset);
  if (PageBorders & pbTop) device_.DrawLine(left - d, top - d, left + width + d, top - d, pen);
  if (PageBorders & pbBottom)
    device_.DrawLine(left - d, top + height + d, left + width + d, top + height + d, pen);
  pen = metrics_.DpiX / 300 * 2;
  d = ToPixelsX(BorderOffset);
  if (PageBorders & pbLeft) device_.DrawLine(left - d, top - d, left - d, top + height + d, pen);
  if (PageBorders & pbRight)
    device_.DrawLine(left + width + d, top - d, left + width + d, top + height + d, pen);
}

void TLinePrinter::NewLine() {
  y_ += LineHeight();
  if (printToFile_) {
    WriteFile("\n");
    ++line_;
  } else if (PrintableHeight() <= y_ + LineHeight()) {
    pageDue_ = true;
  } else {
    ++line_;
  }
  Fire(OnNewLine);
}

// --- Lines and rows -------------------------------------------------------

void TLinePrinter::PrintLines(bool asTable) {
  for (const std::string& line : Lines) {
    if (asTable && !TableFormat.empty())
      PrintTableRow(line);
    else
      PrintLine(line);
  }
}

void TLinePrinter::PrintLine(std::string_view text) {
  const std::string line = ExpandTabs(text, TabSize);
  const int width = PrintableWidth();
  if (device_.TextWidth(line) <= width)
    OutputLine(line);
  else if (WordWrap)
    PrintWrapped(line);
  else
    OutputLine(std::string_view(line).substr(0, FitLength(line, width)));
}

void TLinePrinter::PrintWrapped(std::string_view text) {
  const int width = PrintableWidth();
  while (!text.empty()) {
    // At least one character per line, however narrow the page.
    size_t n = std::max<size_t>(1, FitLength(text, width));
    if (n < text.size() && !IsBlank(text[n])) {
      size_t blank = text.substr(0, n).find_last_of(' ');
      if (blank != std::string_view::npos) n = blank;
    }
    std::string_view piece = text.substr(0, n);
    text.remove_prefix(n);
    if (!text.empty() && IsBlank(text[0])) text.remove_prefix(1);
    OutputLine(piece);
  }
}

void TLinePrinter::OutputLine(std::string_view text) {
  BreakPageIfDue();
  const int width = device_.TextWidth(text), room = PrintableWidth();
  const int offset = Alignment == kAlignRight    ? room - width
                     : Alignment == kAlignCenter ? (room - width) / 2
                                                 : 0;
  if (printToFile_) {
    WriteFile(Blanks(offset) + std::string(text));
  } else {
    if (y_ > 0 && PrintableHeight() <= y_ + LineHeight()) NewPage();
    device_.TextOut(LeftPx() + offset, TopPx() + y_, text);
  }
  NewLine();
}

void TLinePrinter::PrintTableRow(std::string_view row) {
  BreakPageIfDue();
  const std::vector<std::string> formats = SplitBars(TableFormat), cells = SplitBars(row);
  const int inner = metrics_.DpiX / 300 * 6;
  const int height = LineHeight();
  const TDateTime now = Clock ? Clock() : 0;
  int x = LeftPx();
  for (size_t i = 0; i < formats.size(); ++i) {
    const TColumnSpec format = ParseColumnSpec(formats[i], defaultColWidth_);
    const int columnWidth = ToPixelsX(format.Width);
    std::string text = i < cells.size() ? cells[i] : std::string();
    if (text.find("{$") != std::string::npos)
      text = ExpandPrintMacros(text,
                               {line_, page_, FormatShortDate(now), FormatMacroTime(now), title_});
    text.resize(FitLength(text, columnWidth));
    const int textWidth = device_.TextWidth(text);
    int offset = format.Alignment == kAlignRight    ? columnWidth - textWidth
                 : format.Alignment == kAlignCenter ? (columnWidth - textWidth) / 2
                                                  : 0;
    if (textWidth < columnWidth - inner) {
      if (format.Alignment == kAlignRight) offset -= inner;
      if (format.Alignment == kAlignLeft) offset += inner;
    }
    if (printToFile_) {
      WriteFile(Blanks(offset) + text + Blanks(columnWidth - offset - textWidth));
    } else {
      device_.TextOut(x + offset, TopPx() + y_, text);
    }
    if (TableGrid && !printToFile_) {
      const int leading = device_.ExternalLeading();
      const int shift = spacing_ == TLineSpacing::lsHalfSpace        ? leading / 2
                        : spacing_ == TLineSpacing::lsSingleAndAHalf ? (3 * leading + 1) / 2
                        : spacing_ == TLineSpacing::lsDoubleSpace    ? 2 * leading
                                                                     : leading;
      const int top = TopPx() + y_ - shift, bottom = top + height;
      const int hPen = metrics_.DpiY / 300 * 2, vPen = metrics_.DpiX / 300 * 2;
      device_.DrawLine(x, top, x + columnWidth, top, hPen);
      device_.DrawLine(x, bottom, x + columnWidth, bottom, hPen);
      device_.DrawLine(x, top, x, bottom, vPen);
      device_.DrawLine(x + columnWidth, top, x + columnWidth, bottom, vPen);
    }
    x += columnWidth;
  }
  NewLine();
}

}  // namespace velmaris
