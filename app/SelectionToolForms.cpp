#include "app/SelectionToolForms.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/MsgWin.h"
#include "app/ProgressWindow.h"
#include "core/Area.h"
#include "core/AreaTag.h"
#include "core/forms/FormText.h"
#include "platform/Prompter.h"
#include "widgets/AnimatedSymbol.h"

namespace velmaris {

namespace {

// The clips of the two tools: a sheet of paper falling into a bin (delete)
// or moving between two folders (copy), drawn once.
void RegisterClips() {
  static bool done = false;
  if (done) return;
  done = true;
  constexpr int kFrames = 8, kSize = 32;
  for (int clip = 1; clip <= 2; ++clip) {
    QPixmap strip(kFrames * kSize, kSize);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    for (int f = 0; f < kFrames; ++f) {
      const int x = f * kSize;
      p.setPen(Qt::darkGray);
      if (clip == 1) {
        p.drawRect(x + 8, kSize - 12, 16, 11);  // the bin
        p.fillRect(x + 12, 2 + f * 2, 8, 10, Qt::white);
        p.drawRect(x + 12, 2 + f * 2, 8, 10);
      } else {
        p.fillRect(x + 1, 18, 9, 12, Qt::yellow);
        p.fillRect(x + 22, 18, 9, 12, Qt::yellow);
        p.fillRect(x + 4 + f * 3, 8, 6, 8, Qt::white);
        p.drawRect(x + 4 + f * 3, 8, 6, 8);
      }
    }
    TAnimatedSymbol::RegisterClip(QString("AVI_%1").arg(clip), strip, kSize);
  }
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text = {}) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

}  // namespace

// --- The common part ----------------------------------------------------------------

TSelectionToolForm::TSelectionToolForm(QWidget* owner, const char* name, const QString& caption,
                                       const char* captionSuffix, const char* openFailure)
    : QDialog(owner), captionSuffix_(captionSuffix), openFailure_(openFailure) {
  setObjectName(QString::fromLatin1(name));
  setWindowTitle(caption);
  Ok = new QPushButton(QStringLiteral("OK"), this);
  Ok->setObjectName("Ok");
  Cancel = new QPushButton(QStringLiteral("Отмена"), this);
  Cancel->setObjectName("Cancel");
  ToDo = MakeLabel(this, "ToDo");
  DaText = MakeLabel(this, "DaText");
  Progress = new QProgressBar(this);
  Progress->setObjectName("Progress");
  Progress->setTextVisible(false);
  Ok->setEnabled(false);
  connect(Ok, &QPushButton::clicked, this, &TSelectionToolForm::OkClick);
  connect(Cancel, &QPushButton::clicked, this, &TSelectionToolForm::CancelClick);
}

TSelectionToolForm::~TSelectionToolForm() {
  if (area_) area_->CloseIndex();
}

void TSelectionToolForm::Start(TArea* area) {
  Ok->setEnabled(false);
  if (area != area_) {
    if (area_) area_->CloseIndex();
    area_ = area;
    if (!area_) {
      setWindowTitle(QStringLiteral("No area assigned !"));
    } else if (area_->OpenIndex()) {
      setWindowTitle(AreaNameText(*area_) + AnsiText(captionSuffix_));
      Ok->setEnabled(true);
    } else {
      setWindowTitle(AnsiText(openFailure_) + AreaNameText(*area_) + " !");
      area_ = nullptr;
    }
  } else if (area_) {
    Ok->setEnabled(true);
  }
  AskState();
}

void TSelectionToolForm::OkClick() {
  if (!area_ || running_) return;
  running_ = true;
  aborted_ = false;
  Work();
  running_ = false;
  done(QDialog::Accepted);
}

void TSelectionToolForm::CancelClick() { reject(); }

void TSelectionToolForm::reject() {
  if (running_) {
    aborted_ = true;
    return;
  }
  QDialog::reject();
}

bool TSelectionToolForm::Aborted() {
  Breathe();
  return aborted_;
}

void TSelectionToolForm::Breathe(bool force) { velmaris::Breathe(breath_, force); }

bool TSelectionToolForm::TakeSelection(std::vector<int32_t>& selection,
                                       const std::string& noReader) {
  TMessageListWindow* window = MessageWindowOf(*area_);
  if (!window) {
    AskState();
    Inform(noReader);
    return false;
  }
  selection = window->GetSelection();
  return true;
}

void TSelectionToolForm::Inform(const std::string& text) {
  platform::GetPrompter().Ask(platform::MsgKind::Information,
                              platform::AnsiToUtf8(text), platform::mbOk);
}

// --- Question and work panels ---------------------------------------------------

TAskActionForm::TAskActionForm(QWidget* owner, const char* name, const QString& caption,
                               const char* captionSuffix, const char* openFailure, const char* clip)
    : TSelectionToolForm(owner, name, caption, captionSuffix, openFailure) {
  RegisterClips();
  auto* row = new QHBoxLayout(this);
  auto* panels = new QWidget(this);
  auto* stack = new QVBoxLayout(panels);
  stack->setContentsMargins(0, 0, 0, 0);
  AskPanel = new QWidget(panels);
  AskPanel->setObjectName("AskPanel");
  ActionPanel = new QWidget(panels);
  ActionPanel->setObjectName("ActionPanel");
  auto* action = new QGridLayout(ActionPanel);
  AnimatedSymbol = new TAnimatedSymbol(ActionPanel);
  AnimatedSymbol->setObjectName("AnimatedSymbol");
  AnimatedSymbol->setFixedSize(32, 32);
  AnimatedSymbol->SetAVIName(QString::fromLatin1(clip));
  action->addWidget(AnimatedSymbol, 0, 0, 2, 1);
  action->addWidget(ToDo, 0, 1);
  action->addWidget(DaText, 1, 1);
  action->addWidget(Progress, 2, 0, 1, 2);
  stack->addWidget(AskPanel);
  stack->addWidget(ActionPanel);
  row->addWidget(panels, 1);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(Ok);
  buttons->addWidget(Cancel);
  buttons->addStretch();
  row->addLayout(buttons);
}

void TAskActionForm::AskState() {
  Animate(false);
  ActionPanel->hide();
  AskPanel->show();
  Ok->show();
  Cancel->setDefault(false);
  if (isVisible()) Ok->setFocus();
}

void TAskActionForm::WorkState() {
  ActionPanel->show();
  AskPanel->hide();
  Ok->hide();
  Cancel->setDefault(true);
}

void TAskActionForm::Animate(bool on) {
  AnimatedSymbol->SetState(on ? TAnimatedState::acmPlaying : TAnimatedState::acmOpen);
}

// --- Delete ------------------------------------------------------------------------

TDelMailExpert::TDelMailExpert(QWidget* owner)
    : TAskActionForm(owner, "DelMailExpert", QStringLiteral("Удаление сообщений"),
                     " - Delete Messages", "Could not open area  ", "AVI_1") {
  auto* ask = new QGridLayout(AskPanel);
  auto* mark = MakeLabel(AskPanel, "QuestionMark", QStringLiteral("?"));
  QFont big = mark->font();
  big.setPointSize(36);
  big.setBold(true);
  mark->setFont(big);
  ask->addWidget(mark, 0, 0, 3, 1);
  ask->addWidget(MakeLabel(AskPanel, "Label1",
                           QStringLiteral("Вы действительно хотите удалить выбранные сообщения ?")),
                 0, 1);
  ask->addWidget(MakeLabel(AskPanel, "Label2", QStringLiteral("ОСТОРОЖНО:")), 1, 1);
  ask->addWidget(MakeLabel(AskPanel, "Label3",
                           QStringLiteral("Вы не сможете восстановить удалённые сообщения !")),
                 2, 1);
  AskState();
}

void TDelMailExpert::Step(int done, int32_t index) {
  DaText->setText(QStringLiteral("Marking message %1 for deletion ...").arg(index));
  Progress->setValue(done);
}

void TDelMailExpert::Work() {
  TArea& area = *Area();
  WorkState();
  ToDo->setText(QStringLiteral("Counting affected messages:"));
  DaText->setText(QStringLiteral("Validating selection ..."));
  Breathe(true);
  std::vector<int32_t> selection;
  if (!TakeSelection(selection, "There is no reader open for area " + area.NameInAnsi() +
                                    " so no selection exists ! " +
                                    "Please select messages in a Reader !"))
    return;
  ToDo->setText(QStringLiteral("Deleting %1 messages ...").arg(selection.size()));
  Progress->setRange(0, std::max<int>(1, static_cast<int>(selection.size())));
  Progress->setValue(0);
  Animate(true);
  const TToolOutcome out = DeleteMessages(area, selection, *this);
  Animate(false);
  if (out.Outcome == TToolOutcome::Refused) {
    AskState();
    Inform("Could not acess area " + area.NameInAnsi() + " because its " + "in use by another " +
           "process !");
    return;
  }
  DaText->setText(QStringLiteral("Updating display ..."));
  ToDo->setText(out.Outcome == TToolOutcome::Aborted ? QStringLiteral("Aborted !")
                                                     : QStringLiteral("Done !"));
  hide();
}

// --- Copy --------------------------------------------------------------------------

TCopyMails::TCopyMails(QWidget* owner)
    : TAskActionForm(owner, "CopyMails", QStringLiteral("Копирование сообщений"),
                     " - Copy Messages", "Cannot open ", "AVI_2") {
  auto* ask = new QVBoxLayout(AskPanel);
  ask->addWidget(MakeLabel(AskPanel, "Label1",
                           QStringLiteral("Вы уверены что хотите копировать выбранные "
                                          "сообщения в ")));
  AreaButton = new QComboBox(AskPanel);
  AreaButton->setObjectName("AreaButton");
  ask->addWidget(AreaButton);
  ask->addWidget(MakeLabel(AskPanel, "Label2", QStringLiteral("ария?")));
  MoveMails = new QCheckBox(QStringLiteral("Переместить (удалить из исходной арии)"), AskPanel);
  MoveMails->setObjectName("MoveMails");
  ask->addWidget(MoveMails);
  FillAreas();
  AskState();
}

TCopyMails::~TCopyMails() = default;

void TCopyMails::FillAreas() {
  AreaButton->clear();
  targets_.clear();
  if (TAreaList* list = GetAreaList())
    for (TArea* area : list->Areas()) {
      if (area->AreaType == AreaTypeCode::Prototype) continue;
      targets_.push_back(area);
      AreaButton->addItem(AreaNameText(*area));
    }
  // As the list first filled: the last entry is chosen.
  AreaButton->setCurrentIndex(AreaButton->count() - 1);
}

void TCopyMails::showEvent(QShowEvent* event) {
  TAskActionForm::showEvent(event);
  if (!Running()) AskState();
  AreaButton->setFocus();
}

void TCopyMails::Step(int done, int32_t index) {
  (void)index;
  DaText->setText(QStringLiteral("Copying message #%1").arg(done));
  Progress->setValue(done);
}

void TCopyMails::Work() {
  TArea& source = *Area();
  const int chosen = AreaButton->currentIndex();
  if (chosen < 0 || chosen >= static_cast<int>(targets_.size())) return;
  TArea& target = *targets_[static_cast<size_t>(chosen)];
  WorkState();
  ToDo->setText(QStringLiteral("Collecting data:"));
  DaText->setText(QStringLiteral("Validating selection ..."));
  Breathe(true);
  std::vector<int32_t> selection;
  if (!TakeSelection(selection, "The area " + source.NameInAnsi() + "has no open reader. " +
                                    "Therefore no mails can be selected. " +
                                    "PLease select mails in a reader !"))
    return;
  ToDo->setText(QStringLiteral("Copying %1 Messages ...").arg(selection.size()));
  Progress->setRange(0, std::max<int>(1, static_cast<int>(selection.size())));
  Progress->setValue(0);
  Animate(true);
  const TToolOutcome out = CopyMessages(source, target, selection, MoveMails->isChecked(), *this);
  Animate(false);
  if (out.Outcome == TToolOutcome::Refused) {
    AskState();
    Inform("Cannot access area " + AreaTagInAnsi(out.InUse) + " because it " +
           "is in us by onther" + " process!");
    return;
  }
  DaText->setText(QStringLiteral("Updating display ..."));
  ToDo->setText(out.Outcome == TToolOutcome::Aborted ? QStringLiteral("Aborted !")
                                                     : QStringLiteral("Done !"));
  hide();
  if (out.Outcome == TToolOutcome::Failed)
    platform::GetPrompter().Error(
        platform::ToUtf8(std::to_string(out.Processed) + " messages were written into " +
                             target.NameInAnsi() + " before writing failed: " + out.Error,
                         platform::AnsiCodePage()));
  if (TMessageListWindow* window = MessageWindowOf(source)) window->activateWindow();
}

// --- Flags ----------------------------------------------------------------------------

TSetFlags::TSetFlags(QWidget* owner)
    : TSelectionToolForm(owner, "SetFlags", QStringLiteral("Флаги"), " - Change Flags",
                         "Could not open  ") {
  auto* column = new QVBoxLayout(this);
  Display = new QStackedWidget(this);
  Display->setObjectName("Display");
  auto* choice = new QWidget(Display);
  choice->setObjectName("Auswahl");
  auto* group = new QGroupBox(QStringLiteral(" Изменение флагов "), choice);
  auto* grid = new QGridLayout(group);
  const char* names[] = {"Hold", "Unread", "ToSysop", "Sent", "Send", "Kill"};
  const QString captions[] = {QStringLiteral("Держать"),  QStringLiteral("Непрочитано"),
                              QStringLiteral("К Сисопу"), QStringLiteral("Послано"),
                              QStringLiteral("Послать"),  QStringLiteral("Удалить")};
  for (int k = 0; k < 6; ++k) {
    auto* list = new QComboBox(group);
    list->setObjectName(QString::fromLatin1(names[k]));
    list->addItems({QStringLiteral("Не изменять"), QStringLiteral("Очистить"),
                    QStringLiteral("Установить"), QStringLiteral("Инвертировать")});
    grid->addWidget(new QLabel(captions[k], group), k % 3, (k / 3) * 2);
    grid->addWidget(list, k % 3, (k / 3) * 2 + 1);
    Lists[static_cast<size_t>(k)] = list;
  }
  (new QVBoxLayout(choice))->addWidget(group);
  auto* work = new QWidget(Display);
  auto* workColumn = new QVBoxLayout(work);
  ProgressText = MakeLabel(work, "ProgressText");
  workColumn->addWidget(ToDo);
  workColumn->addWidget(DaText);
  workColumn->addWidget(ProgressText);
  workColumn->addWidget(Progress);
  Display->addWidget(choice);
  Display->addWidget(work);
  column->addWidget(Display);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Ok);
  buttons->addWidget(Cancel);
  column->addLayout(buttons);
  // OK turns the page; the page change runs the work.
  disconnect(Ok, &QPushButton::clicked, this, nullptr);
  connect(Ok, &QPushButton::clicked, this, [this] {
    if (Area()) Display->setCurrentIndex(1);
  });
  connect(Display, &QStackedWidget::currentChanged, this, &TSetFlags::DisplayPageChanged);
  AskState();
}

