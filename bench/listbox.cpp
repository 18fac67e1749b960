// The multi-column list box with a million virtual rows, offscreen: setting
// the count with the first paint, painting a full viewport, scrolling,
// selecting, inverting the selection, searching, sorting a string list.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <cstdlib>

#include "widgets/BetterListBox.h"
#include "widgets/EZBetterListBox.h"

using velmaris::TBetterListBox;
using velmaris::TCustomBetterListBox;
using velmaris::TEZBetterListBox;

namespace {

constexpr int kRows = 1000000;

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_listbox";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  return *app;
}

// A 800 x 600 list box with five columns whose cells are made on demand.
struct Box {
  TBetterListBox box;
  Box() {
    box.Columns().Add("Area", 200);
    for (int i = 0; i < 4; ++i) box.Columns().Add("Count", 100, 1);
    box.SetShowColumnHeaders(true);
    box.SetMultiSelect(true);
    box.OnGetData = [](TCustomBetterListBox*, int row, int col, int&, int&, QString& caption) {
      caption = col == 0 ? QStringLiteral("AREA.%1").arg(row) : QString::number(row % 997 * col);
    };
    box.resize(800, 600);
    box.show();
  }
};

void Render(QWidget& w) {
  static QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  w.render(&painter);
}

void BM_SetCountAndFirstPaint(benchmark::State& state) {
  App();
  for (auto _ : state) {
    state.PauseTiming();
    Box b;
    state.ResumeTiming();
    b.box.SetCount(kRows);
    Render(b.box);
  }
}
BENCHMARK(BM_SetCountAndFirstPaint)->Unit(benchmark::kMillisecond);

void BM_FullViewportPaint(benchmark::State& state) {
  App();
  Box b;
  b.box.SetCount(kRows);
  b.box.SetTopIndex(kRows / 2);
  b.box.SelectItem(kRows / 2 + 3);
  for (auto _ : state) Render(b.box);
  state.counters["rows"] = b.box.VisibleRows();
}
BENCHMARK(BM_FullViewportPaint)->Unit(benchmark::kMicrosecond);

void BM_PageDownAndPaint(benchmark::State& state) {
  App();
  Box b;
  b.box.SetCount(kRows);
  b.box.SelectItem(0);
  for (auto _ : state) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(&b.box, &key);
    if (b.box.FocusIndex() >= kRows - 1) b.box.SelectItem(0);
    Render(b.box);
  }
}
BENCHMARK(BM_PageDownAndPaint)->Unit(benchmark::kMicrosecond);

void BM_InvertSelection(benchmark::State& state) {
  App();
  Box b;
  b.box.SetCount(kRows);
  for (auto _ : state) {
    b.box.InvertSelection();
    Render(b.box);
  }
}
BENCHMARK(BM_InvertSelection)->Unit(benchmark::kMillisecond);

void BM_SelectAllAndCount(benchmark::State& state) {
  App();
  Box b;
  b.box.SetCount(kRows);
  for (auto _ : state) {
    b.box.SelectAll();
    benchmark::DoNotOptimize(b.box.SelectedCount());
  }
}
BENCHMARK(BM_SelectAllAndCount)->Unit(benchmark::kMillisecond);

// Worst case of the incremental search: no row starts with the letter, so
// every row's first caption is asked for once.
void BM_IncrementalSearchMiss(benchmark::State& state) {
  App();
  Box b;
  b.box.SetCount(kRows);
  b.box.SelectItem(10);
  for (auto _ : state) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z");
    QApplication::sendEvent(&b.box, &key);
  }
}
BENCHMARK(BM_IncrementalSearchMiss)->Unit(benchmark::kMillisecond);

void BM_IncrementalSearchMissStringList(benchmark::State& state) {
  App();
  QStringList items;
  items.reserve(kRows);
  for (int i = 0; i < kRows; ++i) items << QStringLiteral("[0]AREA.%1\t%2").arg(i).arg(i % 1000);
  TEZBetterListBox box;
  box.Columns().Add("Area", 200);
  box.SetItems(items);
  box.SelectItem(10);
  for (auto _ : state) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z");
    QApplication::sendEvent(&box, &key);
  }
}
BENCHMARK(BM_IncrementalSearchMissStringList)->Unit(benchmark::kMillisecond);

void BM_SortStringList(benchmark::State& state) {
  App();
  const int rows = static_cast<int>(state.range(0));
  QStringList items;
  items.reserve(rows);
  for (int i = 0; i < rows; ++i)
    items << QStringLiteral("AREA.%1\t%2").arg((i * 7919) % rows).arg(i % 1000);
  for (auto _ : state) {
    state.PauseTiming();
    TEZBetterListBox box;
    box.Columns().Add("Area", 200);
    box.Columns().Add("Count", 100);
    box.SetItems(items);
    state.ResumeTiming();
    box.SetSorted(true);
  }
}
BENCHMARK(BM_SortStringList)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
