// The message editor offscreen with a text of 1 MB: loading the text, and
// typing at its end, one key press with the repaint it causes per iteration.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/MessageEditor.h"

using velmaris::TMessageEditor;

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_ui_editor";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  return *app;
}

// About 1 MB: lines of 64 characters, every fourth one quoted.
std::vector<std::string> MegabyteOfLines() {
  std::vector<std::string> lines;
  size_t size = 0;
  for (int i = 0; size < (1u << 20); ++i) {
    std::string line = (i % 4 == 0 ? " AB> " : "") + std::string("Line ") + std::to_string(i);
    line.resize(64, 'x');
    size += line.size() + 1;
    lines.push_back(std::move(line));
  }
  return lines;
}

void BM_EditorOpenMegabyte(benchmark::State& state) {
  App();
  const std::vector<std::string> lines = MegabyteOfLines();
  TMessageEditor editor;
  editor.show();
  for (auto _ : state) {
    editor.SetLines(lines);
    QApplication::processEvents();
  }
  state.SetBytesProcessed(state.iterations() * (1 << 20));
}
BENCHMARK(BM_EditorOpenMegabyte)->Unit(benchmark::kMillisecond);

void BM_EditorTypeAtEndOfMegabyte(benchmark::State& state) {
  App();
  TMessageEditor editor;
  editor.SetLines(MegabyteOfLines());
  editor.show();
  editor.Editor->setFocus();
  editor.Editor->moveCursor(QTextCursor::End);
  QApplication::processEvents();
  int n = 0;
  for (auto _ : state) {
    // A letter, and a line break every 60 keys, as typing goes.
    const bool enter = ++n % 60 == 0;
    const int key = enter ? Qt::Key_Return : Qt::Key_A;
    const QString text = enter ? QStringLiteral("\r") : QStringLiteral("a");
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(editor.Editor, &press);
    QApplication::sendEvent(editor.Editor, &release);
    QApplication::processEvents();
  }
  editor.SetLines({});
}
BENCHMARK(BM_EditorTypeAtEndOfMegabyte)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
