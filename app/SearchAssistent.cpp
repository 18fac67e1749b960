#include "app/SearchAssistent.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/Area.h"
#include "core/WinLst.h"
#include "core/forms/FormText.h"
#include "platform/Help.h"
#include "widgets/AnimatedSymbol.h"
#include "widgets/EZBetterListBox.h"
#include "widgets/HelpKey.h"

namespace velmaris {

namespace {

constexpr const char* kWindowListName = "Search";

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

}  // namespace

TSearchAssistent::TSearchAssistent(TAreaList& areas, QWidget* parent)
    : QWidget(parent, Qt::Window), areas_(areas), search_(request_, *this) {
  setObjectName("SearchAssistent");
  setWindowTitle(QStringLiteral("Поиск сообщений"));
  BindHelpKey(this, platform::kHelpSearch);
  auto* layout = new QVBoxLayout(this);
  display_ = Named(new QTabWidget(this), "Display");
  display_->addTab(BuildCriteria(), QStringLiteral("Условия"));
  display_->addTab(BuildResults(), QStringLiteral("Результаты"));
  display_->tabBar()->setEnabled(false);  // the buttons switch the pages
  layout->addWidget(display_);
  auto* row = new QHBoxLayout;
  animate_ = Named(new TAnimatedSymbol(this), "Animate");
  animate_->SetAutoPlay(false);
  animate_->SetAVIName(QStringLiteral("AVI_1"));
  animate_->setFixedSize(32, 32);
  row->addWidget(animate_);
  row->addStretch();
  okbtn_ = Named(new QPushButton(QStringLiteral("Искать"), this), "Okbtn");
  newAction_ = Named(new QPushButton(QStringLiteral("Новый поиск"), this), "NewAction");
  abort_ = Named(new QPushButton(QStringLiteral("Прервать"), this), "Abort");
  close_ = Named(new QPushButton(QStringLiteral("Закрыть"), this), "btnClose");
  for (QPushButton* button : {okbtn_, newAction_, abort_, close_}) row->addWidget(button);
  layout->addLayout(row);
  connect(okbtn_, &QPushButton::clicked, this, [this] { OkbtnClick(); });
  connect(newAction_, &QPushButton::clicked, this, [this] { NewActionClick(); });
  connect(abort_, &QPushButton::clicked, this, [this] { AbortClick(); });
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
  ShowCriteriaPage();
  resize(560, 480);
}

TSearchAssistent::~TSearchAssistent() { WinLst().Remove(this); }

QWidget* TSearchAssistent::BuildCriteria() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  searchAreas_ = Named(new TEZBetterListBox(page), "SearchAreas");
  searchAreas_->SetMultiSelect(true);
  searchAreas_->Columns().Add(QStringLiteral("Эха"), 220);
  grid->addWidget(searchAreas_, 0, 0, 12, 1);
  AddTextRow(page, grid, 0, "DoApplyOrigName", "OrigName", "OrigCS", "OrigSubstr",
             QStringLiteral("От"), &TSearchRequest::ApplyOrigin, &TSearchRequest::Origin);
  AddTextRow(page, grid, 1, "DoApplyDestName", "DestName", "DestCS", "DestSubstr",
             QStringLiteral("Кому"), &TSearchRequest::ApplyDestination,
             &TSearchRequest::Destination);
  AddTextRow(page, grid, 2, "DoApplySubject", "Subject", "SubjectCS", "SubjSubstr",
             QStringLiteral("Тема"), &TSearchRequest::ApplySubject, &TSearchRequest::Subject);
  AddTextRow(page, grid, 3, "DoApplyText", "Text", "TextCS", "TextSubstr",
             QStringLiteral("Текст"), &TSearchRequest::ApplyText, &TSearchRequest::Text);
  struct Flag {
    const char* tested;
    const char* state;
    const char* caption;
    uint32_t bit;
  };
  const Flag flags[] = {{"ToSysop", "ToSysopState", "Сисопу", 0x0010},
                        {"Unread", "UnreadState", "Не прочитано", 0x0004},
                        {"Hold", "HoldState", "Hold", 0x0002},
                        {"Send", "SendState", "К отправке", 0x0040},
                        {"Sent", "SentState", "Отправлено", 0x0080},
                        {"Kill", "KillState", "Kill/Sent", 0x0020},
                        {"Imported", "ImportedState", "Новое", 0x2000}};
  int row = 4;
  for (const Flag& f : flags)
    AddFlagRow(page, grid, row++, f.tested, f.state, QString::fromUtf8(f.caption), f.bit);
  grid->setColumnStretch(0, 1);
  return page;
}

void TSearchAssistent::AddTextRow(QWidget* page, QGridLayout* grid, int row, const char* apply,
                                  const char* edit, const char* caseName, const char* substr,
                                  const QString& caption, bool TSearchRequest::*applyField,
                                  TSearchString TSearchRequest::*condition) {
  auto* use = Named(new QCheckBox(caption, page), apply);
  auto* text = Named(new QLineEdit(page), edit);
  auto* cs = Named(new QCheckBox(QStringLiteral("Aa"), page), caseName);
  auto* sub = Named(new QCheckBox(QStringLiteral("…"), page), substr);
  cs->setToolTip(QStringLiteral("Учитывать регистр"));
  sub->setToolTip(QStringLiteral("Подстрока"));
  const TSearchString& c = request_.*condition;
  use->setChecked(request_.*applyField);
  text->setText(AnsiText(c.Text()));
  cs->setChecked(c.CaseSensitive);
  sub->setChecked(c.SubstringMatch);
  text->setMaxLength(static_cast<int>(TSearchString::kMaxText));
  connect(use, &QCheckBox::toggled, this, [this, applyField](bool on) { request_.*applyField = on; });
  connect(text, &QLineEdit::textChanged, this,
          [this, condition](const QString& t) { (request_.*condition).SetText(AnsiBytes(t)); });
  connect(cs, &QCheckBox::toggled, this,
          [this, condition](bool on) { (request_.*condition).CaseSensitive = on; });
  connect(sub, &QCheckBox::toggled, this,
          [this, condition](bool on) { (request_.*condition).SubstringMatch = on; });
  grid->addWidget(use, row, 1);
  grid->addWidget(text, row, 2);
  grid->addWidget(cs, row, 3);
  grid->addWidget(sub, row, 4);
}

