#include "app/AddrBook.h"

#include <QAction>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "core/AddressBook.h"
#include "core/WinLst.h"
#include "core/forms/AddressProperties.h"
#include "core/forms/FormText.h"
#include "core/forms/ListBoxLink.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "widgets/BetterPlacement.h"
#include "widgets/HelpKey.h"
#include "widgets/SpeedBar.h"
#include "widgets/TextOrder.h"

namespace velmaris {

namespace {

constexpr int kListRole = Qt::UserRole;

TGroup* ListOf(const QTreeWidgetItem* item) {
  return item ? static_cast<TGroup*>(item->data(0, kListRole).value<void*>()) : nullptr;
}

}  // namespace

TUserListView::TUserListView(QWidget* parent) : QTreeWidget(parent) {
  setDragEnabled(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::InternalMove);
}

void TUserListView::dragMoveEvent(QDragMoveEvent* event) {
  // Only another row of this list takes the person.
  const QModelIndex target = indexAt(event->position().toPoint());
  if (event->source() == this && target.isValid() && target.row() != currentIndex().row())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TUserListView::dropEvent(QDropEvent* event) {
  const QModelIndex target = indexAt(event->position().toPoint());
  const int from = currentIndex().row();
  // The list itself moves the person; the rows follow its change.
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
  if (event->source() == this && target.isValid() && OnMove) OnMove(from, target.row());
}

TAddrBook::TAddrBook(TGroup& book, TGroupList& lists, QWidget* parent)
    : QMainWindow(parent), book_(book), lists_(lists) {
  setObjectName("AddrBook");
  setWindowTitle(QStringLiteral("Адресная книга"));
  BindHelpKey(this, platform::kHelpAddressBook);
  QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
  QAction* addAddr = MakeAction("BtnAddAddr", QStringLiteral("Новый адрес"), Qt::Key_Insert,
                                &TAddrBook::BtnAddAddrClick);
  QAction* newList =
      MakeAction("BtnNewList", QStringLiteral("Новый список"),
                 QKeySequence(Qt::SHIFT | Qt::Key_Insert), &TAddrBook::BtnNewListClick);
  QAction* write = MakeAction("BtnWrite", QStringLiteral("Новое сообщение"), QKeySequence("Ctrl+W"),
                              &TAddrBook::BtnWriteClick);
  QAction* exit = MakeAction("Schlieen1", QStringLiteral("Выход"), Qt::Key_Escape, nullptr);
  connect(exit, &QAction::triggered, this, &QWidget::close);
  QAction* remove = MakeAction("BtnDelete", QStringLiteral("Удалить"), Qt::Key_Delete,
                               &TAddrBook::BtnDeleteClick);
  QAction* sort = MakeAction("Sortieren1", QStringLiteral("Сортировать"), QKeySequence("Ctrl+S"),
                             &TAddrBook::Sortieren1Click);
  QAction* properties =
      MakeAction("BtnProperties", QStringLiteral("Свойства"), {}, &TAddrBook::BtnPropertiesClick);
  file->addActions({addAddr, newList});
  file->addSeparator();
  file->addAction(write);
  file->addSeparator();
  file->addAction(exit);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Правка"));
  edit->addAction(remove);
  edit->addSeparator();
  edit->addAction(sort);
  edit->addSeparator();
  edit->addAction(properties);
  popupUser_ = new QMenu(this);
  popupUser_->setObjectName("PopupUser");
  popupUser_->addAction(properties);
  popupUser_->addSeparator();
  popupUser_->addAction(write);

  // The speed bar and the window list side by side above the lists.
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  auto* panel = new QFrame(central);
  panel->setObjectName("Panel1");
  panel->setFrameShape(QFrame::StyledPanel);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(1, 1, 1, 1);
  row->setSpacing(2);
  auto* bar = new TSpeedBar(panel);
  bar->setObjectName("SpeedBar");
  bar->SetOptions(sbFlatBtns | sbGrayedBtns);
  bar->SetBevelOuter(TBevelCut::bvNone);
  bar->SetBtnWidth(64);
  bar->SetBtnHeight(43);
  const int section = bar->AddSection(QStringLiteral("Address book"));
  struct Button {
    QAction* action;
    const char* name;
    QString caption;
    QStyle::StandardPixmap icon;
  };
  const Button buttons[] = {
      {addAddr, "SpeedAddAddr", QStringLiteral("Адрес"), QStyle::SP_FileIcon},
      {newList, "SpeedNewList", QStringLiteral("Список"), QStyle::SP_FileDialogNewFolder},
      {properties, "SpeedProperties", QStringLiteral("Свойства"),
       QStyle::SP_FileDialogDetailedView},
      {remove, "SpeedDelete", QStringLiteral("Удалить"), QStyle::SP_TrashIcon},
      {write, "SpeedWrite", QStringLiteral("Письмо"), QStyle::SP_DialogSaveButton},
  };
  int left = bar->BtnOffsetHorz();
  for (const Button& b : buttons) {
    AddActionItem(bar, section, b.action, b.name, b.caption,
                  style()->standardIcon(b.icon).pixmap(16, 16), left);
    left += bar->BtnWidth();
  }
  row->addWidget(bar, 1);
  wList_ = new QListWidget(panel);
  wList_->setObjectName("WList");
  wList_->setFixedWidth(143);
  row->addWidget(wList_);
  panel->setFixedHeight(bar->Thickness() + 4);
  wListLink_ = std::make_unique<TListBoxLink>(wList_);
  connect(wList_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { ShowWindowListEntry(wList_->row(item)); });
  column->addWidget(panel);

  auto* splitter = new QSplitter(central);
  lbList_ = new QTreeWidget(splitter);
  lbList_->setObjectName("LbList");
  lbList_->setHeaderHidden(true);
  lbList_->setEditTriggers(QAbstractItemView::EditKeyPressed);
  lbUser_ = new TUserListView(splitter);
  lbUser_->setObjectName("LbUser");
  lbUser_->setRootIsDecorated(false);
  lbUser_->setHeaderLabels(
      {QStringLiteral("Имя"), QStringLiteral("Адрес"), QStringLiteral("E-Mail")});
  lbUser_->header()->resizeSection(0, 120);
  lbUser_->header()->resizeSection(1, 100);
  lbUser_->header()->resizeSection(2, 160);
  lbUser_->setContextMenuPolicy(Qt::CustomContextMenu);
  splitter->setStretchFactor(1, 1);
  column->addWidget(splitter, 1);
  setCentralWidget(central);
  statusBar()->setObjectName("StatusBar");

  connect(lbList_, &QTreeWidget::currentItemChanged, this, [this] {
    if (!building_) MakeSelectedCurrent();
  });
  connect(lbList_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
    if (!building_) LbListEdited(item);
  });
  connect(lbUser_, &QTreeWidget::itemDoubleClicked, this, [this] { BtnPropertiesClick(); });
  connect(lbUser_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (QTreeWidgetItem* item = lbUser_->itemAt(pos)) {
      lbUser_->setCurrentItem(item);
      popupUser_->popup(lbUser_->viewport()->mapToGlobal(pos));
    }
  });
  lbUser_->OnMove = [this](int from, int to) { MovePerson(from, to); };
  lbList_->installEventFilter(this);
  lbUser_->installEventFilter(this);

