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
#include "app/ListBoxLink.h"
#include "app/MsgWinImages.h"
#include "app/ProgressWindow.h"
#include "core/Area.h"
#include "core/FidoAddress.h"
#include "core/Settings.h"
#include "core/ShellServices.h"
#include "core/WinLst.h"
#include "core/forms/FormText.h"
#include "core/forms/SrchMaskProperties.h"
#include "app/SearchAndReplace.h"
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
#include "widgets/TextView.h"
#include "widgets/TreeNT.h"
#include "widgets/VxColors.h"

namespace velmaris {

namespace {

constexpr const char* kSortingSection = "Sorting";
constexpr const char* kToolbarSection = "MailToolbar";
constexpr const char* kLayoutSection = "Layout";
constexpr int kDefaultSortKey = MsgSortKey::Received;

// The flag check boxes of the header panel and their bits.
struct FlagBox {
  const char* name;
  const char* caption;
  uint16_t bit;
};
constexpr FlagBox kFlagBoxes[] = {
    {"F_ToSysop", "К сисопу", MsgFlag::ToSysop}, {"F_Unread", "Непрочитано", MsgFlag::Unread},
    {"F_Hold", "Держать", MsgFlag::Hold},        {"F_Kill", "Удалить", MsgFlag::Kill},
    {"F_Send", "Послать", MsgFlag::Send},        {"F_Sent", "Послано", MsgFlag::Sent},
    {"F_Crash", "Crash", MsgFlag::Crash},        {"F_Attach", "Attach", MsgFlag::Attach},
    {"F_Request", "Request", MsgFlag::Request}};

// Area types whose messages are never answered or edited here.
bool IsWritableType(uint8_t type) {
  return type != AreaTypeCode::Badmail && type != AreaTypeCode::Dupes &&
         type != AreaTypeCode::Report;
}

// A list cell: a tab would split the row, a leading "[" would be read as an
// image number.
QString ListCell(const std::string& bytes) {
  QString cell = AnsiText(bytes);
  cell.replace(QLatin1Char('\t'), QLatin1Char(' '));
  if (cell.startsWith(QLatin1Char('['))) cell.prepend(QStringLiteral("[-1][-1]"));
  return cell;
}

QColor SettingColour(const SettingsValues& values, SettingId id, const QPalette& palette) {
  return ToQColor(static_cast<TColor>(values.Number(id)), palette);
}

// Runs a handler of a control's event; an exception is reported, never
// passed on into the event loop.
template <typename Fn>
void Guarded(Fn&& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

}  // namespace

std::string MessageWindowCaption(const TArea& area) { return "Area: " + area.Name; }

TMessageListWindow* MessageWindowOf(const TArea& area) {
  return dynamic_cast<TMessageListWindow*>(area.MessageWindow);
}

// --- Creation -------------------------------------------------------------------

TMessageListWindow::TMessageListWindow(const std::string& startDir, QWidget* parent)
    : QMainWindow(parent, parent ? Qt::Window : Qt::WindowFlags()), startDir_(startDir) {
  setObjectName("MessageListWindow");
  setAttribute(Qt::WA_DeleteOnClose, false);
  BuildForm();
  BuildComposeCommands();
  BuildNavigateCommands();
  WinLst().Add("No area assigned", this);
  WinLst().AttachListBox(wListLink_.get());
  ApplySettings();
  LoadLayout();
  try {
    listBox_->Columns().LoadWidths(IniPath());
  } catch (const std::exception&) {
    // Default widths.
  }
  auto* placement = new TBetterPlacement(this, QStringLiteral("MessageReader"));
  placement->Loaded();
  SetMessageView(true);  // a change, so the list view below takes effect
  SetMessageView(false);
  UpdateCaption();
  UpdateCommands();
}

TMessageListWindow::~TMessageListWindow() {
  if (settingsSubscription_) GetSettings().Unsubscribe(settingsSubscription_);
  if (area_) {
    area_->MessageWindow = nullptr;
    area_->CloseIndex();
    area_ = nullptr;
  }
  CurrentMail.reset();
  SaveLayout();
  try {
    listBox_->Columns().SaveWidths(IniPath());
  } catch (const std::exception&) {
    // A lost layout is no reason to stop.
  }
  WinLst().DetachListBox(wListLink_.get());
  WinLst().Remove(this);
}

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
  QMenu* single = addMenu("Mail1", QStringLiteral("&Письмо"));
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
  MakeAction(edit, "MnClear", QStringLiteral("Удалить"));
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
      {"Hilfethemen1", "Hilfethemen1", QStringLiteral("Темы справки")},
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
      {"Suchen3", "FindItem", QStyle::SP_FileDialogContentsView},
      {"Lschen2", "IEDeleteMsgs", QStyle::SP_TrashIcon},
  };
  int left = toolbar_->BtnOffsetHorz();
  for (const Button& b : kButtons) {
    QAction* action = Action(QString::fromLatin1(b.action));
    auto* item = new TSpeedItem(this);
    item->setObjectName(QString::fromLatin1(b.name));
    item->SetCaption(action->text());
    item->SetHint(action->text());
    item->SetGlyph(style()->standardIcon(b.icon).pixmap(16, 16));
    toolbar_->AddItem(nav, item);
    item->SetEnabled(action->isEnabled());
    connect(action, &QAction::changed, item,
            [item, action] { item->SetEnabled(action->isEnabled()); });
    connect(item, &TSpeedItem::clicked, action, &QAction::trigger);
    item->SetBounds(left, toolbar_->BtnOffsetVert());
    item->SetVisible(true);
    left += toolbar_->BtnWidth();
  }
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

