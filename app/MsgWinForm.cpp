// The form of the message list window: its menus, tool bar, header panel,
// the two views, and the layout saved in "MsgList.ini".
#include "app/MsgWin.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <fcntl.h>

#include <algorithm>

#include "app/KQMainWindow.h"
#include "app/MsgWinImages.h"
#include "app/ProgressWindow.h"
#include "app/SearchAndReplace.h"
#include "core/Area.h"
#include "core/FidoAddress.h"
#include "core/Settings.h"
#include "core/ShellServices.h"
#include "core/WinLst.h"
#include "core/forms/FormText.h"
#include "core/forms/ListBoxLink.h"
#include "core/forms/SrchMaskProperties.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "processing/Secretary.h"
#include "widgets/BetterListBox.h"
#include "widgets/BetterPlacement.h"
#include "widgets/ImageList.h"
#include "widgets/IniFile.h"
#include "widgets/IniStorages.h"
#include "widgets/ModalHook.h"
#include "widgets/SpeedBar.h"
#include "widgets/StatusLabel.h"
#include "widgets/TextView.h"
#include "widgets/TreeNT.h"
#include "widgets/VxColors.h"

#include "app/MsgWinCommon.h"

namespace velmaris {

namespace {

constexpr const char* kSortingSection = "Sorting";
constexpr const char* kLayoutSection = "Layout";
constexpr int kDefaultSortKey = MsgSortKey::Received;

}  // namespace

QAction* TMessageListWindow::MakeAction(QMenu* menu, const char* name, const QString& caption,
                                        const QKeySequence& key, bool checkable) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QString::fromLatin1(name));
  if (!key.isEmpty()) action->setShortcut(key);
  action->setCheckable(checkable);
  if (menu) menu->addAction(action);
  addAction(action);
  return action;
}

