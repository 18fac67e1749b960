// TLinePrinter: prints plain text line by line on a printer, or writes the
// same output to a text file. Margins in inches or millimetres, line
// spacing, tab expansion, word wrap or truncation, alignment, '|'-separated
// table rows with per-column width and alignment and an optional grid, a
// header and a footer row with macros, and page borders.
//
// The printer is reached through TLinePrinterDevice (the window side puts a
// Qt printer behind it); lengths become device pixels through its
// resolution. Coordinates are pixels from the paper's top-left corner; the
// text area starts at the margins.
//
// Document states: idle -> printing [BeginDoc] -> idle [EndDoc]. While
// printing, the margins, title, orientation, PrintToFile and FileName are
// fixed. A page break is taken when a line is about to be put out below the
// text area (never after the last line, so no empty page ends a document);
// NewPage breaks at once.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/DateTimeUtil.h"
#include "platform/Files.h"

namespace velmaris {

class ELinePrinter : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TMeasureUnit { muInches, muMillimeters };
enum class TLineSpacing { lsHalfSpace, lsSingleSpace, lsSingleAndAHalf, lsDoubleSpace };
enum TPageBorderStyle : uint8_t { pbTop = 1, pbBottom = 2, pbLeft = 4, pbRight = 8 };
using TPageBorders = uint8_t;
enum class TPrintOrientation { poPortrait, poLandscape };
inline constexpr int kAlignLeft = 0, kAlignRight = 1, kAlignCenter = 2;

struct TPrintFont {
  std::string Name = "Courier New";
  int Size = 10;  // points
  bool Bold = false, Italic = false, Underline = false;
  bool operator==(const TPrintFont&) const = default;
};

// What the printer offers: resolution, paper size and the unprintable
// edges, all in pixels.
struct TPrinterMetrics {
  int DpiX = 600, DpiY = 600;
  int PageWidth = 4961, PageHeight = 7016;
  int MinLeft = 0, MinTop = 0, MinRight = 0, MinBottom = 0;
};

class TLinePrinterDevice {
 public:
  virtual ~TLinePrinterDevice() = default;
  virtual TPrinterMetrics Metrics() const = 0;
  virtual void SetFont(const TPrintFont& font) = 0;
  // Widths of byte strings in the ANSI code page, in the current font.
  virtual int TextWidth(std::string_view text) = 0;
  // Text height plus external leading, and the external leading alone.
  virtual int LineBase() = 0;
  virtual int ExternalLeading() = 0;
  // False on a printer failure.
  virtual bool BeginDoc(const std::string& title, TPrintOrientation orientation) = 0;
  virtual bool NewPage() = 0;
  virtual bool EndDoc() = 0;
  virtual void TextOut(int x, int y, std::string_view text) = 0;  // y: top of the line
  virtual void DrawLine(int x1, int y1, int x2, int y2, int penWidth) = 0;
};

// The progress window while printing: status, document title and page.
class TPrintProgress {
 public:
  virtual ~TPrintProgress() = default;
  virtual void Show(const std::string& status, const std::string& title, int page) = 0;
  virtual void Close() = 0;
};

// One column of a table format: "<", ">" or "^" and a width in the measure
// unit; an empty format or one of only the alignment takes the default width.
struct TColumnSpec {
  int Alignment = kAlignLeft;
  double Width = 0;
};
TColumnSpec ParseColumnSpec(std::string_view format, double defaultWidth);
// Fields at '|': "a|b|" gives three.
std::vector<std::string> SplitBars(std::string_view text);
// Each TAB becomes blanks up to the next multiple of tabSize.
std::string ExpandTabs(std::string_view line, int tabSize);

struct TPrintMacroValues {
  int Line = 0, Page = 0;
  std::string Date, Time, Title;
};
// {$LINE}, {$PAGE}, {$DATE}, {$TIME}, {$TITLE}; a macro whose value holds the
// macro itself stays.
std::string ExpandPrintMacros(std::string_view text, const TPrintMacroValues& values);

class TLinePrinter {
 public:
  explicit TLinePrinter(TLinePrinterDevice& device);
  ~TLinePrinter();