  // Tool bar and navigator in one row, the window list at its end.
  auto* top = new QWidget(central);
  top->setObjectName("TopPanel");
  auto* row = new QHBoxLayout(top);
  row->setContentsMargins(1, 1, 1, 1);
  BuildToolbar();
  toolbar_->setParent(top);
  toolbar_->setMinimumWidth(180);
  toolbar_->setFixedHeight(30);
  row->addWidget(toolbar_, 1);
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
  row->addWidget(navigator_);
  wList_ = new QListWidget(top);
  wList_->setObjectName("WList");
  wList_->setFixedSize(143, 44);
  wListLink_ = std::make_unique<TListBoxLink>(wList_);
  row->addWidget(wList_);
  column->addWidget(top);
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

  auto* status = new QStatusBar(this);
  auto* panel = new QLabel(status);
  panel->setObjectName("StatusPanel0");
  status->addWidget(panel, 1);
  setStatusBar(status);
  resize(860, 560);
}

QStatusBar* TMessageListWindow::StatusBar() const { return statusBar(); }

QMenu* TMessageListWindow::Menu(const QString& name) const { return findChild<QMenu*>(name); }

QAction* TMessageListWindow::Action(const QString& name) const { return findChild<QAction*>(name); }

bool TMessageListWindow::TreeShown() const {
  QAction* action = Action("DisplayTree");
  return action && action->isChecked();
}

bool TMessageListWindow::DisplayOrderNavigation() const {
  QAction* action = Action("MNNavA");
  return action && action->isChecked();
}

void TMessageListWindow::ApplySettings() {
  const auto values = GetSettings().Snapshot();
  ApplyLook(*values);
  Action("DisplayStyles")->setChecked(values->Checked(SettingId::DisplayStyles));
  Action("AKludge")->setChecked(values->Checked(SettingId::AKLudge));
  Action("AREAKLudge")->setChecked(values->Checked(SettingId::AREAKludge));
  Action("SBKLudge")->setChecked(values->Checked(SettingId::SBKludge));
  Action("DisplayTree")->setChecked(values->Checked(SettingId::DisplayTree));
  const bool displayOrder = values->Checked(SettingId::RbNavA);
  Action("MNNavA")->setChecked(displayOrder);
  Action("MnNavO")->setChecked(!displayOrder);
  tree_->setVisible(TreeShown());
  settingsSubscription_ = GetSettings().Subscribe(
      [this](const SettingsValues& values, const std::vector<SettingId>& changed) {
        SettingsChanged(values, changed);
      });
}

void TMessageListWindow::ApplyLook(const SettingsValues& values) {
  const QPalette pal = palette();
  textContainer_->setFont(FontOf(values.Font(SettingId::mrFont), font()));
  const QFont list = FontOf(values.Font(SettingId::MLFont), font());
  listBox_->setFont(list);
  listBox_->Columns().SetFont(list);
  tree_->setFont(FontOf(values.Font(SettingId::RTFont), font()));
  listBox_->SetColor(SettingColour(values, SettingId::COL_Bg, pal));
  listBox_->SetHighlightColor(SettingColour(values, SettingId::COL_Highlight, pal));
  listBox_->SetHighlightTxtColor(SettingColour(values, SettingId::COL_MsgSel, pal));
  QPalette listPal = listBox_->palette();
  listPal.setColor(QPalette::Text, SettingColour(values, SettingId::COL_Msg, pal));
  listBox_->setPalette(listPal);
}