void TMessageListWindow::BuildMenus() {
  auto addMenu = [this](const char* name, const QString& title) {
    QMenu* menu = menuBar()->addMenu(title);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
  };
  QMenu* file = addMenu("Datei1", QStringLiteral("&Файл"));
  QMenu* edit = addMenu("Bearbeiten1", QStringLiteral("&Правка"));
  QMenu* view = addMenu("Ansicht1", QStringLiteral("&Вид"));
  QMenu* nav = addMenu("Navigator1", QStringLiteral("&Навигация"));
  QMenu* single = addMenu("Mail1", QStringLiteral("Соо&бщение"));
  QMenu* area = addMenu("Area1", QStringLiteral("&Область"));
  addMenu("Extras1", QStringLiteral("С&ервис"));
  addMenu("HilfeMenu", QStringLiteral("&Справка"));
  // Pop-ups that the other commands fill.
  for (const char* name : {"MsgListPopup", "PopupSingle", "AntwortPopup", "MailContext",
                           "ThreadContext", "TreeMenu"}) {
    auto* popup = new QMenu(this);
    popup->setObjectName(QString::fromLatin1(name));
  }

  MakeAction(file, "Drucken1", QStringLiteral("Печать..."), QKeySequence::Print);
  file->addSeparator();
  MakeAction(file, "Layoutladen1", QStringLiteral("Загрузить раскладку"));
  MakeAction(file, "Layoutspeichern1", QStringLiteral("Сохранить раскладку"));
  file->addSeparator();
  MakeAction(file, "Schlieen1", QStringLiteral("Закрыть"));

  MakeAction(edit, "MnCut", QStringLiteral("Вырезать"), QKeySequence::Cut);
  MakeAction(edit, "MnCopy", QStringLiteral("Копировать"), QKeySequence::Copy);
  MakeAction(edit, "MnPaste", QStringLiteral("Вставить"), QKeySequence::Paste);
  MakeAction(edit, "MnClear", QStringLiteral("Удалить текст"));
  MakeAction(edit, "MnAll", QStringLiteral("Выделить всё"), QKeySequence::SelectAll);
  MakeAction(edit, "MnSave", QStringLiteral("Сохранить выделенное..."));
  edit->addSeparator();
  MakeAction(edit, "Suchen3", QStringLiteral("Найти в тексте..."), QKeySequence::Find);
  MakeAction(edit, "Weitersuchen1", QStringLiteral("Найти далее"), QKeySequence::FindNext);

  MakeAction(view, "Messageliste1", QStringLiteral("Список писем"));
  view->addSeparator();
  MakeAction(view, "DisplayTree", QStringLiteral("Дерево ответов"), {}, true);
  MakeAction(view, "DisplayStyles", QStringLiteral("Стили текста"), {}, true);
  MakeAction(view, "AKludge", QStringLiteral("Клуджи"), {}, true);
  MakeAction(view, "AREAKLudge", QStringLiteral("Строка AREA:"), {}, true);
  MakeAction(view, "SBKLudge", QStringLiteral("Строки SEEN-BY:"), {}, true);
  MakeAction(view, "MnROT13", QStringLiteral("ROT13"), {}, true);
  view->addSeparator();
  MakeAction(view, "Anzeigefilter1", QStringLiteral("Фильтр показа..."));

  MakeAction(nav, "ErsteMail1", QStringLiteral("Первое письмо"));
  MakeAction(nav, "ShowPrev", QStringLiteral("Предыдущее письмо"));
  MakeAction(nav, "ShowNext", QStringLiteral("Следующее письмо"));
  MakeAction(nav, "ShowLast", QStringLiteral("Последнее письмо"));
  // The same-subject steps join the menu after the flag searches (BuildNavigateCommands);
  // the tool bar needs them now.
  MakeAction(nullptr, "ShowNextSame", QStringLiteral("Следующее по теме"));
  MakeAction(nullptr, "ShowPrevSame", QStringLiteral("Предыдущее по теме"));
  nav->addSeparator();
  MakeAction(nav, "VorherigeArea1", QStringLiteral("Предыдущая область"));
  MakeAction(nav, "NchsteArea1", QStringLiteral("Следующая область"));
  nav->addSeparator();
  auto* order = new QActionGroup(this);
  order->addAction(MakeAction(nav, "MNNavA", QStringLiteral("В порядке списка"), {}, true));
  order->addAction(MakeAction(nav, "MnNavO", QStringLiteral("В порядке области"), {}, true));

  (void)single;
  MakeAction(area, "AbsenderknftigFiltern1", QStringLiteral("Фильтровать отправителя"));
  MakeAction(area, "Betreffknftigfiltern1", QStringLiteral("Фильтровать тему"));
  // Commands of the main window and the tool bar.
  QMenu* extras = Menu("Extras1");
  struct Forward {
    const char* name;
    const char* mainAction;
    QString caption;
  };
  const Forward kForwards[] = {
      {"SpeedItem1", "Import", QStringLiteral("Импорт")},
      {"SpeedItem2", "DoExport", QStringLiteral("Экспорт")},
      {"SpeedItem3", "NetCall", QStringLiteral("Опрос")},
      {"SpeedItem11", "Hatchen", QStringLiteral("Хэтч")},
      {"Echareamanager1", "Echoareamanager1", QStringLiteral("Менеджер эхоконференций")},
      {"Fileareamanager1", "FileareaManager1", QStringLiteral("Менеджер файловых эх")},
      {"Nodelistensuche1", "Nodelistensuche1", QStringLiteral("Поиск в нодлисте")},
  };
  for (const Forward& f : kForwards) {
    QAction* action = MakeAction(extras, f.name, f.caption);
    const QString target = QString::fromLatin1(f.mainAction);
    connect(action, &QAction::triggered, this, [target] {
      if (TKQMainWindow* main = GetMainWindow())
        if (auto* command = main->findChild<QAction*>(target); command && command->isEnabled())
          command->trigger();
    });
  }
  extras->addSeparator();
  MakeAction(extras, "E1", QStringLiteral("Настроить панель..."));

  // A failing command reports its exception; none crosses the event loop.
  auto connectAction = [this](const char* name, void (TMessageListWindow::*handler)()) {
    connect(Action(QString::fromLatin1(name)), &QAction::triggered, this,
            [this, handler] { Guarded([&] { (this->*handler)(); }); });
  };
  connectAction("Drucken1", &TMessageListWindow::Drucken1Click);
  connectAction("Layoutladen1", &TMessageListWindow::Layoutladen1Click);
  connectAction("Layoutspeichern1", &TMessageListWindow::Layoutspeichern1Click);
  connect(Action("Schlieen1"), &QAction::triggered, this, &QWidget::close);
  connect(Action("MnCopy"), &QAction::triggered, this, [this] { CopyText(); });
  connect(Action("MnAll"), &QAction::triggered, this, [this] { SelectAllText(); });
  connectAction("MnCut", &TMessageListWindow::MnCutClick);
  connectAction("MnPaste", &TMessageListWindow::MnPasteClick);
  connectAction("MnClear", &TMessageListWindow::MnClearClick);
  connectAction("MnSave", &TMessageListWindow::MnSaveClick);
  connect(edit, &QMenu::aboutToShow, this, [this] { Bearbeiten1Click(); });
  connectAction("AbsenderknftigFiltern1", &TMessageListWindow::AbsenderknftigFiltern1Click);
  connectAction("Betreffknftigfiltern1", &TMessageListWindow::Betreffknftigfiltern1Click);
  connectAction("E1", &TMessageListWindow::E1Click);
  connectAction("Suchen3", &TMessageListWindow::Suchen3Click);
  connectAction("Weitersuchen1", &TMessageListWindow::Weitersuchen1Click);
  connectAction("Anzeigefilter1", &TMessageListWindow::Anzeigefilter1Click);
  connectAction("Messageliste1", &TMessageListWindow::ShowListClick);
  connectAction("DisplayTree", &TMessageListWindow::DisplayTreeClick);
  for (const char* name : {"DisplayStyles", "AKludge", "AREAKLudge", "SBKLudge"})
    connectAction(name, &TMessageListWindow::DisplaySwitchClick);
  connectAction("MnROT13", &TMessageListWindow::MnROT13Click);
  connectAction("ErsteMail1", &TMessageListWindow::ShowFirstMessage);
  connectAction("ShowPrev", &TMessageListWindow::ShowPrevClick);
  connectAction("ShowNext", &TMessageListWindow::ShowNextClick);
  connectAction("ShowLast", &TMessageListWindow::ShowLastClick);
  connectAction("VorherigeArea1", &TMessageListWindow::VorherigeArea1Click);
  connectAction("NchsteArea1", &TMessageListWindow::NchsteArea1Click);
  connectAction("MNNavA", &TMessageListWindow::MNNavAClick);
  connectAction("MnNavO", &TMessageListWindow::MnNavOClick);
  BuildToolCommands();
}