void TSetFlags::AskState() {
  Display->blockSignals(true);
  Display->setCurrentIndex(0);
  Display->blockSignals(false);
  for (QComboBox* list : Lists) list->setCurrentIndex(0);
  Ok->show();
  Cancel->show();
}

void TSetFlags::showEvent(QShowEvent* event) {
  TSelectionToolForm::showEvent(event);
  if (!Running()) AskState();
}

void TSetFlags::DisplayPageChanged(int page) {
  if (page == 0) {
    Ok->show();
    Cancel->show();
    Ok->setFocus();
    return;
  }
  Ok->hide();
  Cancel->show();
  OkClick();
}

void TSetFlags::Step(int done, int32_t index) {
  (void)index;
  ProgressText->setText(QString::number(done));
  Progress->setValue(done);
}

void TSetFlags::Work() {
  TArea& area = *Area();
  ToDo->setText(QStringLiteral("Counting messages:"));
  DaText->setText(QStringLiteral("Validating selection ..."));
  std::vector<int32_t> selection;
  if (!TakeSelection(selection, "The area  " + area.NameInAnsi() + " has no open " + "mail read !" +
                                    " Please use a mail reader to select messages."))
    return;
  ToDo->setText(QStringLiteral("Changing flags on %1 messages ...").arg(selection.size()));
  DaText->setText(QStringLiteral("Changes flags on message"));
  Progress->setRange(0, std::max<int>(1, static_cast<int>(selection.size())));
  Progress->setValue(0);
  TFlagOperations operations{};
  for (size_t k = 0; k < Lists.size(); ++k) operations[k] = Lists[k]->currentIndex();
  const TToolOutcome out = SetMessageFlags(area, selection, operations, *this);
  if (out.Outcome == TToolOutcome::Refused) {
    Inform("Could not access area  " + area.NameInAnsi() + " because it is in" +
           " use by another " + "process !");
    AskState();
    return;
  }
  ProgressText->setText(QStringLiteral("Updating display ..."));
  DaText->setText(out.Outcome == TToolOutcome::Aborted ? QStringLiteral("Aborted !")
                                                       : QStringLiteral("Done !"));
  ProgressText->clear();
  Cancel->hide();
  hide();
}

}  // namespace velmaris