void TMessageListWindow::SettingsChanged(const SettingsValues& values,
                                         const std::vector<SettingId>& changed) {
  auto has = [&](SettingId id) {
    return std::find(changed.begin(), changed.end(), id) != changed.end();
  };
  struct Switch {
    SettingId id;
    const char* action;
  };
  static constexpr Switch kSwitches[] = {{SettingId::DisplayStyles, "DisplayStyles"},
                                         {SettingId::AKLudge, "AKludge"},
                                         {SettingId::AREAKludge, "AREAKLudge"},
                                         {SettingId::SBKludge, "SBKLudge"}};
  bool redisplay = false;
  for (const Switch& sw : kSwitches)
    if (has(sw.id)) {
      Action(sw.action)->setChecked(values.Checked(sw.id));
      redisplay = true;
    }
  if (has(SettingId::RbNavA)) {
    Action("MNNavA")->setChecked(values.Checked(SettingId::RbNavA));
    Action("MnNavO")->setChecked(!values.Checked(SettingId::RbNavA));
  }
  for (SettingId id :
       {SettingId::mrFont, SettingId::MLFont, SettingId::RTFont, SettingId::COL_Bg,
        SettingId::COL_Highlight, SettingId::COL_MsgSel, SettingId::COL_Msg, SettingId::COL_Sysop,
        SettingId::COL_SysopSel, SettingId::MsgBG, SettingId::MsgTxt, SettingId::QuoteColor})
    if (has(id)) {
      ApplyLook(values);
      listBox_->viewport()->update();
      redisplay = true;
      break;
    }
  try {
    if (has(SettingId::DisplayTree) && TreeShown() != values.Checked(SettingId::DisplayTree)) {
      Action("DisplayTree")->setChecked(values.Checked(SettingId::DisplayTree));
      DisplayTreeClick();
    } else if (redisplay) {
      RedisplayMessage();
    }
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

// --- The area ---------------------------------------------------------------------

void TMessageListWindow::SetArea(TArea* area) {
  if (area_) {
    area_->MessageWindow = nullptr;
    area_->CloseIndex();
  }
  area_ = nullptr;
  CurrentMail.reset();
  CurrentIndex = DisplayedIndex = -1;
  if (area && area->OpenIndex()) {
    area_ = area;
    const int entry = WinLst().IndexOfObject(this);
    if (entry >= 0) WinLst().SetString(entry, MessageWindowCaption(*area));
    area->MessageWindow = this;
  }
  UpdateCaption();
  if (area_) {
    const uint8_t type = area_->AreaType;
    const bool fido = type <= AreaTypeCode::Netmail || type == AreaTypeCode::Storage;
    sndAddr_->setVisible(fido);
    lookupSender_->setVisible(fido);
    lookupReceiver_->setVisible(fido);
    recAddr_->setVisible(type == AreaTypeCode::Netmail);
    for (QCheckBox* box : flagBoxes_) {
      const QString name = box->objectName();
      if (name == "F_Crash" || name == "F_Attach" || name == "F_Request")
        box->setEnabled(type == AreaTypeCode::Netmail);
    }
  }
  UpdateCommands();
  const int lastRead = area_ ? area_->LastRead : -1;
  BuildList();
  if (area_) SelectMessage(lastRead);
  emit areaChanged();
}

void TMessageListWindow::BuildList() {
  if (!area_) {
    setWindowTitle(QStringLiteral("Access blocked !"));
    DisplayList.Clear();
    listBox_->SetCount(0);
    tree_->Items().Clear();
    Threads.Clear();
    return;
  }
  std::unique_ptr<TProgressWindow> progress;
  if (TreeShown()) {
    progress = std::make_unique<TProgressWindow>(
        GetMainWindow() ? static_cast<QWidget*>(GetMainWindow()) : this,
        AnsiText("Opening area " + area_->Name + " ..."), false);
    progress->resize(320, 70);
    progress->Gauge()->setRange(0, 10);
    progress->show();
    progress->SetStatus(QStringLiteral("Creating message list ..."));
  }
  if (area_->Count > 0)
    setWindowTitle(AnsiText(area_->Name + " - " + std::to_string(area_->Count) + " Messages"));
  else
    SetMessageView(false);
  Building = true;
  BuildDisplayList();
  Threads.Clear();
  if (TreeShown() && area_->Count > 0) {
    Threads.Build(
        *area_, [&](const char* label) { progress->SetStatus(QString::fromLatin1(label)); },
        [](int) { platform::GetPrompter().Error("REPLY cross reference !"); });
    progress->SetStatus(QStringLiteral("Creating display ..."));
    progress->Gauge()->setRange(0, 2);
    progress->Gauge()->setValue(2);
    BuildTree();
    progress->SetStatus(QStringLiteral("Finishing ..."));
  } else {
    tree_->Items().Clear();
  }
  if (progress) progress->SetStatus(QStringLiteral("Done"));
  progress.reset();
  Building = false;
  SelectMessage(-1);
  if (IsMessageView()) ShowCurrentMessage();
  UpdateCaption();
  update();
}

void TMessageListWindow::BuildTree() {
  TTreeNTNodes& items = tree_->Items();
  items.BeginUpdate();
  items.Clear();
  items.Reserve(Threads.NextNode());
  auto setImage = [](TTreeNTNode* node, const TThreadNode& record) {
    if (!record.Header) return;
    const int image = MsgStateImage(record.Header->Flags);
    node->SetImageIndex(image);
    node->SetSelectedIndex(image);
  };
  auto data = [](const TThreadNode& record) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(record.MsgIndex));
  };
  for (TThreadNode* top = Threads.RootNode.FirstChild; top; top = top->Next) {
    TTreeNTNode* node = items.AddObject(nullptr, AnsiText(top->Text), data(*top));
    top->TreeNode = node;
    setImage(node, *top);
    ForEachBelow(*top, [&](TThreadNode& record) {
      auto* parent = static_cast<TTreeNTNode*>(record.Parent->TreeNode);
      auto* child = items.AddChildObject(parent, AnsiText(record.Text), data(record));
      record.TreeNode = child;
      setImage(child, record);
      return true;
    });
  }
  for (TThreadNode* top = Threads.RootNode.FirstChild; top; top = top->Next)
    if (top->IsGroup()) RefreshGroup(*top);
  items.EndUpdate();
}

void TMessageListWindow::RefreshGroup(TThreadNode& group) {
  auto* node = static_cast<TTreeNTNode*>(group.TreeNode);
  if (!node) return;
  const TThreadGroupStats stats = GroupStatistics(group);
  if (node->ImageIndex() < kThreadImageBase)
    node->SetText(node->Text() + QStringLiteral(" (%1 Messages)").arg(stats.Count));
  const int image = kThreadImageBase + stats.Bits + (node->Expanded() ? 1 : 0);
  node->SetImageIndex(image);
  node->SetSelectedIndex(image);
}

void TMessageListWindow::BuildDisplayList() {
  listBox_->SetCount(0);
  const int sortColumn = ColumnOfSortKey(SortKey);
  TBLBColumns& columns = listBox_->Columns();
  columns.BeginUpdate();
  for (int c = 0; c < columns.GetCount(); ++c) {
    TBLBColumn* column = columns.GetItem(c);
    if (c == sortColumn)
      column->SetGlyph(SortGlyph(!Descending));
    else if (!column->Glyph().isNull())
      column->SetGlyph(QPixmap());
  }
  columns.EndUpdate();
  DisplayList.Clear();
  if (area_) BuildDisplayRows(*area_, area_->DisplayFilter, SortKey, Descending, DisplayList);
  listBox_->SetCount(DisplayList.Count());
  UpdateStatusBar();
}