void TMessageListWindow::BuildToolbar() {
  toolbar_ = new TSpeedBar(this);
  toolbar_->setObjectName("MailToolbar");
  toolbar_->SetOptions(sbFlatBtns | sbGrayedBtns);
  toolbar_->SetBevelOuter(TBevelCut::bvNone);
  toolbar_->SetBtnWidth(28);
  toolbar_->SetBtnHeight(26);
  struct Button {
    const char* action;
    const char* name;
    QStyle::StandardPixmap icon;
  };
  const int nav = toolbar_->AddSection("Navigation");
  const Button kButtons[] = {
      {"Messageliste1", "ShowList", QStyle::SP_FileDialogListView},
      {"ErsteMail1", "ShowFirstItem", QStyle::SP_MediaSkipBackward},
      {"ShowPrev", "ShowPrevItem", QStyle::SP_ArrowLeft},
      {"ShowNext", "ShowNextItem", QStyle::SP_ArrowRight},
      {"ShowLast", "ShowLastItem", QStyle::SP_MediaSkipForward},
      {"ShowPrevSame", "ShowPrevSameItem", QStyle::SP_MediaSeekBackward},
      {"ShowNextSame", "ShowNextSameItem", QStyle::SP_MediaSeekForward},
      {"Suchen3", "FindItem", QStyle::SP_FileDialogContentsView},
      {"Lschen2", "IEDeleteMsgs", QStyle::SP_TrashIcon},
  };
  int left = toolbar_->BtnOffsetHorz();
  for (const Button& b : kButtons) {
    AddSpeedItem(nav, Action(QString::fromLatin1(b.action)), b.name, b.icon, left);
    left += toolbar_->BtnWidth();
  }
}

