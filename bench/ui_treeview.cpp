// The tree view with 100,000 nodes, offscreen: building the tree, expanding
// it fully, painting a full viewport, scrolling a page and selecting; and,
// for comparison, the same tree built, expanded and painted as QTreeWidget items.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QTreeWidget>
#include <cstdlib>

#include "widgets/TreeNT.h"

using velmaris::TTreeNT;
using velmaris::TTreeNTNode;

namespace {

constexpr int kRoots = 2000;
constexpr int kChildren = 49;  // 2,000 threads of 1 + 49 replies: 100,000 nodes

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_ui_treeview";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Threads of replies: every reply answers the previous one of its thread
// or, every seventh, the thread's root.
void Build(TTreeNT& tree) {
  tree.Items().BeginUpdate();
  tree.Items().Reserve(kRoots * (kChildren + 1));
  for (int t = 0; t < kRoots; ++t) {
    TTreeNTNode* root = tree.Items().AddChild(nullptr, QStringLiteral("Thread %1").arg(t));
    TTreeNTNode* last = root;
    for (int c = 0; c < kChildren; ++c) {
      TTreeNTNode* parent = c % 7 == 0 ? root : last;
      last = tree.Items().AddChild(parent, QStringLiteral("Re: reply %1").arg(c));
    }
  }
  tree.Items().EndUpdate();
}

struct View {
  TTreeNT tree;
  View() {
    tree.SetOptions(velmaris::toShowLines | velmaris::toShowRoot | velmaris::toShowButtons |
                    velmaris::toReadOnly);
    tree.SetItemHeight(16);
    tree.resize(800, 600);
    tree.show();
  }
};

void Render(QWidget& w) {
  static QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  w.render(&painter);
}

void BM_Build100k(benchmark::State& state) {
  App();
  for (auto _ : state) {
    state.PauseTiming();
    auto* v = new View;
    state.ResumeTiming();
    Build(v->tree);
    state.PauseTiming();
    delete v;
    state.ResumeTiming();
  }
  state.counters["nodes"] = kRoots * (kChildren + 1);
}
BENCHMARK(BM_Build100k)->Unit(benchmark::kMillisecond);

void BM_FullExpand100k(benchmark::State& state) {
  App();
  View v;
  Build(v.tree);
  for (auto _ : state) {
    v.tree.FullExpand();
    state.PauseTiming();
    v.tree.FullCollapse();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FullExpand100k)->Unit(benchmark::kMillisecond);

void BM_FullViewportPaint(benchmark::State& state) {
  App();
  View v;
  Build(v.tree);
  v.tree.FullExpand();
  v.tree.SetSelected(v.tree.Items().Item(50000));
  for (auto _ : state) Render(v.tree);
  state.counters["rows"] = v.tree.VisibleRowCount();
}
BENCHMARK(BM_FullViewportPaint)->Unit(benchmark::kMicrosecond);

void BM_PageDownAndPaint(benchmark::State& state) {
  App();
  View v;
  Build(v.tree);
  v.tree.FullExpand();
  v.tree.SetSelected(v.tree.Items().GetFirstNode());
  for (auto _ : state) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(&v.tree, &key);
    Render(v.tree);
  }
}
BENCHMARK(BM_PageDownAndPaint)->Unit(benchmark::kMicrosecond);

void BM_ExpandOneThreadAndSelect(benchmark::State& state) {
  App();
  View v;
  Build(v.tree);
  TTreeNTNode* root = v.tree.Items().GetFirstNode();
  for (int i = 0; i < kRoots / 2; ++i) root = root->GetNextSibling();
  for (auto _ : state) {
    root->Expand(true);
    v.tree.SetSelected(root->GetLastChild());
    root->Collapse(true);
  }
}
BENCHMARK(BM_ExpandOneThreadAndSelect)->Unit(benchmark::kMicrosecond);

// For comparison: the same tree as QTreeWidget items, one per node.
void BM_QTreeWidgetBuildAndExpand100k(benchmark::State& state) {
  App();
  for (auto _ : state) {
    state.PauseTiming();
    auto* tree = new QTreeWidget;
    tree->resize(800, 600);
    tree->show();
    state.ResumeTiming();
    QList<QTreeWidgetItem*> roots;
    for (int t = 0; t < kRoots; ++t) {
      auto* root = new QTreeWidgetItem(QStringList(QStringLiteral("Thread %1").arg(t)));
      QTreeWidgetItem* last = root;
      for (int c = 0; c < kChildren; ++c) {
        QTreeWidgetItem* parent = c % 7 == 0 ? root : last;
        last = new QTreeWidgetItem(parent, QStringList(QStringLiteral("Re: reply %1").arg(c)));
      }
      roots.append(root);
    }
    tree->addTopLevelItems(roots);
    tree->expandAll();
    Render(*tree);
    state.PauseTiming();
    delete tree;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_QTreeWidgetBuildAndExpand100k)->Unit(benchmark::kMillisecond);

void BM_BuildExpandAndPaint100k(benchmark::State& state) {
  App();
  for (auto _ : state) {
    state.PauseTiming();
    auto* v = new View;
    state.ResumeTiming();
    Build(v->tree);
    v->tree.FullExpand();
    Render(v->tree);
    state.PauseTiming();
    delete v;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BuildExpandAndPaint100k)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  App();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