// --- Rows -----------------------------------------------------------------------------

const TMsgHeader* TMessageListWindow::RowHeader(int row) const {
  if (!area_ || !area_->IsIndexLoaded() || row < 0 || row >= DisplayList.Count()) return nullptr;
  // A job holding the area exclusively may be rewriting the headers; the
  // rows come back with the rebuild when it lets go.
  if (area_->IsLockedExclusive()) return nullptr;
  const int index = DisplayList.Get(row);
  if (index < 0 || index >= area_->Count) return nullptr;
  return area_->HeaderPtr(index);
}

void TMessageListWindow::ListBoxGetData(int row, int col, int& image, QString& caption) {
  const TMsgHeader* h = RowHeader(row);
  if (!h) return;
  switch (col) {
    case MsgColumn::State: image = MsgStateImage(h->Flags); return;
    case MsgColumn::Mark: image = MsgMarkImage(h->Flags); return;
    case MsgColumn::Unread: image = MsgUnreadImage(h->Flags); return;
    default: caption = ListCell(MsgCellText(*h, col)); return;
  }
}

void TMessageListWindow::ListBoxGetStyles(bool& bold, QColor& fg, int row, bool selected) {
  const TMsgHeader* h = RowHeader(row);
  if (!h) return;
  bold = MsgRowBold(h->Flags);
  if (MsgRowSysopColour(h->Flags)) {
    const auto values = GetSettings().Snapshot();
    fg = SettingColour(*values, selected ? SettingId::COL_SysopSel : SettingId::COL_Sysop,
                       palette());
  }
}

// --- Current message ------------------------------------------------------------------

void TMessageListWindow::SelectMessage(int index) {
  const int count = area_ ? area_->Count : 0;
  index = std::clamp(index, -1, count - 1);
  if (index == CurrentIndex) return;
  CurrentIndex = index;
  const bool building = Building;
  Building = true;  // the tree's change event is ours
  if (index < 0) {
    listBox_->SelectItem(-1);
    tree_->SetSelected(nullptr);
    Building = building;
    return;
  }
  const int row = DisplayList.IndexOf(index);
  listBox_->SelectItem(row);
  if (row >= 0) listBox_->MakeVisible(row);
  if (TreeShown())
    if (TThreadNode* record = Threads.NodeOf(index))
      tree_->SetSelected(static_cast<TTreeNTNode*>(record->TreeNode));
  Building = building;
  area_->LastRead = index;
}

void TMessageListWindow::GoToMessage(int index) {
  SelectMessage(index);
  ShowCurrentMessage();
}

void TMessageListWindow::ShowCurrentMessage() {
  if (!area_ || CurrentIndex < 0) {
    SetMessageView(false);
    return;
  }
  DisplayMessage(area_->ReadMail(CurrentIndex), CurrentIndex);
}

void TMessageListWindow::DisplayMessage(std::unique_ptr<TMail> mail, int index) {
  if (!area_ || !mail) return;
  CurrentMail.reset();
  SelectMessage(index);
  CurrentMail = std::move(mail);
  SetMessageView(true);
  DisplayedIndex = CurrentIndex;
  const TMail& m = *CurrentMail;
  const std::string_view text = m.BodyText();
  ShowHeaderPanel(m);
  KludgeValues = ReadKludgeValues(text, FidoAddressToStr(m.Header.OrigAddr));
  const bool latin = IsLatinText(text);
  // Reading clears Unread in the area.
  if (DisplayedIndex >= 0 && DisplayedIndex < area_->Count) {
    TMsgHeader stored = area_->GetHeader(DisplayedIndex);
    if (stored.Flags & MsgFlag::Unread) {
      stored.Flags &= static_cast<uint16_t>(~MsgFlag::Unread);
      area_->SetHeader(DisplayedIndex, stored);
    }
    CurrentMail->Header.Flags = stored.Flags;
  }
  for (size_t i = 0; i < flagBoxes_.size(); ++i)
    flagBoxes_[i]->setChecked(CurrentMail->Header.Flags & kFlagBoxes[i].bit);
  UpdateCommands();
  UpdateNavigator();
  if (DisplayedIndex >= 0) {
    const bool building = Building;
    Building = true;
    RefreshMessageFlags(DisplayedIndex);
    Building = building;
  }
  std::string body(text);
  if (Action("MnROT13")->isChecked()) Rot13(body);
  TRenderOptions options;
  options.Styles = Action("DisplayStyles")->isChecked();
  options.ShowKludges = Action("AKludge")->isChecked();
  options.ShowArea = Action("AREAKLudge")->isChecked();
  options.ShowSeenBy = Action("SBKLudge")->isChecked();
  Rendered = RenderMessageText(body, options);
  RenderedLatin = latin;
  ShowRendered();
  UpdateStatusBar();
  if (TShellServices* shell = GetShellServices()) shell->UpdateAreaLine(*area_);
}

void TMessageListWindow::ShowHeaderPanel(const TMail& m) {
  const TMsgHeader& h = m.Header;
  sender_->setText(AnsiText(h.FromName.Str()));
  receiver_->setText(AnsiText(h.ToName.Str()));
  sndAddr_->setText(QString::fromStdString(FidoAddressToStr(h.OrigAddr)));
  recAddr_->setText(QString::fromStdString(FidoAddressToStr(h.DestAddr)));
  subject_->setText(AnsiText(h.Subject.Str()));
  byteSize_->setText(QString::number(m.BodyText().size()));
  date_->setText(QString::fromLatin1(MailDateText(m.DateField())));
  time_->setText(QString::fromLatin1(MailTimeText(m.DateField())));
}