TSpeedItem* TMessageListWindow::AddSpeedItem(int section, QAction* action, const char* name,
                                             QStyle::StandardPixmap icon, int left,
                                             const QString& caption) {
  auto* item = new TSpeedItem(this);
  item->setObjectName(QString::fromLatin1(name));
  item->SetCaption(caption.isEmpty() ? action->text() : caption);
  item->SetHint(caption.isEmpty() ? action->text() : caption);
  item->SetGlyph(style()->standardIcon(icon).pixmap(16, 16));
  toolbar_->AddItem(section, item);
  item->SetEnabled(action->isEnabled());
  connect(action, &QAction::changed, item,
          [item, action] { item->SetEnabled(action->isEnabled()); });
  connect(item, &TSpeedItem::clicked, action, &QAction::trigger);
  item->SetBounds(left, toolbar_->BtnOffsetVert());
  item->SetVisible(true);
  return item;
}

int TMessageListWindow::NextSectionLeft() const {
  int left = toolbar_->BtnOffsetHorz();
  for (const TSpeedItem* existing : findChildren<TSpeedItem*>())
    if (existing->Visible()) left = std::max(left, existing->Left() + toolbar_->BtnWidth());
  return left + toolbar_->BtnWidth() / 2;
}

void TMessageListWindow::BuildHeaderPanel() {
  header_ = new QFrame(this);
  header_->setObjectName("NB_MsgHeader");
  auto* grid = new QGridLayout(header_);
  grid->setContentsMargins(4, 2, 4, 2);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(1);
  auto field = [this](const char* name) {
    auto* edit = new QLineEdit(header_);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setFrame(false);
    return edit;
  };
  auto caption = [this](const QString& text) { return new QLabel(text, header_); };
  sender_ = field("Sender");
  sndAddr_ = field("SndAddr");
  receiver_ = field("Receiver");
  recAddr_ = field("RecAddr");
  subject_ = field("DSubject");
  date_ = field("mhDate");
  time_ = field("mhTime");
  byteSize_ = field("ByteSize");
  grid->addWidget(caption(QStringLiteral("От:")), 0, 0);
  grid->addWidget(sender_, 0, 1);
  grid->addWidget(sndAddr_, 0, 2);
  grid->addWidget(date_, 0, 3);
  grid->addWidget(caption(QStringLiteral("Кому:")), 1, 0);
  grid->addWidget(receiver_, 1, 1);
  grid->addWidget(recAddr_, 1, 2);
  grid->addWidget(time_, 1, 3);
  // The nodelist lookups of sender and recipient.
  auto lookup = [this](const char* name, void (TMessageListWindow::*handler)()) {
    auto* button = new QToolButton(header_);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(QStringLiteral("?"));
    button->setToolTip(QStringLiteral("Поиск в нодлисте"));
    connect(button, &QToolButton::clicked, this,
            [this, handler] { Guarded([&] { (this->*handler)(); }); });
    return button;
  };
  lookupSender_ = lookup("LookupSender", &TMessageListWindow::LookupSenderClick);
  lookupReceiver_ = lookup("LookupReceiver", &TMessageListWindow::LookupReceiverClick);
  grid->addWidget(lookupSender_, 0, 4);
  grid->addWidget(lookupReceiver_, 1, 4);
  grid->addWidget(caption(QStringLiteral("Тема:")), 2, 0);
  grid->addWidget(subject_, 2, 1, 1, 2);
  grid->addWidget(byteSize_, 2, 3);
  grid->setColumnStretch(1, 3);
  grid->setColumnStretch(2, 2);
  // The flag boxes in two rows, so that a narrow window keeps them.
  auto* flags = new QGridLayout;
  flags->setHorizontalSpacing(8);
  flags->setVerticalSpacing(0);
  int slot = 0;
  for (const FlagBox& f : kFlagBoxes) {
    auto* box = new QCheckBox(QString::fromUtf8(f.caption), header_);
    box->setObjectName(QString::fromLatin1(f.name));
    flagBoxes_.push_back(box);
    flags->addWidget(box, slot / 5, slot % 5);
    ++slot;
  }
  flags->setColumnStretch(5, 1);
  grid->addLayout(flags, 3, 0, 1, 5);
}

