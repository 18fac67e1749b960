#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/logic/LinePrinter.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

// 100 pixels per inch on a letter page with quarter-inch unprintable
// edges; every character 10 pixels wide, lines 20 high.
class FakeDevice : public TLinePrinterDevice {
 public:
  struct Out {
    int page, x, y;
    std::string text;
  };
  std::vector<Out> outs;
  int pages = 0, lines = 0;
  bool failBegin = false;

  TPrinterMetrics Metrics() const override { return {100, 100, 850, 1100, 25, 25, 25, 25}; }
  void SetFont(const TPrintFont&) override {}
  int TextWidth(std::string_view text) override { return 10 * static_cast<int>(text.size()); }
  int LineBase() override { return 20; }
  int ExternalLeading() override { return 2; }
  bool BeginDoc(const std::string&, TPrintOrientation) override { return !failBegin && ++pages; }
  bool NewPage() override { return ++pages; }
  bool EndDoc() override { return true; }
  void TextOut(int x, int y, std::string_view text) override {
    outs.push_back({pages, x, y, std::string(text)});
  }
  void DrawLine(int, int, int, int, int) override { ++lines; }
};

TEST(LinePrinter, MarginsStayOnThePaperAndFollowTheUnit) {
  FakeDevice device;
  TLinePrinter printer(device);
  EXPECT_DOUBLE_EQ(printer.MarginTop(), 0.25);  // the printer's minimum
  printer.SetMarginTop(0.1);
  EXPECT_DOUBLE_EQ(printer.MarginTop(), 0.25);
  printer.SetMarginLeft(100);
  EXPECT_DOUBLE_EQ(printer.MarginLeft(), 8.25);
  printer.SetMarginLeft(1);
  printer.SetMeasureUnit(TMeasureUnit::muMillimeters);
  EXPECT_DOUBLE_EQ(printer.MarginLeft(), 25.4);
  printer.BeginDoc();
  EXPECT_THROW(printer.SetMarginTop(10), ELinePrinter);
  EXPECT_THROW(printer.SetFileName("x"), ELinePrinter);
  EXPECT_THROW(printer.SetDefaultColWidth(-1), ELinePrinter);
  EXPECT_EQ(printer.DefaultColWidth(), 0);
}

TEST(LinePrinter, TabsColumnsAndMacros) {
  EXPECT_EQ(ExpandTabs("a\tb", 8), "a       b");
  EXPECT_EQ(ExpandTabs("abcdefgh\tx\t", 4), "abcdefgh    x   ");
  const std::vector<std::string> formats = SplitBars(">1|^2|");
  ASSERT_EQ(formats.size(), 3u);
  const TColumnSpec want[] = {{kAlignRight, 1}, {kAlignCenter, 2}, {kAlignLeft, 0.5}};
  for (size_t i = 0; i < 3; ++i) {
    TColumnSpec got = ParseColumnSpec(formats[i], 0.5);
    EXPECT_EQ(got.Alignment, want[i].Alignment);
    EXPECT_DOUBLE_EQ(got.Width, want[i].Width);
  }
  EXPECT_DOUBLE_EQ(ParseColumnSpec("^", 0.5).Width, 0.5);
  EXPECT_DOUBLE_EQ(ParseColumnSpec("1.5", 0.5).Width, 1.5);
  TPrintMacroValues values{3, 7, "07.12.26", "4:05:00", "Title {$TITLE}"};
  EXPECT_EQ(ExpandPrintMacros("{$PAGE}/{$LINE} {$PAGE} {$DATE} {$TIME}", values),
            "7/3 7 07.12.26 4:05:00");
  EXPECT_EQ(ExpandPrintMacros("{$TITLE}", values), "{$TITLE}");
}