void TSearchAssistent::AddFlagRow(QWidget* page, QGridLayout* grid, int row, const char* tested,
                                  const char* state, const QString& caption, uint32_t bit) {
  auto* use = Named(new QCheckBox(caption, page), tested);
  auto* value = Named(new QCheckBox(QStringLiteral("установлен"), page), state);
  use->setChecked(request_.FlagMask & bit);
  value->setChecked(request_.Flags & bit);
  const auto setBit = [](uint32_t& word, uint32_t bit, bool on) {
    word = on ? word | bit : word & ~bit;
  };
  connect(use, &QCheckBox::toggled, this,
          [this, bit, setBit](bool on) { setBit(request_.FlagMask, bit, on); });
  connect(value, &QCheckBox::toggled, this,
          [this, bit, setBit](bool on) { setBit(request_.Flags, bit, on); });
  grid->addWidget(use, row, 1);
  grid->addWidget(value, row, 2);
}

QWidget* TSearchAssistent::BuildResults() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  areaLabel_ = Named(new QLabel(page), "AreaLabel");
  areaProgress_ = Named(new QProgressBar(page), "AreaProgress");
  mailLabel_ = Named(new QLabel(page), "MailLabel");
  mailProgress_ = Named(new QProgressBar(page), "MailProgress");
  results_ = Named(new QListWidget(page), "Results");
  for (QWidget* w : std::initializer_list<QWidget*>{areaLabel_, areaProgress_, mailLabel_,
                                                    mailProgress_, results_})
    layout->addWidget(w);
  connect(results_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { OpenHit(results_->row(item)); });
  results_->installEventFilter(this);
  return page;
}

void TSearchAssistent::SetAreaNames(const QStringList& names) {
  if (!searching_) searchAreas_->SetItems(names);
}

bool TSearchAssistent::eventFilter(QObject* watched, QEvent* event) {
  if (watched == results_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      OpenHit(results_->currentRow());
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TSearchAssistent::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (WinLst().IndexOfObject(this) < 0) WinLst().Add(kWindowListName, this);
  if (!searching_) ShowCriteriaPage();
}

void TSearchAssistent::hideEvent(QHideEvent* event) {
  WinLst().Remove(this);
  QWidget::hideEvent(event);
}

void TSearchAssistent::closeEvent(QCloseEvent* event) {
  // A search does not go on behind a closed window.
  if (searching_) search_.RequestAbort();
  QWidget::closeEvent(event);
}

void TSearchAssistent::ShowCriteriaPage() {
  display_->setCurrentIndex(0);
  okbtn_->show();
  close_->show();
  newAction_->hide();
  abort_->hide();
  abort_->setEnabled(false);
}

void TSearchAssistent::OkbtnClick() {
  if (searching_) return;
  display_->setCurrentIndex(1);
  RunSearch();
}

void TSearchAssistent::NewActionClick() {
  if (!searching_) ShowCriteriaPage();
}

void TSearchAssistent::AbortClick() { search_.RequestAbort(); }

void TSearchAssistent::RunSearch() {
  searching_ = true;
  abort_->setEnabled(true);
  abort_->show();
  close_->hide();
  okbtn_->hide();
  newAction_->hide();
  results_->clear();
  hits_.clear();
  areaLabel_->clear();
  mailLabel_->clear();
  std::vector<int> rows;
  for (int i = 0; i < searchAreas_->GetCount(); ++i)
    if (searchAreas_->Selected(i)) rows.push_back(i);
  animate_->SetState(TAnimatedState::acmPlaying);
  try {
    search_.Run(areas_, rows);
  } catch (const std::exception& e) {
    areaLabel_->setText(QString::fromStdString(e.what()));
  }
  animate_->SetState(TAnimatedState::acmClosed);  // empty again, as before the search
  searching_ = false;
  close_->show();
  abort_->setEnabled(false);
  abort_->hide();
  newAction_->show();
}

void TSearchAssistent::OpenHit(int row) {
  if (row < 0 || row >= static_cast<int>(hits_.size()) || !OnOpenHit) return;
  OnOpenHit(hits_[row], request_);
}

void TSearchAssistent::AreaLabel(const std::string& text) {
  areaLabel_->setText(QString::fromStdString(text));
}

void TSearchAssistent::MailLabel(const std::string& text) { mailLabel_->setText(AnsiText(text)); }

void TSearchAssistent::AreaProgress(int position, int max) {
  areaProgress_->setRange(0, std::max(max, 1));
  areaProgress_->setValue(position);
}

void TSearchAssistent::MailProgress(int position, int max) {
  mailProgress_->setRange(0, std::max(max, 1));
  mailProgress_->setValue(position);
}

void TSearchAssistent::AddHit(const TSearchHit& hit) {
  hits_.push_back(hit);
  results_->addItem(AnsiText(hit.Line));
}

void TSearchAssistent::ProcessMessages() { QCoreApplication::processEvents(); }

}  // namespace velmaris