void TMessageListWindow::BuildForm() {
  BuildMenus();
  auto* central = new QWidget(this);
  central->setObjectName("CentralPanel");
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // Tool bar and navigator in one row, the window list at its end; the
  // navigator goes under the bar when beside it it would cover buttons
  // placed on the bar (ArrangeTopRow).
  auto* top = new QWidget(central);
  top->setObjectName("TopPanel");
  auto* row = new QGridLayout(top);
  row->setContentsMargins(1, 1, 1, 1);
  row->setVerticalSpacing(1);
  topRow_ = row;
  BuildToolbar();
  toolbar_->setParent(top);
  toolbar_->setMinimumWidth(180);
  toolbar_->setFixedHeight(30);
  row->addWidget(toolbar_, 0, 0);
  row->setColumnStretch(0, 1);
  navigator_ = new QWidget(top);
  navigator_->setObjectName("Navigator");
  auto* navRow = new QHBoxLayout(navigator_);
  navRow->setContentsMargins(0, 0, 0, 0);
  iemRight_ = new QLineEdit(navigator_);
  iemRight_->setObjectName("IEMRight");
  iemRight_->setFixedWidth(60);
  mLeft_ = new QLabel(navigator_);
  mLeft_->setObjectName("MLeft");
  mLeft_->setMinimumWidth(50);
  ieGauge_ = new QProgressBar(navigator_);
  ieGauge_->setObjectName("IEGauge");
  ieGauge_->setTextVisible(false);
  ieGauge_->setFixedWidth(100);
  navRow->addWidget(iemRight_);
  navRow->addWidget(ieGauge_);
  navRow->addWidget(mLeft_);
  row->addWidget(navigator_, 0, 1);
  wList_ = new QListWidget(top);
  wList_->setObjectName("WList");
  wList_->setFixedSize(143, 44);
  wListLink_ = std::make_unique<TListBoxLink>(wList_);
  row->addWidget(wList_, 0, 2, 2, 1, Qt::AlignTop);
  column->addWidget(top);
  top->installEventFilter(this);
  connect(toolbar_, &TSpeedBar::customize, this, [this] { ArrangeTopRow(); });
  connect(iemRight_, &QLineEdit::editingFinished, this,
          [this] { Guarded([this] { IEMRightCommit(); }); });

  views_ = new QStackedWidget(central);
  views_->setObjectName("Views");
  // The list view: the tree beside the list.
  masterContainer_ = new QWidget(views_);
  masterContainer_->setObjectName("MasterContainer");
  auto* masterLayout = new QHBoxLayout(masterContainer_);
  masterLayout->setContentsMargins(0, 0, 0, 0);
  splitter_ = new QSplitter(Qt::Horizontal, masterContainer_);
  splitter_->setObjectName("Splitter");
  splitter_->setChildrenCollapsible(false);
  tree_ = new TTreeNT(splitter_);
  tree_->setObjectName("TreeView");
  tree_->SetOptions(toShowLines | toShowRoot | toShowButtons | toReadOnly);
  treeImages_ = new TImageList(16, 16, this);
  treeImages_->setObjectName("ThreadImages");
  treeImages_->AddStrip(MailIconStrip());
  treeImages_->AddStrip(ThreadIconStrip());
  tree_->SetImages(treeImages_);
  tree_->OnChange = [this](TCustomTreeNT*, TTreeNTNode* node) {
    Guarded([&] { TreeViewChange(node); });
  };
  auto groupPicture = [](TTreeNTNode* node, bool open) {
    if (reinterpret_cast<intptr_t>(node->Data()) != -1) return;
    const int image = (node->ImageIndex() & ~1) | (open ? 1 : 0);
    node->SetImageIndex(image);
    node->SetSelectedIndex(image);
  };
  tree_->OnExpanded = [groupPicture](TCustomTreeNT*, TTreeNTNode* node) {
    groupPicture(node, true);
  };
  tree_->OnCollapsed = [groupPicture](TCustomTreeNT*, TTreeNTNode* node) {
    groupPicture(node, false);
  };
  connect(tree_, &TCustomTreeNT::doubleClicked, this, [this] {
    if (!IsMessageView()) Guarded([this] { ShowCurrentMessage(); });
  });
  listBox_ = new TBetterListBox(splitter_);
  listBox_->setObjectName("BetterListBox");
  listBox_->SetMultiSelect(true);
  listBox_->SetShowColumnHeaders(true);
  listBox_->SetImages(MailListStrip());
  TBLBColumns& columns = listBox_->Columns();
  columns.BeginUpdate();
  columns.Add(QStringLiteral("!"), 19);
  columns.Add(QStringLiteral("Отправитель"), 121);
  columns.Add(QStringLiteral("Получатель"), 111);
  columns.Add(QString(), 20);
  columns.Add(QString(), 20);
  columns.Add(QStringLiteral("Тема"), 250);
  columns.Add(QStringLiteral("Флаги"), 75);
  columns.Add(QStringLiteral("Создано"), 75);
  columns.Add(QStringLiteral("Получено"), 75);
  columns.Add(QStringLiteral("Размер"), 50, 1);
  columns.EndUpdate();
  listBox_->OnGetData = [this](TCustomBetterListBox*, int row, int col, int& image, int&,
                               QString& caption) { ListBoxGetData(row, col, image, caption); };
  listBox_->OnGetStyles = [this](TCustomBetterListBox*, bool& bold, QColor& fg, QColor&, int row,
                                 TBLBDrawState state) {
    ListBoxGetStyles(bold, fg, row, state.bdsSelected);
  };
  listBox_->OnColumnClick = [this](TCustomBetterListBox*, TBLBColumn* column) {
    Guarded([&] { BetterListBoxColumnClick(listBox_->Columns().IndexOf(column)); });
  };
  connect(listBox_, &TCustomBetterListBox::clicked, this,
          [this] { Guarded([this] { BetterListBoxClick(); }); });
  connect(listBox_, &TCustomBetterListBox::doubleClicked, this,
          [this] { Guarded([this] { BetterListBoxDblClick(); }); });
  connect(listBox_, &TCustomBetterListBox::keyDown, this,
          [this](int key, Qt::KeyboardModifiers modifiers) {
            Guarded([&] { BetterListBoxKeyDown(key, modifiers); });
          });
  splitter_->addWidget(tree_);
  splitter_->addWidget(listBox_);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({220, 600});
  masterLayout->addWidget(splitter_);
  views_->addWidget(masterContainer_);

  // The message view: the header panel above the text.
  textContainer_ = new QWidget(views_);
  textContainer_->setObjectName("TextContainer");
  auto* textLayout = new QVBoxLayout(textContainer_);
  textLayout->setContentsMargins(0, 0, 0, 0);
  textLayout->setSpacing(0);
  BuildHeaderPanel();
  header_->setParent(textContainer_);
  textLayout->addWidget(header_);
  msgText_ = new TTextView(textContainer_);
  msgText_->setObjectName("MsgText");
  msgText_->installEventFilter(this);
  textContainer_->setFocusProxy(msgText_);
  textLayout->addWidget(msgText_, 1);
  views_->addWidget(textContainer_);
  column->addWidget(views_, 1);
  setCentralWidget(central);

  // The pop-up menus of the list and of the text open on a right click
  // (eventFilter).
  listBox_->viewport()->installEventFilter(this);
  msgText_->viewport()->installEventFilter(this);

  auto* status = new QStatusBar(this);
  auto* panel = new TStatusLabel(status);
  panel->setObjectName("StatusPanel0");
  status->addWidget(panel, 1);
  setStatusBar(status);
  resize(860, 560);
}