void TMessageListWindow::ShowRendered() {
  const auto values = GetSettings().Snapshot();
  msgText_->SetBackground(static_cast<TColor>(values->Number(SettingId::MsgBG)));
  msgText_->SetNormalColor(static_cast<TColor>(values->Number(SettingId::MsgTxt)));
  msgText_->SetQuoteColor(static_cast<TColor>(values->Number(SettingId::QuoteColor)));
  if (RenderedLatin) {
    msgText_->SetText(Rendered.Prefixes, Rendered.Lines);
    return;
  }
  // The window's edge: OEM text is shown in the ANSI code page.
  std::vector<std::string> prefixes, lines;
  prefixes.reserve(Rendered.Prefixes.size());
  lines.reserve(Rendered.Lines.size());
  for (const std::string& p : Rendered.Prefixes) prefixes.push_back(OemDisplayToAnsi(p));
  for (const std::string& l : Rendered.Lines) lines.push_back(OemDisplayToAnsi(l));
  msgText_->SetText(prefixes, lines);
}

void TMessageListWindow::UpdateNavigator() {
  const int rows = DisplayList.Count();
  const int row = DisplayList.IndexOf(DisplayedIndex);
  const int count = area_ ? area_->Count : 0;
  ieGauge_->setMaximum(std::max(rows, 1));
  QPalette pal = ieGauge_->palette();
  if (row >= 0) {
    iemRight_->setText(QString::number(row + 1));
    mLeft_->setText(QString::number(rows - row - 1));
    ieGauge_->setValue(row + 1);
    pal.setColor(QPalette::Highlight, QColor(0x00, 0x00, 0x80));
  } else {
    iemRight_->setText(QString::number(DisplayedIndex + 1));
    mLeft_->setText(QString::number(count - DisplayedIndex - 1));
    ieGauge_->setValue(std::min(DisplayedIndex + 1, ieGauge_->maximum()));
    pal.setColor(QPalette::Highlight, QColor(0x80, 0x00, 0x00));
  }
  ieGauge_->setPalette(pal);
}

void TMessageListWindow::IEMRightCommit() {
  if (!area_ || !IsMessageView()) return;
  bool ok = false;
  const int n = iemRight_->text().trimmed().toInt(&ok);
  if (ok && n >= 1 && n <= area_->Count) {
    if (n - 1 != DisplayedIndex) GoToMessage(n - 1);
    return;
  }
  iemRight_->setText(QString::number(DisplayedIndex + 1));
}

void TMessageListWindow::RedisplayMessage() {
  if (!area_ || !IsMessageView() || DisplayedIndex < 0) return;
  DisplayMessage(area_->ReadMail(DisplayedIndex), DisplayedIndex);
}

void TMessageListWindow::RefreshMessageFlags(int index) {
  if (!area_) return;
  const TMsgHeader& h = area_->GetHeader(index);  // raises outside the area
  const int row = DisplayList.IndexOf(index);
  if (row >= 0) listBox_->RedrawItem(row);
  if (TThreadNode* record = Threads.NodeOf(index)) {
    if (auto* node = static_cast<TTreeNTNode*>(record->TreeNode)) {
      const int image = MsgStateImage(h.Flags);
      node->SetImageIndex(image);
      node->SetSelectedIndex(image);
    }
    TThreadNode* top = Threads.TopRecordOf(index);
    if (top && top->IsGroup()) RefreshGroup(*top);
  }
}

std::string TMessageListWindow::GetKludge(const std::string& name, const std::string& def) const {
  if (!CurrentMail) return def;
  return velmaris::GetKludge(CurrentMail->BodyText(), name, def);
}

std::string TMessageListWindow::ExpandMacros(const std::string& text) const {
  if (!CurrentMail || !area_) return text;
  return CurrentMail->ExpandMacros(text, area_->Name);
}

// --- Views ----------------------------------------------------------------------------

void TMessageListWindow::SetMessageView(bool on) {
  const int mode = on ? 1 : 0;
  if (mode == ViewMode) return;
  ViewMode = mode;
  views_->setCurrentWidget(on ? textContainer_ : masterContainer_);
  navigator_->setVisible(on);
  if (on) {
    if (isVisible()) textContainer_->setFocus();
  } else {
    DisplayedIndex = -1;
    listBox_->setFocus();
  }
  UpdateCommands();
}

std::vector<int32_t> TMessageListWindow::SelectedMessages() const {
  std::vector<int32_t> list;
  if (IsMessageView()) {
    if (DisplayedIndex >= 0) list.push_back(DisplayedIndex);
    return list;
  }
  for (int row = 0; row < DisplayList.Count(); ++row)
    if (listBox_->Selected(row)) list.push_back(DisplayList.Get(row));
  return list;
}

// --- Caption, status, commands ------------------------------------------------------------

void TMessageListWindow::UpdateCaption() {
  setWindowTitle(AnsiText(MsgListCaption(area_, DisplayList.Count())));
}

void TMessageListWindow::UpdateStatusBar() {
  if (auto* panel = findChild<QLabel*>("StatusPanel0"))
    panel->setText(area_ && area_->IsIndexLoaded()
                       ? AnsiText(MsgListStatusText(*area_, DisplayList.Count()))
                       : QString());
  UpdateCaption();
}