  WinLst().Add(AnsiBytes(windowTitle()), this);
  WinLst().AttachListBox(wListLink_.get());
  lists_.OnChange = [this](TPubLst&) { BuildTree(); };
  BuildTree();
  resize(560, 360);
  placement_ = new TBetterPlacement(this, QStringLiteral("AddressBook"));
  placement_->Loaded();
}

TAddrBook::~TAddrBook() {
  placement_->SaveIfShown();  // shown at the end of the program
  lists_.OnChange = nullptr;
  Unhook();
  WinLst().DetachListBox(wListLink_.get());
  WinLst().Remove(this);
  if (OnDestroyed) OnDestroyed();
}

QAction* TAddrBook::MakeAction(const char* name, const QString& caption, const QKeySequence& key,
                               void (TAddrBook::*handler)()) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QLatin1String(name));
  action->setShortcut(key);
  action->setShortcutContext(Qt::WindowShortcut);
  if (handler)
    connect(action, &QAction::triggered, this, [this, handler] {
      try {
        (this->*handler)();
      } catch (const std::exception& e) {
        platform::GetPrompter().Error(e.what());
      }
    });
  addAction(action);
  return action;
}

void TAddrBook::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  deleteLater();
}

bool TAddrBook::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (watched == lbList_ && lbList_->currentItem()) {
        lbList_->editItem(lbList_->currentItem());
        return true;
      }
      if (watched == lbUser_) {
        BtnPropertiesClick();
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- The lists ------------------------------------------------------------------------

void TAddrBook::Unhook() {
  if (current_) current_->OnChange = nullptr;
}

void TAddrBook::BuildTree() {
  TGroup* keep = current_;
  Unhook();
  building_ = true;
  lbList_->clear();
  QTreeWidgetItem* selected = nullptr;
  for (int i = 0; i < lists_.GetCount(); ++i) {
    auto* item = new TTextOrderItem(lbList_, {AnsiText(lists_.GetString(i))});
    item->setData(0, kListRole, QVariant::fromValue<void*>(lists_.GetGroup(i)));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    if (lists_.GetGroup(i) == keep) selected = item;
  }
  lbList_->sortItems(0, Qt::AscendingOrder);
  auto* personal = new QTreeWidgetItem({QString::fromLatin1(kPersonalBook)});
  personal->setData(0, kListRole, QVariant::fromValue<void*>(&book_));
  lbList_->insertTopLevelItem(0, personal);
  if (keep == &book_ || !selected) selected = personal;
  lbList_->setCurrentItem(selected);
  building_ = false;
  // The list becomes current again (hooked anew).
  current_ = nullptr;
  MakeSelectedCurrent();
}

void TAddrBook::MakeSelectedCurrent() {
  TGroup* list = ListOf(lbList_->currentItem());
  if (list == current_) return;
  SetCurrent(list);
  if (lbUser_->topLevelItemCount() > 0) lbUser_->setCurrentItem(lbUser_->topLevelItem(0));
}

void TAddrBook::SetCurrent(TGroup* list) {
  Unhook();
  current_ = list;
  if (current_) current_->OnChange = [this](TPubLst&) { BuildUsers(); };
  BuildUsers();
}

void TAddrBook::BuildUsers() {
  const int row = lbUser_->currentIndex().row();
  lbUser_->setUpdatesEnabled(false);
  lbUser_->clear();
  for (int i = 0; current_ && i < current_->GetCount(); ++i) {
    TFriend* entry = current_->GetFriend(i);
    auto* item = new QTreeWidgetItem(
        lbUser_, {AnsiText(entry->GetName()), QString::fromStdString(entry->Address().GetText()),
                  AnsiText(entry->GetEMail())});
    item->setData(0, kListRole, QVariant::fromValue<void*>(entry));
    item->setFlags(item->flags() & ~Qt::ItemIsDropEnabled);
  }
  lbUser_->setUpdatesEnabled(true);
  if (row >= 0 && row < lbUser_->topLevelItemCount())
    lbUser_->setCurrentItem(lbUser_->topLevelItem(row));
  statusBar()->showMessage(QString::number(lbUser_->topLevelItemCount()));
}

TFriend* TAddrBook::SelectedFriend() const {
  QTreeWidgetItem* item = lbUser_->currentItem();
  return item ? static_cast<TFriend*>(item->data(0, kListRole).value<void*>()) : nullptr;
}

void TAddrBook::LbListEdited(QTreeWidgetItem* item) {
  TGroup* list = ListOf(item);
  const int index = lists_.IndexOf(list);
  if (index < 0) return;  // the personal book keeps its name
  lists_.OnChange = nullptr;
  lists_.SetString(index, AnsiBytes(item->text(0)));
  lists_.OnChange = [this](TPubLst&) { BuildTree(); };
  current_ = list;
  BuildTree();
}

// --- Commands -------------------------------------------------------------------------

void TAddrBook::BtnAddAddrClick() {
  if (!current_) return;
  auto entry = std::make_unique<TFriend>();
  entry->SetName("Jon Doe");
  TFriend* added = current_->AddFriend(std::move(entry));
  const int row = current_->IndexOf(added);
  if (row >= 0 && row < lbUser_->topLevelItemCount())
    lbUser_->setCurrentItem(lbUser_->topLevelItem(row));
  TAddressProperties* dialog = ShowFriendProperties(*added);
  if (QWidget* first = dialog->findChild<QWidget*>(QStringLiteral("EdName"))) first->setFocus();
}

void TAddrBook::BtnNewListClick() {
  TGroup* list = lists_.Add("New List", std::make_unique<TGroup>());
  current_ = list;
  BuildTree();
  if (QTreeWidgetItem* item = lbList_->currentItem(); item && ListOf(item) == list)
    lbList_->editItem(item);
}

void TAddrBook::BtnPropertiesClick() {
  if (TFriend* entry = SelectedFriend()) ShowFriendProperties(*entry);
}

void TAddrBook::BtnDeleteClick() {
  if (lbUser_->hasFocus() || !lbList_->hasFocus()) {
    TFriend* entry = SelectedFriend();
    if (!entry || !current_) return;
    const int row = current_->IndexOf(entry);
    if (row < 0) return;
    current_->Delete(row);
    const int count = lbUser_->topLevelItemCount();
    if (count > 0) lbUser_->setCurrentItem(lbUser_->topLevelItem(std::min(row, count - 1)));
    return;
  }
  const int index = lists_.IndexOf(current_);
  if (index < 0) return;  // the personal book stays
  current_ = nullptr;
  lists_.Delete(index);  // rebuilds the tree
}

void TAddrBook::Sortieren1Click() {
  if (current_) current_->Sort();
}

void TAddrBook::BtnWriteClick() {
  TFriend* entry = SelectedFriend();
  if (!entry) {
    platform::GetPrompter().Inform("Please select an address first!");
    return;
  }
  if (OnWrite) OnWrite(*entry);
}

void TAddrBook::MovePerson(int from, int to) {
  if (!current_ || from < 0 || from >= current_->GetCount() || to < 0 || from == to) return;
  TFriend* entry = current_->GetFriend(from);
  const std::string name = current_->GetString(from);
  current_->BeginUpdate();
  current_->Delete(from);
  current_->InsertObject(std::min(to, current_->GetCount()), name, entry);
  current_->EndUpdate();
  const int row = current_->IndexOf(entry);
  lbUser_->setCurrentItem(lbUser_->topLevelItem(row));
  lbUser_->setFocus();
}

}  // namespace velmaris
