#include "processing/forms/AreaManagerWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <exception>

#include "core/NetLink.h"
#include "core/WinLst.h"
#include "core/forms/FormText.h"
#include "core/forms/ListBoxLink.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "processing/AreaManager.h"
#include "processing/forms/ALReq.h"
#include "processing/forms/AreaDescReq.h"
#include "processing/forms/Calibrator.h"
#include "widgets/BetterPlacement.h"
#include "widgets/FileEdits.h"
#include "widgets/HelpKey.h"
#include "widgets/ModalHook.h"
#include "widgets/SpeedBar.h"
#include "widgets/StatusLabel.h"

namespace velmaris {

TAreaManagerWindow::TAreaManagerWindow(TAreaManager& manager, QWidget* parent)
    : QMainWindow(parent), manager_(manager) {
  setObjectName("AreaManager");
  resize(760, 480);
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  auto* bar = new TSpeedBar(central);
  bar->setObjectName("SpeedBar");
  bar->SetOptions(sbFlatBtns | sbGrayedBtns);
  bar->SetBtnWidth(80);
  bar->SetBtnHeight(43);
  const int section = bar->AddSection(QStringLiteral("Areas"));
  int left = bar->BtnOffsetHorz();
  // The speed bar and the program's window list side by side.
  auto* top = new QHBoxLayout;
  top->addWidget(bar, 1);
  wList_ = new QListWidget(central);
  wList_->setObjectName("WList");
  wList_->setFixedSize(143, bar->BtnHeight() + 4);
  wListLink_ = std::make_unique<TListBoxLink>(wList_);
  WinLst().AttachListBox(wListLink_.get());
  connect(wList_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { ShowWindowListEntry(wList_->row(item)); });
  top->addWidget(wList_);
  column->addLayout(top);
  auto* lists = new QHBoxLayout;
  ready_ = MakeList("ReadyLIst");
  sel_ = MakeList("SelList");
  lists->addWidget(ready_, 1);
  lists->addWidget(sel_, 1);
  column->addLayout(lists, 1);

  struct Command {
    const char* action;
    const char* button;  // null: menu only
    QString caption;
    QKeySequence key;
    void (TAreaManagerWindow::*handler)();
    QString btnCaption = {};
    QStyle::StandardPixmap icon = QStyle::SP_CustomBase;
  };
  const Command commands[] = {
      {"RequestList", "ListBtn", QStringLiteral("Запросить список (%LIST)"), QKeySequence("Ctrl+L"),
       &TAreaManagerWindow::RequestListClick, QStringLiteral("Список"), QStyle::SP_ArrowDown},
      {"SendChanges", "SendBtn", QStringLiteral("Отправить изменения"), QKeySequence("Ctrl+S"),
       &TAreaManagerWindow::SendChangesClick, QStringLiteral("Отправить"),
       QStyle::SP_DialogApplyButton},
      {"CancelChanges", "CancelBtn", QStringLiteral("Отменить изменения"), QKeySequence("Ctrl+V"),
       &TAreaManagerWindow::CancelChangesClick, QStringLiteral("Отменить"),
       QStyle::SP_DialogCancelButton},
      {"MarkPresent", nullptr, QStringLiteral("Отметить имеющиеся эхи"), QKeySequence("Ctrl+A"),
       &TAreaManagerWindow::MarkPresentClick},
      {"NewDescription", nullptr, QStringLiteral("Новое описание"), QKeySequence("Ctrl+B"),
       &TAreaManagerWindow::NewDescriptionClick},
      {"DeleteDescription", nullptr, QStringLiteral("Удалить описание"), QKeySequence("Ctrl+Del"),
       &TAreaManagerWindow::DeleteDescriptionClick},
      {"AddAreaList", nullptr, QStringLiteral("Загрузить список эх из файла"), QKeySequence(),
       &TAreaManagerWindow::AddAreaListClick},
      {"SearchItem", nullptr, QStringLiteral("Поиск"), QKeySequence("Ctrl+F"),
       &TAreaManagerWindow::SearchClick},
      {"SearchAgain", nullptr, QStringLiteral("Искать дальше"), QKeySequence("F3"),
       &TAreaManagerWindow::SearchAgainClick},
      {"HelpItem", nullptr, QStringLiteral("Справка"), QKeySequence(),
       &TAreaManagerWindow::HelpClick},
  };
  QMenu* menu = menuBar()->addMenu(QStringLiteral("&Список"));
  menu->setObjectName("AreaMenu");
  for (const Command& c : commands) {
    auto* action = new QAction(c.caption, this);
    action->setObjectName(QString::fromLatin1(c.action));
    action->setShortcut(c.key);
    const auto handler = c.handler;
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    menu->addAction(action);
    if (!c.button) continue;
    AddActionItem(bar, section, action, c.button, c.btnCaption,
                  style()->standardIcon(c.icon).pixmap(16, 16), left);
    left += bar->BtnWidth();
  }
  BindHelpKey(this, platform::kHelpAreaManager, findChild<QAction*>("HelpItem"));
  setCentralWidget(central);

  status_ = new TStatusLabel(this);
  status_->setObjectName("StatusLine");
  statusBar()->addWidget(status_, 1);

  manager_.OnRefresh = [this] { Fill(); };
  Fill();
  placement_ = new TBetterPlacement(this, QStringLiteral("AreaMan"));
  placement_->Loaded();
}

TAreaManagerWindow::~TAreaManagerWindow() {
  placement_->SaveIfShown();  // shown at the end of the program
  manager_.OnRefresh = nullptr;
  WinLst().DetachListBox(wListLink_.get());
  if (listed_) WinLst().Remove(this);
}

QTreeWidget* TAreaManagerWindow::MakeList(const char* name) {
  auto* list = new QTreeWidget(this);
  list->setObjectName(QString::fromLatin1(name));
  list->setRootIsDecorated(false);
  list->setColumnCount(3);
  list->setHeaderLabels(
      {QStringLiteral("Эха"), QStringLiteral("Аплинк"), QStringLiteral("Описание")});
  list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  connect(list, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item) { ListDblClick(item); });
  return list;
}

