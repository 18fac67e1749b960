#include "processing/forms/JobWindows.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "core/ConfigStore.h"
#include "core/WinLst.h"
#include "core/forms/FormText.h"
#include "platform/Dispatcher.h"
#include "processing/Secretary.h"
#include "widgets/AnimatedSymbol.h"
#include "widgets/StatusLabel.h"

namespace velmaris {

namespace {

constexpr auto kForever = std::chrono::hours(24);

QLabel* AddCounter(QWidget* owner, QGridLayout* grid, const char* name, const QString& caption,
                   const QString& initial) {
  const int row = grid->rowCount();
  grid->addWidget(new QLabel(caption, owner), row, 0);
  auto* label = new QLabel(initial, owner);
  label->setObjectName(QString::fromLatin1(name));
  grid->addWidget(label, row, 1);
  return label;
}

QPlainTextEdit* MakeLog(QWidget* owner, const char* name) {
  auto* log = new QPlainTextEdit(owner);
  log->setObjectName(QString::fromLatin1(name));
  log->setReadOnly(true);
  log->setLineWrapMode(QPlainTextEdit::NoWrap);
  return log;
}

QPushButton* MakeButton(QWidget* owner, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, owner);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

void ShowOnTop(QWidget* window) {
  window->show();
  window->raise();
}

TMaintainWindow* gMaintainWindow = nullptr;
TOptimizeWindow* gOptimizeWindow = nullptr;

}  // namespace

// --- Import ------------------------------------------------------------------------

TImportWindow::TImportWindow(TConfigStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store) {
  setObjectName("ImportWindow");
  setWindowTitle(QStringLiteral("Import"));
  resize(460, 380);
  auto* column = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  CntPkts = AddCounter(this, grid, "CntPkts", QStringLiteral("Packets:"), QStringLiteral("None"));
  Tossed =
      AddCounter(this, grid, "Tossed", QStringLiteral("Messages read:"), QStringLiteral("None"));
  Written = AddCounter(this, grid, "Written", QStringLiteral("Messages written:"),
                       QStringLiteral("None"));
  TossTime =
      AddCounter(this, grid, "TossTime", QStringLiteral("Time:"), QStringLiteral("00:00:00"));
  column->addLayout(grid);
  column->addWidget(new QLabel(QStringLiteral("Mail to you:"), this));
  ToSysop = new QListWidget(this);
  ToSysop->setObjectName("ToSysop");
  ToSysop->setMaximumHeight(90);
  column->addWidget(ToSysop);
  Status = MakeLog(this, "Status");
  column->addWidget(Status, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  AbortBtn = MakeButton(this, "AbortBtn", QStringLiteral("Abort"));
  CloseBtn = MakeButton(this, "CloseBtn", QStringLiteral("Close"));
  AbortBtn->hide();
  buttons->addWidget(AbortBtn);
  buttons->addWidget(CloseBtn);
  column->addLayout(buttons);
  connect(AbortBtn, &QPushButton::clicked, this, &TImportWindow::AbortBtnClick);
  connect(CloseBtn, &QPushButton::clicked, this, &QWidget::hide);
  WinLst().Add("Import", this);
}

TImportWindow::~TImportWindow() {
  if (tosser_) tosser_->Abort();
  WaitIdle();
  tosser_.reset();
  WinLst().Remove(this);
}

bool TImportWindow::Running() const { return tosser_ && !tosser_->Finished(); }

void TImportWindow::WaitIdle() {
  platform::GetDispatcher().RunUntil([this] { return !Running(); }, kForever);
}

void TImportWindow::StartImport() {
  if (Running()) return;
  tosser_.reset();  // the last run has ended; its thread is joined here
  TTosserSetup setup;
  setup.Store = &store_;
  setup.View = this;
  setup.FreeSpace = freeSpace_;
  filters_.reset();
  if (TFilterList* list = GetImportFilters()) {
    TFilterEnv env;
    env.Store = &store_;
    filters_ = std::make_unique<TImportFilterRun>(*list, env);
    setup.Filters = filters_.get();
  }
  tosser_ = std::make_unique<TTosser>(setup);
  if (!tosser_->Start()) {
    tosser_.reset();
    AddLogLine("Another import is running.");
    ShowOnTop(this);
  }
}

void TImportWindow::AbortBtnClick() {
  if (tosser_) tosser_->Abort();
}

void TImportWindow::RunStarted() {
  ToSysop->clear();
  Status->clear();
  CloseBtn->hide();
  AbortBtn->show();
  TossTime->setText(QStringLiteral("Initializing..."));
  for (QLabel* label : {CntPkts, Tossed, Written}) label->setText(QStringLiteral("None"));
  ShowOnTop(this);
}

void TImportWindow::SetCaption(const std::string& caption) { setWindowTitle(AnsiText(caption)); }
void TImportWindow::AddLogLine(const std::string& line) { Status->appendPlainText(AnsiText(line)); }
void TImportWindow::AddToSysop(const std::string& line) { ToSysop->addItem(AnsiText(line)); }
void TImportWindow::SetPackets(int count) { CntPkts->setText(AnsiText(CounterText(count))); }
void TImportWindow::SetTossed(int count) { Tossed->setText(AnsiText(CounterText(count))); }
void TImportWindow::SetWritten(int count) { Written->setText(AnsiText(CounterText(count))); }
void TImportWindow::SetTossTime(const std::string& text) { TossTime->setText(AnsiText(text)); }

void TImportWindow::RunFinished() {
  AbortBtn->hide();
  CloseBtn->show();
}

// --- Export ------------------------------------------------------------------------

TExportForm::TExportForm(TConfigStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store) {
  setObjectName("ExportForm");
  setWindowTitle(QStringLiteral("Export"));
  resize(420, 320);
  auto* column = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  EchoMail =
      AddCounter(this, grid, "EchoMail", QStringLiteral("Echomail:"), QStringLiteral("None"));
  NetMail = AddCounter(this, grid, "NetMail", QStringLiteral("Netmail:"), QStringLiteral("None"));
  CrashMail =
      AddCounter(this, grid, "CrashMail", QStringLiteral("Crashmail:"), QStringLiteral("None"));
  AllMail = AddCounter(this, grid, "AllMail", QStringLiteral("All:"), QStringLiteral("None"));
  column->addLayout(grid);
  ResList = MakeLog(this, "ResList");
  column->addWidget(ResList, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  AbortBtn = MakeButton(this, "AbortBtn", QStringLiteral("Close"));
  buttons->addWidget(AbortBtn);
  column->addLayout(buttons);
  // Closes the window; the scan goes on.
  connect(AbortBtn, &QPushButton::clicked, this, &QWidget::hide);
  WinLst().Add("Export", this);
}

TExportForm::~TExportForm() {
  if (exporter_) exporter_->Abort();
  WaitIdle();
  exporter_.reset();
  WinLst().Remove(this);
}

// Until the run's thread is done: its last hand-over (the pending call)
// follows the end of the scan.
bool TExportForm::Running() const { return exporter_ && !exporter_->Idle(); }

void TExportForm::WaitIdle() {
  platform::GetDispatcher().RunUntil([this] { return !Running(); }, kForever);
}

void TExportForm::StartExport() {
  if (Running()) return;
  exporter_.reset();
  exporter_ = std::make_unique<TExporter>(this);
  filters_.reset();
  if (TFilterList* list = GetExportFilters()) {
    TFilterEnv env;
    env.Store = &store_;
    filters_ = std::make_unique<TExportFilterRun>(*list, env);
    exporter_->AreaOptions.Filters = filters_.get();
  }
  exporter_->PendingCall = PendingCall;
  PendingCall = nullptr;
  exporter_->Start();
}

void TExportForm::ExportStarted() {
  ResList->clear();
  ShowOnTop(this);
}

void TExportForm::ExportStatus(const std::string& status, int echomails, int netmails,
                               int crashmails) {
  setWindowTitle(AnsiText("Export - " + status));
  EchoMail->setText(AnsiText(CounterText(echomails)));
  NetMail->setText(AnsiText(CounterText(netmails)));
  CrashMail->setText(AnsiText(CounterText(crashmails)));
  AllMail->setText(AnsiText(CounterText(echomails + netmails + crashmails)));
}

void TExportForm::ExportLog(const std::string& line) { ResList->appendPlainText(AnsiText(line)); }

// --- Maintenance and optimisation ----------------------------------------------------

TAreaRunWindow::TAreaRunWindow(const char* name, const char* caption, const char* clip)
    : QWidget(nullptr, Qt::Window) {
  setObjectName(QString::fromLatin1(name));
  setWindowTitle(QString::fromLatin1(caption));
  setAttribute(Qt::WA_DeleteOnClose, false);
  resize(360, 120);
  auto* column = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  AnimatedSymbol = new TAnimatedSymbol(this);
  AnimatedSymbol->setObjectName("AnimatedSymbol");
  AnimatedSymbol->setFixedSize(32, 32);
  AnimatedSymbol->SetAutoPlay(false);
  AnimatedSymbol->SetAVIName(QString::fromLatin1(clip));
  Status = new TStatusLabel(this);
  Status->setObjectName("Status");
  top->addWidget(AnimatedSymbol);
  top->addWidget(Status, 1);
  column->addLayout(top);
  Progress = new QProgressBar(this);
  Progress->setObjectName("Progress");
  Progress->setRange(0, 0);
  column->addWidget(Progress);
  Abbrechen = MakeButton(this, "Abbrechen", QStringLiteral("Cancel"));
  column->addWidget(Abbrechen, 0, Qt::AlignHCenter);
  connect(Abbrechen, &QPushButton::clicked, this, &TAreaRunWindow::AbbrechenClick);
  WinLst().Add(caption, this);
}

TAreaRunWindow::~TAreaRunWindow() {
  // A run still going on is cancelled and waited for; its hand-overs are
  // served meanwhile, its end no longer frees the window.
  closing_ = true;
  if (run_) run_->Cancel();
  run_.reset();
  WinLst().Remove(this);
}

void TAreaRunWindow::RunMaximum(int maximum) { Progress->setRange(0, std::max(maximum, 1)); }
void TAreaRunWindow::RunPosition(int position) { Progress->setValue(position); }
void TAreaRunWindow::RunStatus(const std::string& text) { Status->setText(AnsiText(text)); }

void TAreaRunWindow::StartRun(std::unique_ptr<TAreaRun> run) {
  run_ = std::move(run);
  AnimatedSymbol->SetAutoPlay(true);
  run_->Start();
}

void TAreaRunWindow::RunFinished(bool aborted) {
  (void)aborted;
  AnimatedSymbol->SetAutoPlay(false);
  if (closing_) return;
  hide();
  WinLst().Remove(this);
  // The run's thread is still returning from this call: the window and its
  // run go when the main thread is next idle.
  deleteLater();
  Ended();
}

void TAreaRunWindow::AbbrechenClick() {
  Abbrechen->setEnabled(false);
  if (run_) run_->Cancel();
  Status->setText(QStringLiteral("Aborting .."));
}

TMaintainWindow::TMaintainWindow() : TAreaRunWindow("MaintainWindow", "Maintenance", "AVI_3") {
  gMaintainWindow = this;
}

TMaintainWindow::~TMaintainWindow() {
  if (gMaintainWindow == this) gMaintainWindow = nullptr;
}

void TMaintainWindow::StartMaintenance() {
  StartRun(std::make_unique<MaintainAll::TMaintainer>(this));
}

void TMaintainWindow::Ended() {
  if (gMaintainWindow == this) gMaintainWindow = nullptr;
}

TOptimizeWindow::TOptimizeWindow()
    : TAreaRunWindow("OptimizeWindow", "Optimizing Messagebase", "AVI_4") {
  gOptimizeWindow = this;
}

TOptimizeWindow::~TOptimizeWindow() {
  if (gOptimizeWindow == this) gOptimizeWindow = nullptr;
}

void TOptimizeWindow::StartOptimize() {
  // The maintenance that may follow is started here, on the main thread,
  // when the window ends (Ended), not by the run.
  StartRun(std::make_unique<TOptimizer>(this));
}

void TOptimizeWindow::Ended() {
  if (gOptimizeWindow == this) gOptimizeWindow = nullptr;
  if (!MaintainAfterwards) return;
  if (TMaintainWindow* window = GetMaintainWindow())
    ShowOnTop(window);
  else
    StartMaintainAll();
}

TMaintainWindow* GetMaintainWindow() { return gMaintainWindow; }
TOptimizeWindow* GetOptimizeWindow() { return gOptimizeWindow; }

void StartMaintainAll() {
  if (gMaintainWindow) return;
  auto* window = new TMaintainWindow;
  ShowOnTop(window);
  window->StartMaintenance();
}

TOptimizeWindow* StartOptimizeAll() {
  if (gOptimizeWindow) return gOptimizeWindow;
  auto* window = new TOptimizeWindow;
  ShowOnTop(window);
  window->StartOptimize();
  return window;
}

}  // namespace velmaris