void TMessageListWindow::RegisterCommand(QAction* action, TCommandRule rule) {
  if (!action) return;
  commands_.emplace_back(action, rule);
  UpdateCommands();
}

void TMessageListWindow::UpdateCommands() {
  const bool v = IsMessageView();
  const bool w = area_ && IsWritableType(area_->AreaType);
  const bool e = v && w && CurrentMail && (CurrentMail->Header.Flags & MsgFlag::Editable);
  if (QMenu* single = Menu("Mail1")) single->menuAction()->setVisible(v);
  for (auto& [action, rule] : commands_) {
    if (!action) continue;
    bool on = false;
    switch (rule) {
      case TCommandRule::MessageView: on = v; break;
      case TCommandRule::WritableMessageView: on = v && w; break;
      case TCommandRule::Editable: on = e; break;
      case TCommandRule::Writable: on = w; break;
      case TCommandRule::ListView: on = !v; break;
    }
    action->setEnabled(on);
  }
}

// --- Stepping ---------------------------------------------------------------------------

void TMessageListWindow::ShowStep(const TMsgStep& step, bool forward) {
  if (step.kind == TMsgStep::Show)
    GoToMessage(step.index);
  else if (step.kind == TMsgStep::OtherArea)
    MoveToArea(forward);
}

void TMessageListWindow::ShowNextMessage() {
  if (!area_) return;
  const bool advance = GetSettings().Snapshot()->Checked(SettingId::CbAdvanceArea);
  ShowStep(
      NextMessageStep(DisplayList, area_->Count, DisplayedIndex, DisplayOrderNavigation(), advance),
      true);
}

void TMessageListWindow::ShowPrevMessage() {
  if (!area_) return;
  const bool advance = GetSettings().Snapshot()->Checked(SettingId::CbAdvanceArea);
  ShowStep(
      PrevMessageStep(DisplayList, area_->Count, DisplayedIndex, DisplayOrderNavigation(), advance),
      false);
}

void TMessageListWindow::ShowFirstMessage() {
  if (!area_ || area_->Count == 0) return;
  if (!DisplayOrderNavigation())
    GoToMessage(0);
  else if (DisplayList.Count() > 0)
    GoToMessage(DisplayList.Get(0));
}

void TMessageListWindow::ShowLastMessage() {
  if (!area_ || area_->Count == 0) return;
  if (!DisplayOrderNavigation())
    GoToMessage(area_->Count - 1);
  else if (DisplayList.Count() > 0)
    GoToMessage(DisplayList.Get(DisplayList.Count() - 1));
}

void TMessageListWindow::MoveToArea(bool forward) {
  if (!area_) return;
  TKQMainWindow* main = GetMainWindow();
  if (!main) return;
  TArea* area = area_;
  close();
  main->OpenNeighbourArea(*area, forward);
}

void TMessageListWindow::NchsteArea1Click() { MoveToArea(true); }
void TMessageListWindow::VorherigeArea1Click() { MoveToArea(false); }
void TMessageListWindow::MNNavAClick() { Action("MNNavA")->setChecked(true); }
void TMessageListWindow::MnNavOClick() { Action("MnNavO")->setChecked(true); }

int TMessageListWindow::FindNextByFlags(int from, uint16_t wanted, uint16_t rejected) const {
  return area_ ? velmaris::FindNextByFlags(*area_, from, wanted, rejected) : -1;
}
int TMessageListWindow::FindPrevByFlags(int from, uint16_t wanted, uint16_t rejected) const {
  return area_ ? velmaris::FindPrevByFlags(*area_, from, wanted, rejected) : -1;
}
int TMessageListWindow::FindNextSameTopic(int from, uint16_t wanted, const std::string& subject,
                                          uint16_t rejected) const {
  return area_ ? velmaris::FindNextSameTopic(*area_, from, wanted, subject, rejected) : -1;
}
int TMessageListWindow::FindPrevSameTopic(int from, uint16_t wanted, const std::string& subject,
                                          uint16_t rejected) const {
  return area_ ? velmaris::FindPrevSameTopic(*area_, from, wanted, subject, rejected) : -1;
}

// --- List and tree events -----------------------------------------------------------------

void TMessageListWindow::BetterListBoxClick() {
  const int rows = DisplayList.Count();
  if (rows == 0) return;
  int row = listBox_->ItemIndex();
  if (row < 0) row = listBox_->FocusIndex();
  if (row < 0) row = rows - 1;
  SelectMessage(DisplayList.Get(std::clamp(row, 0, rows - 1)));
}

void TMessageListWindow::BetterListBoxDblClick() {
  BetterListBoxClick();
  ShowCurrentMessage();
}

void TMessageListWindow::BetterListBoxColumnClick(int column) {
  if (column == MsgColumn::State) {
    if (QAction* mask = Action("Anzeigefilter1")) mask->trigger();
    return;
  }
  const int key = SortKeyOfColumn(column);
  if (key < 0) return;
  if (key == SortKey) {
    Descending = !Descending;
  } else {
    SortKey = key;
    Descending = false;
  }
  const int current = CurrentIndex;
  BuildDisplayList();
  CurrentIndex = -1;
  SelectMessage(current);
}