// The navigator and the window list beside the tool bar while the bar keeps
// the room its placed buttons need there; else the navigator, and then the
// window list too, in a row of their own under the bar, so that every
// button stays where the user put it, uncovered, and takes its clicks.
//
// The window is never narrower than the bar's buttons need, with both under
// it: narrowing it moves them under the bar rather than cut a button.
void TMessageListWindow::ArrangeTopRow() {
  const QMargins m = topRow_->contentsMargins();
  const int spacing = std::max(0, topRow_->horizontalSpacing());
  QWidget* top = topRow_->parentWidget();
  const int inside = top->width() - m.left() - m.right();
  const int needed = toolbar_->LengthNeeded();
  top->setMinimumWidth(std::max(toolbar_->minimumWidth(), needed) + m.left() + m.right());
  const bool listUnder = needed > inside - wList_->width() - spacing;
  const bool navUnder = listUnder || (navigator_->isVisibleTo(this) &&
                                      needed > inside - wList_->width() -
                                                   navigator_->sizeHint().width() - 2 * spacing);
  struct Cell {
    int row, column, rows, columns;
    Qt::Alignment align;
  };
  const auto put = [this](QWidget* w, const Cell& to) {
    int row = 0, column = 0, rows = 0, columns = 0;
    topRow_->getItemPosition(topRow_->indexOf(w), &row, &column, &rows, &columns);
    if (row == to.row && column == to.column && rows == to.rows && columns == to.columns) return;
    topRow_->removeWidget(w);
    topRow_->addWidget(w, to.row, to.column, to.rows, to.columns, to.align);
  };
  put(toolbar_, {0, 0, 1, listUnder ? 3 : 1, {}});
  put(navigator_, navUnder ? Cell{1, 0, 1, 1, Qt::AlignLeft} : Cell{0, 1, 1, 1, {}});
  put(wList_, listUnder ? Cell{1, 2, 1, 1, Qt::AlignTop} : Cell{0, 2, 2, 1, Qt::AlignTop});
}