void TAreaManagerWindow::Fill() {
  const auto fill = [](QTreeWidget* list, const std::vector<TAreaInfo*>& entries) {
    list->clear();
    for (TAreaInfo* entry : entries) {
      auto* item = new QTreeWidgetItem(list);
      item->setText(0, AreaNameText(entry->Name));
      item->setText(1, entry->Uplink ? QString::fromStdString(entry->Uplink->UplinkAddress.Text4D())
                                     : QString());
      item->setText(2, AnsiText(entry->Description));
      item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(entry)));
    }
  };
  fill(ready_, manager_.Ready());
  fill(sel_, manager_.Selected());
  status_->setText(AnsiText(manager_.StatusText()));
  setWindowTitle(AnsiText(manager_.Caption()));
}

TAreaInfo* TAreaManagerWindow::Selected(QTreeWidget* list) const {
  QTreeWidgetItem* item = list->currentItem();
  if (!item || !item->isSelected()) return nullptr;
  return static_cast<TAreaInfo*>(item->data(0, Qt::UserRole).value<void*>());
}

void TAreaManagerWindow::Run(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TAreaManagerWindow::ListDblClick(QTreeWidgetItem* item) {
  auto* entry = static_cast<TAreaInfo*>(item->data(0, Qt::UserRole).value<void*>());
  Run([&] { manager_.Move(entry); });
}

void TAreaManagerWindow::RequestListClick() {
  Run([this] { manager_.RequestList(); });
}
void TAreaManagerWindow::SendChangesClick() {
  Run([this] { manager_.SendChanges(); });
}
void TAreaManagerWindow::CancelChangesClick() {
  Run([this] { manager_.CancelChanges(); });
}
void TAreaManagerWindow::MarkPresentClick() {
  Run([this] { manager_.MarkPresentAreas(); });
}

void TAreaManagerWindow::DeleteDescriptionClick() {
  QTreeWidget* list = sel_->hasFocus() ? sel_ : ready_;
  if (TAreaInfo* entry = Selected(list)) Run([&] { manager_.DeleteEntry(entry); });
}

void TAreaManagerWindow::AddAreaListClick() {
  TALReq request(manager_.Store(), this);
  if (ExecModal(request) != QDialog::Accepted) return;
  TNetLink* uplink = request.Uplink();
  const QString file = request.FN->FileName();
  if (!uplink || file.isEmpty()) return;
  Run([&] {
    const auto lines = SplitFileLines(platform::ReadFile(PathBytes(file)));
    TCalibrator calibrator(lines, uplink, manager_.Kind(), this);
    calibrator.UseAsStandard->setChecked(false);
    if (ExecModal(calibrator) != QDialog::Accepted) return;
    const int added = manager_.AddAreaList(lines, *uplink, calibrator.NameO(), calibrator.DescO(),
                                           calibrator.DescL());
    platform::GetPrompter().Inform(std::to_string(added) + " new area added!");
  });
}

void TAreaManagerWindow::NewDescriptionClick() {
  TAreaDescReq request(manager_.Store(), manager_.RobotName, this);
  if (ExecModal(request) != QDialog::Accepted) return;
  TNetLink* uplink = request.Uplink();
  const std::string name = AnsiBytes(request.eName->text().trimmed());
  if (!uplink || name.empty()) return;
  Run([&] { manager_.AddAreaInfo(name, AnsiBytes(request.eDesc->text()), *uplink); });
}

void TAreaManagerWindow::SearchClick() {
  QInputDialog dialog(this);
  dialog.setObjectName("SARForm");
  dialog.setLabelText(QStringLiteral("Найти:"));
  dialog.setTextValue(AnsiText(searchText_));
  if (ExecModal(dialog) != QDialog::Accepted) return;
  searchText_ = AnsiBytes(dialog.textValue());
  searched_ = true;
  FindNext();
}

void TAreaManagerWindow::SearchAgainClick() {
  if (!searched_) return SearchClick();
  FindNext();
}

void TAreaManagerWindow::HelpClick() { platform::ShowHelp(platform::kHelpAreaManager); }

void TAreaManagerWindow::FindNext() {
  const TAreaInfo* after = Selected(ready_);
  if (!after) after = Selected(sel_);
  TAreaInfo* found = nullptr;
  Run([&] { found = manager_.Search(searchText_, after); });
  if (!found) return;
  for (QTreeWidget* list : {ready_, sel_}) {
    list->clearSelection();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = list->topLevelItem(i);
      if (item->data(0, Qt::UserRole).value<void*>() != found) continue;
      list->setCurrentItem(item);
      item->setSelected(true);
    }
  }
}

void TAreaManagerWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!listed_) WinLst().Add(manager_.Caption(), this);
  listed_ = true;
}

void TAreaManagerWindow::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (listed_) WinLst().Remove(this);
  listed_ = false;
}

}  // namespace velmaris