void TMessageListWindow::ToggleKillOnSelection() {
  if (!area_) return;
  const std::vector<int32_t> selection = SelectedMessages();
  if (selection.empty()) return;
  const bool allKill = std::all_of(selection.begin(), selection.end(), [&](int32_t i) {
    return (area_->GetHeader(i).Flags & MsgFlag::Kill) != 0;
  });
  for (int32_t i : selection)
    area_->ChangeHeaderFlags(i, MsgFlag::Kill, allKill ? FlagOperation::Clear : FlagOperation::Set);
  if (CurrentMail && IsMessageView() && DisplayedIndex >= 0) {
    CurrentMail->Header.Flags = area_->GetHeader(DisplayedIndex).Flags;
    if (auto* box = findChild<QCheckBox*>("F_Kill"))
      box->setChecked(CurrentMail->Header.Flags & MsgFlag::Kill);
  }
  listBox_->viewport()->update();
}

void TMessageListWindow::BetterListBoxKeyDown(int key, Qt::KeyboardModifiers) {
  switch (key) {
    case Qt::Key_Escape: close(); return;
    case Qt::Key_Delete: ToggleKillOnSelection(); return;
    case Qt::Key_Backspace:
      if (TreeShown()) tree_->setFocus();
      return;
    case Qt::Key_Left:
    case Qt::Key_Right:
      if (GetSettings().Snapshot()->Checked(SettingId::CbAdvanceArea))
        MoveToArea(key == Qt::Key_Right);
      return;
    default: return;
  }
}

bool TMessageListWindow::MsgTxtKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  modifiers &= Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier;
  switch (key) {
    case Qt::Key_Delete: ToggleKillOnSelection(); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: SetMessageView(false); return true;
    case Qt::Key_Backspace:
      if (!TreeShown()) return false;
      tree_->setFocus();
      return true;
    case Qt::Key_Left:
    case Qt::Key_Right: break;
    default: return false;
  }
  const bool right = key == Qt::Key_Right;
  if (modifiers & Qt::ControlModifier) {
    right ? ShowLastMessage() : ShowFirstMessage();
  } else if (modifiers == Qt::ShiftModifier) {
    if (!area_ || CurrentIndex < 0) return true;
    const std::string subject = area_->GetHeader(CurrentIndex).Subject.Str();
    const int found = right ? FindNextSameTopic(CurrentIndex, 0, subject, 0)
                            : FindPrevSameTopic(CurrentIndex, 0, subject, 0);
    if (found >= 0) GoToMessage(found);
  } else if (modifiers == Qt::NoModifier) {
    right ? ShowNextMessage() : ShowPrevMessage();
  } else {
    return false;
  }
  return true;
}

void TMessageListWindow::TreeViewChange(TTreeNTNode* node) {
  if (!isVisible() || Building || !masterContainer_->isVisible() || !node) return;
  const auto index = static_cast<int>(reinterpret_cast<intptr_t>(node->Data()));
  if (index < 0 || index == CurrentIndex) return;
  SelectMessage(index);
  if (IsMessageView()) ShowCurrentMessage();
}

// --- Switches ---------------------------------------------------------------------------------

void TMessageListWindow::DisplaySwitchClick() { RedisplayMessage(); }

void TMessageListWindow::MnROT13Click() { RedisplayMessage(); }

void TMessageListWindow::DisplayTreeClick() {
  tree_->setVisible(TreeShown());
  const int current = CurrentIndex;
  const int displayed = DisplayedIndex;
  const bool view = IsMessageView();
  BuildList();
  if (view && displayed >= 0)
    GoToMessage(displayed);
  else
    SelectMessage(current);
}

// --- Area lock
// ------------------------------------------------------------------------------------

void TMessageListWindow::AreaLocked(bool exclusive) {
  if (!area_) return;
  setWindowTitle(AnsiText(area_->Name + (exclusive ? " - exclusive locked" : " - locked")));
  if (!exclusive) return;
  views_->setVisible(false);
  toolbar_->setEnabled(false);
  navigator_->setEnabled(false);
  for (const char* name : {"Bearbeiten1", "Navigator1", "Ansicht1"})
    if (QMenu* menu = Menu(name)) menu->menuAction()->setVisible(false);
}

void TMessageListWindow::AreaUnlockedShared() { UpdateCaption(); }

void TMessageListWindow::AreaUnlocked() {
  if (!area_) return;
  views_->setVisible(true);
  for (const char* name : {"Bearbeiten1", "Navigator1", "Ansicht1"})
    if (QMenu* menu = Menu(name)) menu->menuAction()->setVisible(true);
  toolbar_->setEnabled(true);
  navigator_->setEnabled(true);
  const int last = area_->Count - 1;
  const int displayed = std::min(DisplayedIndex, last);
  const int current = std::min(CurrentIndex, last);
  const bool view = IsMessageView();
  BuildList();
  if (view && displayed >= 0) GoToMessage(displayed);
  SelectMessage(current);
  if (area_->Count == 0) SetMessageView(false);
  if (IsMessageView())
    textContainer_->setFocus();
  else
    listBox_->setFocus();
}

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
    toolbar_->ReadLayout(&storage, kToolbarSection);
  } catch (const std::exception&) {
    // The default tool bar.
  }
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

// --- Find and the Edit menu
// ------------------------------------------------------------------------

void TMessageListWindow::Suchen3Click() {
  TSARForm form(this);
  form.setObjectName("SARForm");
  form.SetFindOnly(true);
  form.SetFindText(AnsiText(findText_));
  form.OnFind = [this](TSARForm& f) {
    Guarded([&] { FindInText(AnsiBytes(f.GetFindText()), f.GetCaseSensitive(), f.GetWholeWords()); });
  };
  ExecModal(form);
  findText_ = AnsiBytes(form.GetFindText());
  findMatchCase_ = form.GetCaseSensitive();
  findWholeWord_ = form.GetWholeWords();
}

