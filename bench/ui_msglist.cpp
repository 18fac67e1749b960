// The message list window on an area of 100,000 messages, offscreen: opening
// the area until the first screen is painted (with and without the thread
// tree, which follows the first screen) and until the tree is there too, the
// End key from the first row to the last, and showing messages (the next
// one, and the last one from the first) with the tree built.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/MsgWin.h"
#include "core/Area.h"
#include "core/Settings.h"
#include "platform/Files.h"
#include "widgets/BetterListBox.h"

using namespace velmaris;

namespace {

constexpr int kMessages = 100000;
constexpr int kThreads = 2000;

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_ui_msglist";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  return *app;
}

void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}

// A stored message of about 600 bytes of text; every message but the first
// of its thread answers an earlier one of the same thread.
std::unique_ptr<TMail> MakeMail(int n) {
  const int thread = n % kThreads;
  std::string body;
  for (uint16_t v : {2, 1, 1, 5020, 5020, 0, 0}) Put16(body, v);
  std::string date = "06 Dec 26  19:45:00";
  date.resize(20, '\0');
  body += date;
  const std::string from = "Sender " + std::to_string(n % 977);
  const std::string subject =
      (n < kThreads ? "" : "Re: ") + std::string("Topic ") + std::to_string(thread);
  body += "All" + std::string(1, '\0') + from + '\0' + subject + '\0';
  const auto textOffset = static_cast<uint16_t>(body.size());
  body += "\x01MSGID: 2:5020/1 " + std::to_string(n) + "\r";
  for (int line = 0; line < 10; ++line)
    body += "AB> Line " + std::to_string(line) + " of the message text with *some* words in it\r";
  body += " * Origin: Somewhere (2:5020/1)\rSEEN-BY: 5020/1 2 3\r";
  body += '\0';
  TMsgHeader h;
  h.OrigAddr = {2, 5020, 1, 0};
  h.DestAddr = {2, 5020, 1, 0};
  h.FromName = from;
  h.ToName = "All";
  h.Subject = subject;
  h.Created = 1700000000 + n;
  h.Tossed = 1700000000 + n;
  h.MsgIdNumber = static_cast<uint32_t>(n + 1);
  h.MsgIdCrc = 1;
  if (n >= kThreads) {
    h.ReplyNumber = static_cast<uint32_t>(n - kThreads * (1 + n % 3) + 1);
    if (static_cast<int>(h.ReplyNumber) < 1) h.ReplyNumber = static_cast<uint32_t>(thread + 1);
    h.ReplyCrc = 1;
  }
  h.TextOffset = textOffset;
  h.BodyLength = static_cast<uint32_t>(body.size());
  auto mail = std::make_unique<TMail>(std::move(body), h);
  mail->Header.Flags = n % 5 == 0 ? MsgFlag::Unread : 0;
  return mail;
}

struct Fixture {
  std::string dir;
  std::unique_ptr<Settings> settings;
  std::unique_ptr<TArea> area;
  Fixture() {
    App();
    char pattern[] = "/tmp/bench_msglist.XXXXXX";
    dir = std::string(mkdtemp(pattern)) + "/";
    settings = std::make_unique<Settings>(dir);
    SetSettings(settings.get());
    area = std::make_unique<TArea>(dir, "FIDO.GER", "FIDO.GER");
    for (int n = 0; n < kMessages; ++n) area->QueueMail(MakeMail(n), false);
    area->WriteQueuedMail();
  }
  ~Fixture() {
    area.reset();
    std::system(("rm -rf '" + dir + "'").c_str());
  }
  void Tree(bool on) { settings->SetChecked(SettingId::DisplayTree, on); }
};

Fixture& Data() {
  static Fixture* f = new Fixture;
  return *f;
}

void Render(QWidget& w) {
  static QImage image(900, 600, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  w.render(&painter);
}

std::unique_ptr<TMessageListWindow> OpenWindow(Fixture& f) {
  auto w = std::make_unique<TMessageListWindow>(f.dir);
  w->resize(900, 600);
  w->SetArea(f.area.get());
  w->show();
  Render(*w);
  return w;
}

void FirstScreen(benchmark::State& state, bool tree) {
  Fixture& f = Data();
  f.Tree(tree);
  for (auto _ : state) {
    auto w = OpenWindow(f);
    state.PauseTiming();
    w.reset();
    state.ResumeTiming();
  }
  state.counters["messages"] = kMessages;
}

// With the tree on, the first screen comes before the tree; this is the
// time until the tree is built and painted too.
void BM_OpenAreaTreeReady(benchmark::State& state) {
  Fixture& f = Data();
  f.Tree(true);
  for (auto _ : state) {
    auto w = OpenWindow(f);
    w->EnsureTree();
    Render(*w);
    state.PauseTiming();
    w.reset();
    state.ResumeTiming();
  }
  state.counters["messages"] = kMessages;
}
BENCHMARK(BM_OpenAreaTreeReady)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenAreaFirstScreenWithTree(benchmark::State& state) { FirstScreen(state, true); }
void BM_OpenAreaFirstScreenNoTree(benchmark::State& state) { FirstScreen(state, false); }
BENCHMARK(BM_OpenAreaFirstScreenWithTree)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpenAreaFirstScreenNoTree)->Unit(benchmark::kMillisecond)->Iterations(5);

// The thread forest alone (reply table, roots, links), no window.
void BM_ThreadForestBuild(benchmark::State& state) {
  Fixture& f = Data();
  f.area->OpenIndex();
  TThreadForest forest;
  for (auto _ : state) forest.Build(*f.area);
  f.area->ReleaseIndex();
  state.counters["records"] = forest.NextNode();
}
BENCHMARK(BM_ThreadForestBuild)->Unit(benchmark::kMillisecond);

void BM_ListEndKeyFirstToLast(benchmark::State& state) {
  Fixture& f = Data();
  f.Tree(true);
  auto w = OpenWindow(f);
  w->EnsureTree();
  TBetterListBox& list = *w->ListBox();
  for (auto _ : state) {
    state.PauseTiming();
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(&list, &home);
    Render(*w);
    state.ResumeTiming();
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(&list, &end);
    Render(*w);
  }
  if (w->CurrentIndex != kMessages - 1) state.SkipWithError("End did not reach the last message");
}
BENCHMARK(BM_ListEndKeyFirstToLast)->Unit(benchmark::kMillisecond);

void BM_ShowNextMessage(benchmark::State& state) {
  Fixture& f = Data();
  f.Tree(true);
  auto w = OpenWindow(f);
  w->EnsureTree();
  w->GoToMessage(0);
  for (auto _ : state) {
    w->ShowNextMessage();
    Render(*w);
    if (w->DisplayedIndex >= kMessages - 1) {
      state.PauseTiming();
      w->GoToMessage(0);
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_ShowNextMessage)->Unit(benchmark::kMillisecond);

void BM_ShowLastFromFirst(benchmark::State& state) {
  Fixture& f = Data();
  f.Tree(true);
  auto w = OpenWindow(f);
  w->EnsureTree();
  for (auto _ : state) {
    state.PauseTiming();
    w->GoToMessage(0);
    Render(*w);
    state.ResumeTiming();
    w->ShowLastMessage();
    Render(*w);
  }
  if (w->DisplayedIndex != kMessages - 1) state.SkipWithError("not at the last message");
}
BENCHMARK(BM_ShowLastFromFirst)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