TEST(LinePrinter, HeaderShowsThePageNumberCentredOnEveryPage) {
  FakeDevice device;
  TLinePrinter printer(device);
  printer.Header = "|{$PAGE}|";
  printer.HeaderFormat = "<2|^2|>2";
  printer.BeginDoc();
  for (int i = 0; i < 60; ++i) printer.PrintLine("line");
  printer.EndDoc();
  std::vector<std::pair<int, std::string>> headers;
  for (const auto& out : device.outs)
    if (out.y == 2) headers.push_back({out.x, out.text});
  // Columns of 200 pixels from the left margin at 25; "1" centred in the second.
  using P = std::pair<int, std::string>;
  EXPECT_EQ(headers,
            (std::vector<P>{
                {25, ""}, {320, "1"}, {225 + 400, ""}, {25, ""}, {320, "2"}, {225 + 400, ""}}));
}

TEST(LinePrinter, LongLinesWrapAtWordsOrAreCut) {
  const std::string words = "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu";
  for (bool wrap : {true, false}) {
    FakeDevice device;
    TLinePrinter printer(device);
    printer.SetMarginLeft(2.1);
    printer.SetMarginRight(2.1);  // 430 pixels: 43 characters, the middle of "theta"
    printer.WordWrap = wrap;
    printer.BeginDoc();
    printer.PrintLine(words);
    std::vector<std::string> texts;
    for (const auto& out : device.outs) texts.push_back(out.text);
    if (wrap)
      EXPECT_EQ(texts, (std::vector<std::string>{"alpha beta gamma delta epsilon zeta eta",
                                                 "theta iota kappa lambda mu nu"}));
    else
      EXPECT_EQ(texts, (std::vector<std::string>{words.substr(0, 43)}));
  }
}

TEST(LinePrinter, PagesBreakBeforeALineThatDoesNotFitOnly) {
  // 1050 pixels of text area hold 52 lines of 20.
  for (auto [lines, pages] : {std::pair{52, 1}, {53, 2}, {104, 2}, {105, 3}}) {
    FakeDevice device;
    TLinePrinter printer(device);
    printer.BeginDoc();
    for (int i = 0; i < lines; ++i) printer.PrintLine("x");
    printer.EndDoc();
    EXPECT_EQ(device.pages, pages) << lines;
    EXPECT_EQ(device.outs.back().y, 25 + (lines - 1) % 52 * 20);
  }
}

TEST(LinePrinter, FileOutputWritesBlanksLinesAndFormFeeds) {
  test::TempDir dir;
  FakeDevice device;
  TLinePrinter printer(device);
  printer.SetPrintToFile(true);
  printer.SetFileName("  " + (dir / "out.txt") + " ");
  printer.TableFormat = "2|>1";
  printer.BeginDoc();
  printer.PrintLine("a\tb");
  printer.NewPage();
  printer.Alignment = kAlignRight;
  printer.PrintLine("xyz");
  printer.PrintTableRow("left|r");
  printer.EndDoc();
  EXPECT_EQ(dir.Read("out.txt"), "a       b\n\f" + std::string(77, ' ') + "xyz\n" + "left" +
                                     std::string(16, ' ') + std::string(9, ' ') + "r\n");
  EXPECT_EQ(device.pages, 0);
}

TEST(LinePrinter, ProgressFollowsTheDocumentWhenAskedFor) {
  struct Recorder : TPrintProgress {
    std::vector<std::string> seen;
    void Show(const std::string& status, const std::string& title, int page) override {
      seen.push_back(status + "|" + title + "|" + std::to_string(page));
    }
    void Close() override { seen.push_back("closed"); }
  };
  for (bool show : {false, true}) {
    FakeDevice device;
    Recorder progress;
    TLinePrinter printer(device);
    printer.Progress = &progress;
    printer.ShowProgress = show;
    printer.SetTitle("Mail");
    printer.BeginDoc();
    printer.NewPage();
    printer.EndDoc();
    const std::vector<std::string> shown = {
        "Preparing to Print|Mail|0", "Currently Printing|Mail|1", "Currently Printing|Mail|2",
        "Finished Printing|Mail|2", "closed"};
    EXPECT_EQ(progress.seen, show ? shown : std::vector<std::string>(5, "closed"));
  }
}

}  // namespace
}  // namespace velmaris