void TMessageListWindow::Anzeigefilter1Click() {
  if (!area_) return;
  TSearchRequest& mask = area_->DisplayFilter;
  TSrchMaskProperties* dialog = EditSearchRequest(mask);
  // The dialog may outlive this window; it rebuilds the rows only while the
  // window still shows this area.
  QPointer<TMessageListWindow> self(this);
  TArea* area = area_;
  dialog->OnApplied = [self, area](TSearchRequest&) {
    if (self && self->area_ == area) Guarded([&] { self->BuildDisplayList(); });
  };
}

void TMessageListWindow::Weitersuchen1Click() {
  if (!findDone_) {
    Suchen3Click();
    return;
  }
  FindInText(findText_, findMatchCase_, findWholeWord_);
}

bool TMessageListWindow::FindInText(const std::string& text, bool matchCase, bool wholeWord) {
  findText_ = text;
  findMatchCase_ = matchCase;
  findWholeWord_ = wholeWord;
  findDone_ = true;
  if (text.empty() || !IsMessageView()) return false;
  if (msgText_->FindNext(text, matchCase, wholeWord)) return true;
  if (!platform::GetPrompter().Confirm("End of text. Continue on begin ?")) return false;
  msgText_->ClearSelection();
  return msgText_->FindNext(text, matchCase, wholeWord);
}

// The text edit with the focus, nullptr when the focus is elsewhere.
static QLineEdit* FocusedEdit() { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }

void TMessageListWindow::Bearbeiten1Click() {
  QLineEdit* edit = FocusedEdit();
  const bool viewer = !edit && msgText_->hasFocus();
  const bool editSelection = edit && edit->hasSelectedText();
  const bool writable = edit && !edit->isReadOnly();
  Action("MnCut")->setEnabled(editSelection && writable);
  Action("MnCopy")->setEnabled(editSelection || (viewer && msgText_->HasSelection()));
  Action("MnSave")->setEnabled(editSelection || (viewer && msgText_->HasSelection()));
  Action("MnClear")->setEnabled(editSelection && writable);
  Action("MnPaste")->setEnabled(writable && !QApplication::clipboard()->text().isEmpty());
  Action("MnAll")->setEnabled(edit || viewer);
}

void TMessageListWindow::MnCutClick() {
  if (QLineEdit* edit = FocusedEdit()) edit->cut();
}

void TMessageListWindow::MnPasteClick() {
  if (QLineEdit* edit = FocusedEdit()) edit->paste();
}

void TMessageListWindow::MnClearClick() {
  if (QLineEdit* edit = FocusedEdit()) edit->del();
}

void TMessageListWindow::MnSaveClick() {
  std::string bytes;
  if (QLineEdit* edit = FocusedEdit())
    bytes = AnsiBytes(edit->selectedText());
  else if (msgText_->HasSelection())
    bytes = msgText_->GetSelectedText();
  else
    return;
  QFileDialog dialog(this, QStringLiteral("Сохранить как"));
  dialog.setObjectName("OpenDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string file = dialog.selectedFiles().first().toStdString();
  platform::Fd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd.ok()) {
    platform::GetPrompter().Error("Could not create file \"" + file + " !");
    return;
  }
  if (!platform::WriteAll(fd.get(), bytes))
    platform::GetPrompter().Error("Could not write to file \"" + file + " !");
}

void TMessageListWindow::E1Click() { toolbar_->Customize(); }

void TMessageListWindow::AbsenderknftigFiltern1Click() {
  TFilterList* filters = GetImportFilters();
  if (!area_ || !CurrentMail || !filters) return;
  const std::string from = CurrentMail->Header.FromName.Str();
  if (!platform::GetPrompter().Confirm("Area you sure you want to prevent receiving mail from  " +
                                       AnsiText(from).toStdString() + " in this " + "area ?"))
    return;
  std::string name;
  auto filter = SenderKillFilter(from, area_->Name, name);
  filters->AddFilter(name, std::move(filter));
}

void TMessageListWindow::Betreffknftigfiltern1Click() {
  TFilterList* filters = GetImportFilters();
  if (!area_ || !CurrentMail || !filters) return;
  const std::string subject = CurrentMail->Header.Subject.Str();
  if (!platform::GetPrompter().Confirm(
          "Area you sure you wanr to prevent Velmaris from receiving mail with the subject " +
          AnsiText(StripReplyMarker(subject)).toStdString() + " in this area ?"))
    return;
  std::string name;
  auto filter = SubjectKillFilter(subject, area_->Name, name);
  filters->AddFilter(name, std::move(filter));
}

void TMessageListWindow::CopyText() {
  if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
    edit->copy();
  else if (msgText_->HasSelection())
    msgText_->CopyToClipboard();
}

void TMessageListWindow::SelectAllText() {
  if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
    edit->selectAll();
  else
    msgText_->SelectAll();
}

// --- Events
// ----------------------------------------------------------------------------------------

void TMessageListWindow::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (!event->isAccepted()) return;
  closing_ = true;
  deleteLater();
}

bool TMessageListWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched == msgText_) {
    auto* key = static_cast<QKeyEvent*>(event);
    try {
      if (MsgTxtKeyDown(key->key(), key->modifiers())) return true;
    } catch (const std::exception& e) {
      platform::GetPrompter().Error(e.what());
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace velmaris