  double MarginTop() const { return margins_[kTop]; }
  double MarginBottom() const { return margins_[kBottom]; }
  double MarginLeft() const { return margins_[kLeft]; }
  double MarginRight() const { return margins_[kRight]; }
  void SetMarginTop(double value) { SetMargin(kTop, value); }
  void SetMarginBottom(double value) { SetMargin(kBottom, value); }
  void SetMarginLeft(double value) { SetMargin(kLeft, value); }
  void SetMarginRight(double value) { SetMargin(kRight, value); }

  TMeasureUnit MeasureUnit() const { return unit_; }
  void SetMeasureUnit(TMeasureUnit unit);
  TLineSpacing LineSpacing() const { return spacing_; }
  void SetLineSpacing(TLineSpacing spacing) { spacing_ = spacing; }
  const TPrintFont& Font() const { return font_; }
  // Takes effect at once, also while printing (the next line uses it).
  void SetFont(const TPrintFont& font);
  TPrintOrientation Orientation() const { return orientation_; }
  void SetOrientation(TPrintOrientation orientation);
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);
  double DefaultColWidth() const { return defaultColWidth_; }
  void SetDefaultColWidth(double width);
  bool PrintToFile() const { return printToFile_; }
  void SetPrintToFile(bool value);
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& name);

  int TabSize = 8;
  bool WordWrap = true;
  std::vector<std::string> Lines;
  int Alignment = kAlignLeft;
  std::string Header, Footer, HeaderFormat, FooterFormat;
  TPageBorders PageBorders = 0;
  std::string TableFormat;
  double BorderOffset = 0;
  bool TableGrid = false;

  // With ShowProgress, Progress shows the status while printing.
  bool ShowProgress = false;
  TPrintProgress* Progress = nullptr;

  std::function<void()> OnBeginDoc, OnEndDoc, OnNewLine, OnNewPage;
  // The clock of the date and time macros.
  std::function<TDateTime()> Clock = [] { return Now(); };

  void BeginDoc();
  void EndDoc();
  // Every entry of Lines, as table rows when asTable and TableFormat is set.
  void PrintLines(bool asTable);
  void PrintLine(std::string_view text);
  void PrintTableRow(std::string_view row);
  void NewLine();
  void NewPage();

  bool Printing() const { return printing_; }
  int PageNumber() const { return page_; }
  int LineNumber() const { return line_; }
  // The current position below the text area's top, in pixels.
  int CurrentY() const { return y_; }
  int LineHeight();

 private:
  enum Side { kTop, kBottom, kLeft, kRight };
  void SetMargin(Side side, double value);
  double MinMargin(Side side) const;
  int ToPixelsX(double length) const;
  int ToPixelsY(double length) const;
  double ToLength(int pixels, int dpi) const;
  int LeftPx() const { return ToPixelsX(margins_[kLeft]); }
  int TopPx() const { return ToPixelsY(margins_[kTop]); }
  int PrintableWidth() const;
  int PrintableHeight() const;
  size_t FitLength(std::string_view text, int width);
  void PrintWrapped(std::string_view text);
  void OutputLine(std::string_view text);
  void BreakPageIfDue();
  void StartPage();
  void DrawBorders();
  void UpdateProgress(const char* status);
  void WriteFile(std::string_view bytes);
  std::string Blanks(int pixels);

  TLinePrinterDevice& device_;
  TPrinterMetrics metrics_;
  double margins_[4] = {0, 0, 0, 0};
  TMeasureUnit unit_ = TMeasureUnit::muInches;
  TLineSpacing spacing_ = TLineSpacing::lsSingleSpace;
  TPrintFont font_;
  TPrintOrientation orientation_ = TPrintOrientation::poPortrait;
  std::string title_, fileName_;
  double defaultColWidth_ = 0;
  bool printToFile_ = false;
  bool printing_ = false;
  bool pageDue_ = false;
  platform::Fd file_;
  int page_ = 0, line_ = 0, y_ = 0;
  std::string status_;
};

}  // namespace velmaris