QStatusBar* TMessageListWindow::StatusBar() const { return statusBar(); }

QMenu* TMessageListWindow::Menu(const QString& name) const { return findChild<QMenu*>(name); }

QAction* TMessageListWindow::Action(const QString& name) const { return findChild<QAction*>(name); }

// --- Layout -------------------------------------------------------------------------------------

void TMessageListWindow::LoadLayout() {
  const IniFile ini(IniPath());
  const int key = ini.ReadInteger(kSortingSection, "Style", kDefaultSortKey);
  if (key >= 1 && key <= 6) SortKey = key;
  Descending = ini.ReadInteger(kSortingSection, "Descending", 0) != 0;
  const int treeWidth = ini.ReadInteger(kLayoutSection, "TreeWidth", -1);
  if (treeWidth > 0) splitter_->setSizes({treeWidth, std::max(100, width() - treeWidth)});
  try {
    TIniFile storage(IniPath());
    // Read against the whole row, the most the window gives the bar (the
    // navigator and the window list go under it where it needs the room);
    // before the window is shown, the row is as wide as the window.
    const QMargins m = topRow_->contentsMargins();
    const int row =
        (isVisible() ? toolbar_->parentWidget()->width() : width()) - m.left() - m.right();
    toolbar_->resize(std::max(row, toolbar_->minimumWidth()), toolbar_->height());
    toolbar_->ReadLayout(&storage, kToolbarSection);
  } catch (const std::exception&) {
    // The default tool bar.
  }
  ArrangeTopRow();
  topRow_->invalidate();  // the bar gets its place in the row back
}

void TMessageListWindow::SaveLayout() {
  try {
    {
      TIniFile storage(IniPath());
      toolbar_->WriteLayout(&storage, kToolbarSection);
      storage.UpdateFile();
    }
    IniFile ini(IniPath());
    if (SortKey >= 1 && SortKey <= 6) ini.WriteInteger(kSortingSection, "Style", SortKey);
    ini.WriteInteger(kSortingSection, "Descending", Descending ? 1 : 0);
    if (TreeShown() && !splitter_->sizes().isEmpty())
      ini.WriteInteger(kLayoutSection, "TreeWidth", splitter_->sizes().first());
    ini.Save();
  } catch (const std::exception&) {
    // A lost layout is no reason to stop.
  }
}

void TMessageListWindow::Layoutladen1Click() { LoadLayout(); }

void TMessageListWindow::Layoutspeichern1Click() {
  SaveLayout();
  if (TAreaList* areas = GetAreaList())
    for (TArea* area : areas->Areas())
      if (TMessageListWindow* other = MessageWindowOf(*area); other && other != this)
        other->LoadLayout();
}


}  // namespace velmaris
