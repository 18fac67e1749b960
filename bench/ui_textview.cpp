// The text viewer with a message of one megabyte, offscreen in an 800 x 600
// pane: laying the rendered paragraphs out (wrapping), laying out and
// painting the first screen, painting alone, paging down, and a paragraph
// of a megabyte without a blank (one display line, painted only as far as
// it shows).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <cstdlib>
#include <string>
#include <vector>

#include "widgets/TextView.h"

using velmaris::TTextView;

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_ui_textview";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  return *app;
}

std::string Esc(int code) { return std::string{27, static_cast<char>(code)}; }

// About a megabyte as the message view renders it: lines of 40 to 140
// characters, every fourth a quote, a few with bold words.
struct Message {
  std::vector<std::string> prefixes, paragraphs;
  size_t bytes = 0;
  Message() {
    uint32_t x = 12345;
    while (bytes < (1u << 20)) {
      x = x * 1103515245u + 12345u;
      const bool quote = (x >> 20) % 4 == 0;
      std::string line;
      const size_t length = 40 + (x >> 8) % 100;
      while (line.size() < length) {
        x = x * 1103515245u + 12345u;
        if ((x >> 24) % 23 == 0) line += Esc(1) + "bold" + Esc(2) + " ";
        line += std::string(1 + (x >> 16) % 9, static_cast<char>('a' + (x >> 8) % 26)) + " ";
      }
      line += Esc(8);
      bytes += line.size();
      prefixes.push_back(quote ? Esc(129) + " AB> " : Esc(128));
      paragraphs.push_back(std::move(line));
    }
  }
};

const Message& TheMessage() {
  static const Message message;
  return message;
}

struct Pane {
  bool appReady = (App(), true);
  TTextView view;
  QImage image{800, 600, QImage::Format_RGB32};
  Pane() {
    view.resize(800, 600);
    view.show();
    QApplication::processEvents();
  }
  void Paint() {
    QPainter painter(&image);
    view.viewport()->render(&painter);
  }
};

void BM_LayOutOneMegabyte(benchmark::State& state) {
  Pane pane;
  const Message& m = TheMessage();
  for (auto _ : state) {
    pane.view.SetText(m.prefixes, m.paragraphs);
    benchmark::DoNotOptimize(pane.view.LineCount());
  }
  state.counters["lines"] = pane.view.LineCount();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.bytes));
}
BENCHMARK(BM_LayOutOneMegabyte)->Unit(benchmark::kMillisecond);

void BM_ShowOneMegabyte(benchmark::State& state) {
  Pane pane;
  const Message& m = TheMessage();
  for (auto _ : state) {
    pane.view.SetText(m.prefixes, m.paragraphs);
    pane.Paint();
  }
}
BENCHMARK(BM_ShowOneMegabyte)->Unit(benchmark::kMillisecond);

void BM_PaintScreen(benchmark::State& state) {
  Pane pane;
  pane.view.SetText(TheMessage().prefixes, TheMessage().paragraphs);
  for (auto _ : state) pane.Paint();
}
BENCHMARK(BM_PaintScreen)->Unit(benchmark::kMillisecond);

void BM_PageDownAndPaint(benchmark::State& state) {
  Pane pane;
  pane.view.SetText(TheMessage().prefixes, TheMessage().paragraphs);
  QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
  for (auto _ : state) {
    if (pane.view.TopIndex() >= pane.view.MaxTop()) pane.view.SetTopIndex(0);
    QApplication::sendEvent(&pane.view, &key);
    pane.Paint();
  }
}
BENCHMARK(BM_PageDownAndPaint)->Unit(benchmark::kMicrosecond);

void BM_ShowOneMegabyteWord(benchmark::State& state) {
  Pane pane;
  const std::vector<std::string> word{std::string(1u << 20, 'w')}, prefix{Esc(128)};
  for (auto _ : state) {
    pane.view.SetText(prefix, word);
    pane.Paint();
  }
}
BENCHMARK(BM_ShowOneMegabyteWord)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
