#include "app/MessageEditor.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/KQMainWindow.h"
#include "app/ListBoxLink.h"
#include "app/SearchAndReplace.h"
#include "app/SearchAssistent.h"
#include "app/logic/EditorSave.h"
#include "app/logic/EditorText.h"
#include "app/logic/MsgText.h"
#include "core/AddressBook.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/Settings.h"
#include "core/TextGroups.h"
#include "core/WinLst.h"
#include "core/forms/ComboBoxLink.h"
#include "core/forms/FormText.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "widgets/BetterPlacement.h"
#include "widgets/DirBtn.h"
#include "widgets/IniStorages.h"
#include "widgets/ModalHook.h"
#include "widgets/SpeedBar.h"
#include "widgets/VxCheckListBox.h"
#include "widgets/VxColors.h"

namespace velmaris {

namespace {

std::vector<TMessageEditor*>& EditorList() {
  static std::vector<TMessageEditor*> editors;
  return editors;
}

constexpr const char* kDefaultOriginText = "Velmaris 95";
constexpr uint16_t kNewMessageFlags = EditorFlag::Send | EditorFlag::Editable;
// How long a save waits for an area that someone else has locked.
constexpr int kLockWaitMs = 15000;
constexpr int kMaxEditorChars = 1600000;
// A text file inserted into the text may be at most this long (the editor
// holds no more).
constexpr qint64 kMaxInsertSize = kMaxEditorChars;

TConfigStore* Store() { return GetConfigStore(); }

TMessageEditor::TNodelistPicker& NodelistPicker() {
  static TMessageEditor::TNodelistPicker picker;
  return picker;
}

// The borderless panel shown while a message is stored.
class TSavingPanel : public QFrame {
 public:
  TSavingPanel() : QFrame(nullptr, Qt::FramelessWindowHint | Qt::Tool) {
    setObjectName("TSaving");
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Сохраняю новую почту ..."), this);
    label->setObjectName("SavingText");
    layout->addWidget(label);
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->geometry().center() - rect().center());
    show();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
};

}  // namespace

// --- Creation and destruction ---------------------------------------------------

TMessageEditor::TMessageEditor(QWidget* owner) : QMainWindow(owner, Qt::Window) {
  setObjectName("MessageEditor");
  setAttribute(Qt::WA_DeleteOnClose);
  EditorList().push_back(this);
  mail_.Origin = kDefaultOriginText;
  BuildForm();
  if (TConfigStore* store = Store()) {
    areaLink_ = std::make_unique<TComboAttachment>(store->Areas(), WriteArea);
    receiverLink_ = std::make_unique<TComboAttachment>(store->AddressBook(), NewReceiver);
    groupLink_ = std::make_unique<TComboAttachment>(store->AddressGroups(), GroupChoice);
    SetAddresses(store->Uplinks());
  }
  WriteArea->setCurrentIndex(-1);
  prevAreaIndex_ = -1;
  SetMail(mail_);
  LoadLeftToolbar();
  LoadRightToolbar();
  ApplyEditorLook();
  // The editor font and colours follow the settings while the window lives.
  try {
    settingsSubscription_ = GetSettings().Subscribe(
        [this](const SettingsValues&, const std::vector<SettingId>& changed) {
          for (SettingId id : changed)
            if (id == SettingId::mrFe || id == SettingId::ColEdFG || id == SettingId::ColEdBG) {
              ApplyEditorLook();
              return;
            }
        });
  } catch (const ESettings&) {
    settingsSubscription_ = 0;
  }
  FillCopyAreas();
  wListLink_ = std::make_unique<TListBoxLink>(WList);
  WinLst().AttachListBox(wListLink_.get());
  placement_ = new TBetterPlacement(this, QStringLiteral("MessageEditor"));
  placement_->Loaded();
  saved_ = true;
}

TMessageEditor::~TMessageEditor() {
  std::erase(EditorList(), this);
  if (settingsSubscription_) {
    try {
      GetSettings().Unsubscribe(settingsSubscription_);
    } catch (const ESettings&) {
    }
  }
  ReleaseHeldArea();
  SaveLeftToolbar();
  SaveRightToolbar();
  groupLink_.reset();
  receiverLink_.reset();
  areaLink_.reset();
  WinLst().DetachListBox(wListLink_.get());
  WinLst().Remove(this);
}

const std::vector<TMessageEditor*>& TMessageEditor::OpenEditors() { return EditorList(); }

void TMessageEditor::FreeAll() {
  while (!EditorList().empty()) delete EditorList().back();
}

bool TMessageEditor::CloseAll() {
  const std::vector<TMessageEditor*> editors = EditorList();
  for (auto it = editors.rbegin(); it != editors.rend(); ++it)
    if (!(*it)->close()) return false;
  return true;
}

QAction* TMessageEditor::MakeAction(const char* name, const QString& caption,
                                    const QKeySequence& key) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QString::fromLatin1(name));
  if (!key.isEmpty()) {
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
  }
  addAction(action);
  return action;
}

void TMessageEditor::BuildForm() {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(2, 2, 2, 2);
  column->setSpacing(2);

  auto* top = new QWidget(central);
  top->setObjectName("TopPanel");
  auto* topRow = new QHBoxLayout(top);
  topRow->setContentsMargins(0, 0, 0, 0);
  BuildToolbars(top);
  column->addWidget(top);

  auto* fields = new QWidget(central);
  fields->setObjectName("HeaderPanel");
  BuildHeaderFields(fields);
  column->addWidget(fields);

  Editor = new QPlainTextEdit(central);
  Editor->setObjectName("Editor");
  Editor->setLineWrapMode(QPlainTextEdit::NoWrap);
  Editor->setTabChangesFocus(false);
  Editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Editor->installEventFilter(this);
  column->addWidget(Editor, 1);

  auto* copyPanel = new QWidget(central);
  BuildCopyPanel(copyPanel);
  column->addWidget(copyPanel);
  setCentralWidget(central);

  auto* bar = new QStatusBar(this);
  bar->setObjectName("StatusBar");
  LinePanel = new QLabel(bar);
  LinePanel->setObjectName("LinePanel");
  ColumnPanel = new QLabel(bar);
  ColumnPanel->setObjectName("ColumnPanel");
  FreePanel = new QLabel(bar);
  FreePanel->setObjectName("FreePanel");
  bar->addWidget(LinePanel);
  bar->addWidget(ColumnPanel);
  bar->addWidget(FreePanel, 1);
  setStatusBar(bar);

  BuildMenus();
  connect(Editor, &QPlainTextEdit::cursorPositionChanged, this,
          &TMessageEditor::EditorSelectionChange);
  connect(Editor, &QPlainTextEdit::textChanged, this, [this] {
    saved_ = false;
    EditorSelectionChange();
  });
  resize(760, 560);
}

void TMessageEditor::BuildToolbars(QWidget* panel) {
  auto* row = static_cast<QHBoxLayout*>(panel->layout());
  auto* splitter = new QSplitter(Qt::Horizontal, panel);
  splitter->setObjectName("ToolbarSplitter");
  struct Button {
    const char* action;
    const char* name;
    QString caption;
    QStyle::StandardPixmap icon;
    bool file;  // section "File", else "Clipboard"
  };
  const Button kButtons[] = {
      {"NeueMail1", "NewBtn", QStringLiteral("Новое"), QStyle::SP_FileIcon, true},
      {"SaveMail", "SaveBtn", QStringLiteral("Сохранить"), QStyle::SP_DialogSaveButton, true},
      {"Verwerfen", "CancelBtn", QStringLiteral("Отмена"), QStyle::SP_DialogCancelButton, true},
      {"MnCut", "CutBtn", QStringLiteral("Вырезать"), QStyle::SP_ArrowRight, false},
      {"MnCopy", "CopyBtn", QStringLiteral("Копировать"), QStyle::SP_FileDialogDetailedView, false},
      {"MnPaste", "PasteBtn", QStringLiteral("Вставить"), QStyle::SP_ArrowDown, false},
      {"MnClear", "DeleteBtn", QStringLiteral("Удалить"), QStyle::SP_TrashIcon, false},
  };
  // Both bars hold every button; the left one shows the file commands, the
  // right one the clipboard (the user rearranges them in the setup window).
  auto makeBar = [&](const char* name, const char* prefix, bool showFile) {
    auto* bar = new TSpeedBar(splitter);
    bar->setObjectName(name);
    bar->SetOptions(sbFlatBtns | sbGrayedBtns | sbTransparentBtns);
    bar->SetBevelOuter(TBevelCut::bvNone);
    bar->SetBtnWidth(60);
    bar->SetBtnHeight(43);
    const int file = bar->AddSection("File");
    const int clip = bar->AddSection("Clipboard");
    int left = bar->BtnOffsetHorz();
    for (const Button& b : kButtons) {
      auto* item = new TSpeedItem(this);
      item->setObjectName(QString::fromLatin1(prefix) + QString::fromLatin1(b.name));
      item->SetCaption(b.caption);
      item->SetBtnCaption(b.caption);
      item->SetGlyph(style()->standardIcon(b.icon).pixmap(16, 16));
      bar->AddItem(b.file ? file : clip, item);
      const QString action = QString::fromLatin1(b.action);
      connect(item, &TSpeedItem::clicked, this, [this, action] {
        if (QAction* a = findChild<QAction*>(action)) a->trigger();
      });
      item->SetBounds(left, bar->BtnOffsetVert());
      const bool visible = b.file == showFile;
      item->SetVisible(visible);
      if (visible) left += bar->BtnWidth();
    }
    bar->setMinimumHeight(bar->BtnHeight() + 4);
    bar->setContextMenuPolicy(Qt::CustomContextMenu);
    return bar;
  };
  LeftSB = makeBar("LeftSB", "L", true);
  auto* areaBox = new QWidget(splitter);
  auto* areaRow = new QVBoxLayout(areaBox);
  areaRow->setContentsMargins(4, 2, 4, 2);
  auto* areaLabel = new QLabel(QStringLiteral("Область:"), areaBox);
  WriteArea = new TEnhComboBox(areaBox);
  WriteArea->setObjectName("WriteArea");
  WriteArea->SetExtendedDraw(true);
  WriteArea->setMaxVisibleItems(25);
  areaRow->addWidget(areaLabel);
  areaRow->addWidget(WriteArea);
  areaRow->addStretch(1);
  RightSB = makeBar("RightSB", "R", false);
  splitter->addWidget(LeftSB);
  splitter->addWidget(areaBox);
  splitter->addWidget(RightSB);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({leftWidth_, 240, rightWidth_});
  connect(splitter, &QSplitter::splitterMoved, this, [this] {
    leftWidth_ = LeftSB->width();
    rightWidth_ = RightSB->width();
  });
  row->addWidget(splitter);
  connect(WriteArea, &QComboBox::currentIndexChanged, this, [this] {
    if (!changingArea_) WriteAreaChange();
  });
}

void TMessageEditor::BuildHeaderFields(QWidget* panel) {
  auto* grid = new QVBoxLayout(panel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(2);
  auto row = [&](const QString& caption) {
    auto* line = new QHBoxLayout;
    auto* label = new QLabel(caption, panel);
    label->setMinimumWidth(70);
    line->addWidget(label);
    grid->addLayout(line);
    return line;
  };
  QHBoxLayout* from = row(QStringLiteral("От:"));
  NewSender = new QComboBox(panel);
  NewSender->setObjectName("NewSender");
  NewSender->setEditable(true);
  NewSenderAddress = new QComboBox(panel);
  NewSenderAddress->setObjectName("NewSenderAddress");
  NewSenderAddress->setEditable(true);
  from->addWidget(NewSender, 2);
  from->addWidget(NewSenderAddress, 1);

  QHBoxLayout* to = row(QStringLiteral("Кому:"));
  NewReceiver = new QComboBox(panel);
  NewReceiver->setObjectName("NewReceiver");
  NewReceiver->setEditable(true);
  NewReceiver->setInsertPolicy(QComboBox::NoInsert);
  GroupChoice = new QComboBox(panel);
  GroupChoice->setObjectName("GroupChoice");
  NewReceiverAddress = new QLineEdit(panel);
  NewReceiverAddress->setObjectName("NewReceiverAddress");
  LookupReceiver = new QPushButton(QStringLiteral("?"), panel);
  LookupReceiver->setObjectName("LookupReceiver");
  LookupReceiver->setMaximumWidth(28);
  LookupReceiver->setEnabled(static_cast<bool>(NodelistPicker()));
  ChooseReceiver = new QToolButton(panel);
  ChooseReceiver->setObjectName("ChooseReceiver");
  ChooseReceiver->setPopupMode(QToolButton::InstantPopup);
  ChooseReceiver->setText(QStringLiteral("▼"));
  auto* kind = new QMenu(ChooseReceiver);
  kind->setObjectName("ReceiverKind");
  Einzelperson = kind->addAction(QStringLiteral("Одному"));
  Einzelperson->setObjectName("Einzelperson");
  Gruppe = kind->addAction(QStringLiteral("Списку"));
  Gruppe->setObjectName("Gruppe");
  for (QAction* a : {Einzelperson, Gruppe}) a->setCheckable(true);
  auto* kinds = new QActionGroup(kind);
  kinds->addAction(Einzelperson);
  kinds->addAction(Gruppe);
  Einzelperson->setChecked(true);
  ChooseReceiver->setMenu(kind);
  LabelRec = new QLabel(QStringLiteral("   "), panel);
  LabelRec->setObjectName("LabelRec");
  to->addWidget(ChooseReceiver);
  to->addWidget(LabelRec);
  to->addWidget(NewReceiver, 2);
  to->addWidget(GroupChoice, 2);
  to->addWidget(NewReceiverAddress, 1);
  to->addWidget(LookupReceiver);

  QHBoxLayout* subject = row(QStringLiteral("Тема:"));
  NewSubject = new QLineEdit(panel);
  NewSubject->setObjectName("NewSubject");
  subject->addWidget(NewSubject);

  OriginContainer = new QWidget(panel);
  OriginContainer->setObjectName("OriginContainer");
  auto* originRow = new QHBoxLayout(OriginContainer);
  originRow->setContentsMargins(0, 0, 0, 0);
  auto* originLabel = new QLabel(QStringLiteral("Ориджин:"), OriginContainer);
  originLabel->setMinimumWidth(70);
  NewOrigin = new QComboBox(OriginContainer);
  NewOrigin->setObjectName("NewOrigin");
  NewOrigin->setEditable(true);
  originRow->addWidget(originLabel);
  originRow->addWidget(NewOrigin, 1);
  grid->addWidget(OriginContainer);

  auto* flags = new QHBoxLayout;
  auto flag = [&](QCheckBox*& box, const char* name, const QString& caption) {
    box = new QCheckBox(caption, panel);
    box->setObjectName(name);
    flags->addWidget(box);
    connect(box, &QCheckBox::clicked, this, [this, box] { FlagClicked(box); });
  };
  flag(F_Send, "F_Send", QStringLiteral("Отправить"));
  flag(F_Sent, "F_Sent", QStringLiteral("Отправлено"));
  flag(F_Kill, "F_Kill", QStringLiteral("Удалить"));
  flag(F_Crash, "F_Crash", QStringLiteral("Крэш"));
  flag(F_Attach, "F_Attach", QStringLiteral("Файл"));
  flag(F_Request, "F_Request", QStringLiteral("Запрос"));
  F_Kill->setEnabled(false);
  flags->addStretch(1);
  grid->addLayout(flags);

  connect(NewOrigin, &QComboBox::editTextChanged, this, &TMessageEditor::NewOriginChange);
  connect(NewSubject, &QLineEdit::textChanged, this, &TMessageEditor::NewSubjectChange);
  connect(NewSubject, &QLineEdit::textEdited, this, [this] { saved_ = false; });
  connect(NewSender, &QComboBox::editTextChanged, this, &TMessageEditor::NewSenderChange);
  connect(NewSenderAddress, &QComboBox::editTextChanged, this,
          &TMessageEditor::NewSenderAddressChange);
  connect(NewReceiver, &QComboBox::editTextChanged, this, &TMessageEditor::NewReceiverChange);
  connect(NewReceiver, &QComboBox::activated, this, &TMessageEditor::NewReceiverChange);
  connect(NewReceiverAddress, &QLineEdit::textChanged, this,
          &TMessageEditor::NewReceiverAddressChange);
  connect(NewReceiverAddress, &QLineEdit::editingFinished, this,
          &TMessageEditor::NewReceiverAddressChange);
  connect(LookupReceiver, &QPushButton::clicked, this, &TMessageEditor::LookupReceiverClick);
  connect(kinds, &QActionGroup::triggered, this, &TMessageEditor::ReceiverKindChanged);
  NewReceiver->installEventFilter(this);
}

void TMessageEditor::BuildCopyPanel(QWidget* panel) {
  CopyContainer = panel;
  panel->setObjectName("CopyContainer");
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);
  auto* head = new QHBoxLayout;
  auto* caption = new QLabel(QStringLiteral("Копии:"), panel);
  CopyText = new QLabel(QStringLiteral("None"), panel);
  CopyText->setObjectName("CopyText");
  ShowCopy = new QPushButton(QStringLiteral("Показать"), panel);
  ShowCopy->setObjectName("ShowCopy");
  HideCopy = new QPushButton(QStringLiteral("Скрыть"), panel);
  HideCopy->setObjectName("HideCopy");
  HideCopy->hide();
  head->addWidget(caption);
  head->addWidget(CopyText, 1);
  head->addWidget(ShowCopy);
  head->addWidget(HideCopy);
  column->addLayout(head);
  auto* body = new QHBoxLayout;
  CopyAreas = new TVxCheckListBox(panel);
  CopyAreas->setObjectName("CopyAreas");
  auto* destBox = new QVBoxLayout;
  destBox->addWidget(new QLabel(QStringLiteral("Кому:"), panel));
  CopyDest = new QLineEdit(QStringLiteral("All"), panel);
  CopyDest->setObjectName("CopyDest");
  destBox->addWidget(CopyDest);
  destBox->addStretch(1);
  WList = new QListWidget(panel);
  WList->setObjectName("WList");
  body->addWidget(CopyAreas, 2);
  body->addLayout(destBox, 1);
  body->addWidget(WList, 1);
  auto* bodyWidget = new QWidget(panel);
  bodyWidget->setObjectName("CopyBody");
  bodyWidget->setLayout(body);
  bodyWidget->hide();
  column->addWidget(bodyWidget);
  connect(CopyAreas, &TVxCheckListBox::clickCheck, this, &TMessageEditor::CopyAreasClickCheck);
  connect(CopyAreas, &TVxCheckListBox::stateChange, this, &TMessageEditor::CopyAreasClickCheck);
  connect(ShowCopy, &QPushButton::clicked, this, &TMessageEditor::ShowCopyClick);
  connect(HideCopy, &QPushButton::clicked, this, &TMessageEditor::HideCopyClick);
  connect(WList, &QListWidget::itemDoubleClicked, this, &TMessageEditor::WListDblClick);
}

void TMessageEditor::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&Сообщение"));
  file->setObjectName("Datei1");
  auto add = [&](QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                 auto handler) {
    QAction* action = MakeAction(name, caption, key);
    menu->addAction(action);
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  add(file, "NeueMail1", QStringLiteral("&Новое сообщение"), QKeySequence(Qt::CTRL | Qt::Key_N),
      [this] { NeueMail1Click(); });
  file->addSeparator();
  add(file, "SpeichernundneueMail1", QStringLiteral("Сохранить и &новое"), {},
      [this] { SpeichernundneueMail1Click(); });
  add(file, "SpeichernohneEnde1", QStringLiteral("Сохранить и новый &получатель"), {},
      [this] { SpeichernohneEnde1Click(); });
  add(file, "SaveMail", QStringLiteral("&Сохранить"), QKeySequence(Qt::CTRL | Qt::Key_D),
      [this] { SaveMailClick(); });
  add(file, "Verwerfen", QStringLiteral("&Отменить"), QKeySequence(Qt::CTRL | Qt::Key_Delete),
      [this] { VerwerfenClick(); });
  file->addSeparator();
  add(file, "InsertASCII", QStringLiteral("Вставить текстовый файл (&OEM)..."),
      QKeySequence(Qt::CTRL | Qt::Key_I), [this] { InsertTextFile(true); });
  add(file, "TextdateiANSIeinfgen1", QStringLiteral("Вставить текстовый файл (&ANSI)..."),
      QKeySequence(Qt::CTRL | Qt::Key_A), [this] { InsertTextFile(false); });
  add(file, "BinrdateiUUEncoden1", QStringLiteral("Вставить &UUE файл..."),
      QKeySequence(Qt::CTRL | Qt::Key_U), [this] { BinrdateiUUEncoden1Click(); });

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Правка"));
  edit->setObjectName("Bearbeiten1");
  add(edit, "Undo1", QStringLiteral("&Отменить"), QKeySequence(Qt::CTRL | Qt::Key_Z),
      [this] { Undo1Click(); });
  edit->addSeparator();
  auto onFocused = [this](auto op) {
    return [this, op] {
      QWidget* w = QApplication::focusWidget();
      if (auto* text = qobject_cast<QPlainTextEdit*>(w))
        op(text);
      else if (auto* line = qobject_cast<QLineEdit*>(w))
        op(line);
    };
  };
  add(edit, "MnCut", QStringLiteral("&Вырезать"), QKeySequence(Qt::CTRL | Qt::Key_X),
      onFocused([](auto* w) { w->cut(); }));
  add(edit, "MnCopy", QStringLiteral("&Копировать"), QKeySequence(Qt::CTRL | Qt::Key_C),
      onFocused([](auto* w) { w->copy(); }));
  add(edit, "MnPaste", QStringLiteral("Вст&авить"), QKeySequence(Qt::CTRL | Qt::Key_V),
      onFocused([](auto* w) { w->paste(); }));
  add(edit, "MnClear", QStringLiteral("&Удалить"), {}, onFocused([](auto* w) {
        if constexpr (std::is_same_v<decltype(w), QPlainTextEdit*>)
          w->textCursor().removeSelectedText();
        else
          w->del();
      }));
  add(edit, "MnAll", QStringLiteral("Выделить &всё"), {},
      onFocused([](auto* w) { w->selectAll(); }));
  edit->addSeparator();
  add(edit, "Zeilelschen1", QStringLiteral("Удалить &строку"), QKeySequence(Qt::CTRL | Qt::Key_Y),
      [this] { Zeilelschen1Click(); });
  add(edit, "Quotesneuumbrechen1", QStringLiteral("Переформатировать &цитаты"),
      QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { Quotesneuumbrechen1Click(); });
  add(edit, "Rot131", QStringLiteral("ROT-&13"), QKeySequence(Qt::CTRL | Qt::Key_O),
      [this] { Rot131Click(); });
  edit->addSeparator();
  add(edit, "Suchen2", QStringLiteral("&Найти..."), QKeySequence(Qt::CTRL | Qt::Key_F),
      [this] { Suchen2Click(); });
  add(edit, "Weitersuchen1", QStringLiteral("Найти &далее"), QKeySequence(Qt::Key_F3),
      [this] { Weitersuchen1Click(); });
  add(edit, "Ersetzen1", QStringLiteral("&Заменить..."), QKeySequence(Qt::CTRL | Qt::Key_R),
      [this] { Ersetzen1Click(); });
  connect(edit, &QMenu::aboutToShow, this, [this] {
    // Cut, copy and delete need selected text in the focused edit, paste
    // needs text on the clipboard; nothing without a focused edit.
    QWidget* w = QApplication::focusWidget();
    auto* text = qobject_cast<QPlainTextEdit*>(w);
    auto* line = qobject_cast<QLineEdit*>(w);
    const bool isEdit = text || line;
    const bool selected =
        text ? text->textCursor().hasSelection() : line && line->hasSelectedText();
    const bool clip = !QGuiApplication::clipboard()->text().isEmpty();
    for (const char* name : {"MnCut", "MnCopy", "MnClear"})
      findChild<QAction*>(name)->setEnabled(isEdit && selected);
    findChild<QAction*>("MnPaste")->setEnabled(isEdit && clip);
    findChild<QAction*>("MnAll")->setEnabled(isEdit);
  });
  connect(edit, &QMenu::aboutToHide, this, [this] {
    for (const char* name : {"MnCut", "MnCopy", "MnPaste", "MnClear", "MnAll"})
      findChild<QAction*>(name)->setEnabled(true);
  });

  QMenu* windows = menuBar()->addMenu(QStringLiteral("&Окна"));
  windows->setObjectName("Fenster1");
  auto bringUp = [](QWidget* w) {
    if (!w) return;
    w->showNormal();
    w->raise();
    w->activateWindow();
  };
  add(windows, "Arealiste1", QStringLiteral("Список &областей"), {},
      [bringUp] { bringUp(GetMainWindow()); });
  add(windows, "Suchen1", QStringLiteral("&Поиск"), {}, [bringUp] {
    if (TKQMainWindow* main = GetMainWindow()) bringUp(main->SearchWindow());
  });
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Помощь"));
  help->setObjectName("Hilfe2");
  add(help, "Hilfe1", QStringLiteral("&Помощь"), QKeySequence(Qt::Key_F1), [] {});

  // The text pop-up menu.
  Editor->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Editor, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    QMenu menu(this);
    menu.setObjectName("EditorPopup");
    auto item = [&](const char* name, const QString& caption, auto op) {
      QAction* a = menu.addAction(caption);
      a->setObjectName(name);
      connect(a, &QAction::triggered, this, op);
    };
    item("Undo2", QStringLiteral("Отменить"), [this] { Undo1Click(); });
    menu.addSeparator();
    item("Cut1", QStringLiteral("Вырезать"), [this] { Editor->cut(); });
    item("Copy1", QStringLiteral("Копировать"), [this] { Editor->copy(); });
    item("Paste1", QStringLiteral("Вставить"), [this] { Editor->paste(); });
    item("Lschen1", QStringLiteral("Удалить"),
         [this] { Editor->textCursor().removeSelectedText(); });
    menu.addSeparator();
    item("Rot132", QStringLiteral("ROT-13"), [this] { Rot131Click(); });
    ExecPopupMenu(menu, Editor->mapToGlobal(pos));
  });
  // The toolbar pop-ups: customise, load and save the layout.
  for (TSpeedBar* bar : {LeftSB, RightSB}) {
    const bool left = bar == LeftSB;
    connect(bar, &QWidget::customContextMenuRequested, this, [this, bar, left](const QPoint& pos) {
      QMenu menu(this);
      menu.setObjectName(left ? "LeftSBPopup" : "RightSBPopup");
      QAction* custom = menu.addAction(QStringLiteral("Настроить..."));
      custom->setObjectName(left ? "Eigenschaften1" : "MenuItem1");
      connect(custom, &QAction::triggered, bar, [bar] { bar->Customize(); });
      QAction* load = menu.addAction(QStringLiteral("Загрузить раскладку"));
      load->setObjectName(left ? "Layoutladen1" : "MenuItem3");
      connect(load, &QAction::triggered, this,
              [this, left] { left ? LoadLeftToolbar() : LoadRightToolbar(); });
      QAction* save = menu.addAction(QStringLiteral("Сохранить раскладку"));
      save->setObjectName(left ? "Layoutspeichern1" : "MenuItem4");
      connect(save, &QAction::triggered, this,
              [this, left] { left ? SaveLeftToolbar() : SaveRightToolbar(); });
      ExecPopupMenu(menu, bar->mapToGlobal(pos));
    });
  }
}

void TMessageEditor::ApplyEditorLook() {
  Settings* settings = nullptr;
  try {
    settings = &GetSettings();
  } catch (const ESettings&) {
    return;
  }
  const std::shared_ptr<const SettingsValues> values = settings->Snapshot();
  Editor->setFont(FontOf(values->Font(SettingId::mrFe), Editor->font()));
  QPalette palette = Editor->palette();
  palette.setColor(QPalette::Base,
                   ToQColor(static_cast<TColor>(values->Number(SettingId::ColEdBG)), palette));
  palette.setColor(QPalette::Text,
                   ToQColor(static_cast<TColor>(values->Number(SettingId::ColEdFG)), palette));
  Editor->setPalette(palette);
}

void TMessageEditor::FillCopyAreas() {
  CopyAreas->ClearItems();
  TConfigStore* store = Store();
  if (!store) return;
  for (TArea* area : store->Areas().Areas()) {
    if (area &&
        (area->AreaType == AreaTypeCode::Echomail || area->AreaType == AreaTypeCode::Newsgroup) &&
        !area->IsSeparator())
      CopyAreas->AddItem(AnsiText(area->Name));
  }
  CopyAreasClickCheck();
}

// --- Properties -----------------------------------------------------------------

TKQMail& TMessageEditor::Mail() {
  mail_.AssignText(header_);
  mail_.Area = SelectedArea();
  mail_.OrigAddr.SetText(origAddress_);
  mail_.DestAddr.SetText(destAddress_);
  mail_.FromName = origName_;
  mail_.ToName = destName_;
  mail_.Subject = subject_;
  mail_.Origin = origin_;
  mail_.Flags = Flags();
  if (TConfigStore* store = Store()) {
    mail_.Config = store->Values();
    mail_.Uplinks = &store->Uplinks();
  }
  const TAreaTextRules rules = mail_.Area ? TextRulesOf(*mail_.Area) : TAreaTextRules{};
  for (std::string& line : EditorTextToMailLines(AnsiBytes(Editor->toPlainText()), rules))
    mail_.Text.push_back(std::move(line));
  return mail_;
}

void TMessageEditor::SetMail(const TKQMail& mail) {
  if (&mail != &mail_) mail_.Assign(mail);
  SetLines(mail_.Text);
  int index = -1;
  if (mail_.Area && Store()) index = Store()->Areas().IndexOf(mail_.Area);
  changingArea_ = true;
  WriteArea->setCurrentIndex(index);
  changingArea_ = false;
  if (index >= 0) WriteAreaChange();
  SetOrigAddress(mail_.OrigAddr.Text4D());
  SetDestAddress(mail_.DestAddr.Text4D());
  SetOrigName(mail_.FromName);
  SetDestName(mail_.ToName);
  SetOrigin(mail_.Origin);
  SetSubject(mail_.Subject);
  SetFlags(mail_.Flags);
  saved_ = true;
}

int TMessageEditor::AreaIndex() const { return WriteArea->currentIndex(); }

void TMessageEditor::SetAreaIndex(int index) {
  changingArea_ = true;
  WriteArea->setCurrentIndex(index);
  changingArea_ = false;
  WriteAreaChange();
}

bool TMessageEditor::AllowAreaChange() const { return WriteArea->isEnabled(); }
void TMessageEditor::SetAllowAreaChange(bool allow) { WriteArea->setEnabled(allow); }

std::vector<std::string> TMessageEditor::Lines() const {
  return SplitEditorText(AnsiBytes(Editor->toPlainText()));
}

void TMessageEditor::SetLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  Editor->setPlainText(AnsiText(text));
}

void TMessageEditor::SetDefaultAddress(bool value) {
  defaultAddress_ = value;
  TArea* area = SelectedArea();
  const TNetLink* uplink = area ? area->Uplink : nullptr;
  if (!uplink && uplinks_.GetCount() > 0) uplink = uplinks_.GetItem(0);
  if (uplink) SetOrigAddress(uplink->SysopAddress.Text4D());
  NewSenderAddress->setEnabled(!value);
}

uint16_t TMessageEditor::Flags() const {
  uint16_t flags = hiddenEditable_ ? EditorFlag::Editable : 0;
  const std::pair<QCheckBox*, uint16_t> boxes[] = {
      {F_Send, EditorFlag::Send},     {F_Sent, EditorFlag::Sent},
      {F_Kill, EditorFlag::Kill},     {F_Crash, EditorFlag::Crash},
      {F_Attach, EditorFlag::Attach}, {F_Request, EditorFlag::Request}};
  for (const auto& [box, bit] : boxes)
    if (box->isChecked()) flags |= bit;
  return flags;
}

void TMessageEditor::SetFlags(uint16_t flags) {
  F_Send->setChecked(flags & EditorFlag::Send);
  F_Sent->setChecked(flags & EditorFlag::Sent);
  F_Kill->setChecked(flags & EditorFlag::Kill);
  F_Crash->setChecked(flags & EditorFlag::Crash);
  F_Attach->setChecked(flags & EditorFlag::Attach);
  F_Request->setChecked(flags & EditorFlag::Request);
  hiddenEditable_ = flags & EditorFlag::Editable;
  if (flags & (EditorFlag::Crash | EditorFlag::Attach | EditorFlag::Request)) ForceNetmail();
}

void TMessageEditor::SetOrigin(const std::string& text) {
  NewOrigin->setEditText(AnsiText(text));
  origin_ = text;
}

void TMessageEditor::SetOrigName(const std::string& text) {
  NewSender->setEditText(AnsiText(text));
  origName_ = text;
}

void TMessageEditor::SetOrigAddress(const std::string& text) {
  NewSenderAddress->setEditText(AnsiText(text));
  origAddress_ = text;
}

void TMessageEditor::SetDestName(const std::string& text) {
  NewReceiver->setEditText(AnsiText(text));
  destName_ = text;
}

void TMessageEditor::SetDestAddress(const std::string& text) {
  NewReceiverAddress->setText(AnsiText(text));
  destAddress_ = text;
}

void TMessageEditor::SetSubject(const std::string& text) {
  NewSubject->setText(AnsiText(text));
  subject_ = text;
}

void TMessageEditor::SetOrigins(const std::vector<std::string>& origins) {
  origins_ = origins;
  const QString current = NewOrigin->currentText();
  NewOrigin->clear();
  for (const std::string& origin : origins_) NewOrigin->addItem(AnsiText(origin));
  NewOrigin->setEditText(current);
}

void TMessageEditor::SetAddresses(const TLinkList& uplinks) {
  uplinks_.Clear();
  const QString sender = NewSender->currentText();
  const QString address = NewSenderAddress->currentText();
  NewSender->clear();
  NewSenderAddress->clear();
  for (int i = 0; i < uplinks.GetCount(); ++i) {
    TNetLink* link = uplinks.GetItem(i);
    if (!link) continue;
    uplinks_.Add(uplinks.GetString(i), link);
    NewSender->addItem(AnsiText(link->Sysop));
    NewSenderAddress->addItem(AnsiText(link->SysopAddress.Text4D()));
  }
  NewSender->setEditText(sender);
  NewSenderAddress->setEditText(address);
}

// --- Change handlers -------------------------------------------------------------

void TMessageEditor::NewOriginChange() { origin_ = AnsiBytes(NewOrigin->currentText()); }
void TMessageEditor::NewSubjectChange() { subject_ = AnsiBytes(NewSubject->text()); }
void TMessageEditor::NewSenderChange() { origName_ = AnsiBytes(NewSender->currentText()); }
void TMessageEditor::NewSenderAddressChange() {
  origAddress_ = AnsiBytes(NewSenderAddress->currentText());
}

void TMessageEditor::NewReceiverChange() {
  destName_ = AnsiBytes(NewReceiver->currentText());
  TConfigStore* store = Store();
  const int index = NewReceiver->currentIndex();
  if (!store || index < 0 || index >= store->AddressBook().GetCount()) return;
  const TFriend* entry = store->AddressBook().GetFriend(index);
  if (!entry || destName_ != entry->GetName()) return;
  SetDestAddress(entry->Address().Text4D());
  NewReceiverAddressChange();
  std::string name = entry->GetName();
  if (!entry->GetEMail().empty()) name += " <" + entry->GetEMail() + ">";
  const QSignalBlocker block(NewReceiver);
  SetDestName(name);
}

void TMessageEditor::NewReceiverAddressChange() {
  destAddress_ = AnsiBytes(NewReceiverAddress->text());
  if (defaultAddress_) return;
  const std::optional<TFidoAddr> dest = ParseFidoAddress(destAddress_);
  if (!dest) return;
  if (const TNetLink* own = BestOwnUplink(uplinks_, *dest))
    SetOrigAddress(own->SysopAddress.Text4D());
}

void TMessageEditor::NewReceiverExit() {
  const QSignalBlocker block(NewReceiver);
  NewReceiver->setEditText(AnsiText(destName_));
  NewReceiverAddressChange();
}

void TMessageEditor::FlagClicked(QCheckBox* box) {
  saved_ = false;
  if (box == F_Attach && F_Attach->isChecked()) {
    F_Request->setChecked(false);
    QFileDialog dialog(this, QStringLiteral("Файл для отправки"));
    dialog.setObjectName("AttachDialog");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QString current = NewSubject->text();
    if (!current.isEmpty() && platform::FileExists(AnsiBytes(current))) dialog.selectFile(current);
    if (ExecModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      SetSubject(AnsiBytes(dialog.selectedFiles().front().left(260)));
  }
  if (box == F_Request && F_Request->isChecked()) F_Attach->setChecked(false);
  if ((box == F_Crash || box == F_Attach || box == F_Request) && box->isChecked()) ForceNetmail();
}

void TMessageEditor::ForceNetmail() {
  TConfigStore* store = Store();
  if (!store) return;
  const int index = store->Areas().IndexOfName(kNetmailAreaName);
  if (index >= 0 && index != WriteArea->currentIndex()) SetAreaIndex(index);
}

void TMessageEditor::ReceiverKindChanged() { WriteAreaChange(); }

void TMessageEditor::CopyAreasClickCheck() {
  int checked = 0;
  for (int i = 0; i < CopyAreas->Count(); ++i) checked += CopyAreas->Checked(i);
  CopyText->setText(checked > 0 ? QStringLiteral("In %1 Areas").arg(checked)
                                : QStringLiteral("None"));
}

void TMessageEditor::ShowCopyClick() {
  if (auto* body = CopyContainer->findChild<QWidget*>("CopyBody")) {
    body->show();
    body->setFixedHeight(150 - CopyText->sizeHint().height());
  }
  ShowCopy->hide();
  HideCopy->show();
}

void TMessageEditor::HideCopyClick() {
  if (auto* body = CopyContainer->findChild<QWidget*>("CopyBody")) body->hide();
  HideCopy->hide();
  ShowCopy->show();
}

void TMessageEditor::EditorSelectionChange() {
  const QTextCursor cursor = Editor->textCursor();
  const QTextBlock block = Editor->document()->findBlock(cursor.selectionStart());
  curLine_ = block.blockNumber();
  curColumn_ = cursor.selectionStart() + 1 - block.position();
  LinePanel->setText(QStringLiteral("Line: %1").arg(curLine_ + 1));
  ColumnPanel->setText(QStringLiteral("Column: %1").arg(curColumn_));
}

void TMessageEditor::SetNodelistPicker(TNodelistPicker picker) {
  NodelistPicker() = std::move(picker);
  for (TMessageEditor* editor : EditorList())
    editor->LookupReceiver->setEnabled(static_cast<bool>(NodelistPicker()));
}

void TMessageEditor::LookupReceiverClick() {
  if (!NodelistPicker()) return;
  std::string name, address;
  if (!NodelistPicker()(this, AnsiBytes(NewReceiver->currentText()), name, address)) return;
  SetDestAddress(address);
  SetDestName(name);
  NewReceiverChange();
  NewReceiverAddressChange();
}

void TMessageEditor::WListDblClick() {
  const int row = WList->currentRow();
  if (row < 0 || row >= WinLst().GetCount()) return;
  if (auto* window = dynamic_cast<QWidget*>(WinLst().GetItem(row))) {
    window->showNormal();
    window->raise();
    window->activateWindow();
  }
}

// --- Area change -------------------------------------------------------------------

TArea* TMessageEditor::SelectedArea() const {
  TConfigStore* store = Store();
  const int index = WriteArea->currentIndex();
  if (!store || index < 0 || index >= store->Areas().GetCount()) return nullptr;
  TArea* area = store->Areas().GetItem(index);
  return area && !area->IsSeparator() ? area : nullptr;
}

void TMessageEditor::WriteAreaChange() {
  const int current = WriteArea->currentIndex();
  if (current < 0) {
    RenewCaption();
    return;
  }
  GuardForbiddenEntry();
  TArea* area = SelectedArea();
  const int type = area ? area->AreaType : -1;
  const bool netmail = type == AreaTypeCode::Netmail;
  const bool group = netmail && Gruppe->isChecked();
  const bool fido = type == AreaTypeCode::Echomail || type == AreaTypeCode::Badmail ||
                    type == AreaTypeCode::Dupes || netmail || type == AreaTypeCode::Storage;
  LookupReceiver->setVisible(fido && !group);
  NewSenderAddress->setVisible(fido);
  NewReceiver->setVisible(!group);
  NewReceiverAddress->setVisible(netmail && !group);
  OriginContainer->setVisible(type == AreaTypeCode::Echomail || type == AreaTypeCode::Storage);
  if (netmail) {
    defaultAddress_ = false;
    NewSenderAddress->setEnabled(true);
    ChooseReceiver->setVisible(true);
    LabelRec->setVisible(false);
    GroupChoice->setVisible(group);
    NewReceiverAddressChange();
  } else {
    for (QCheckBox* box : {F_Attach, F_Crash, F_Request}) box->setChecked(false);
    SetDefaultAddress(true);
    ChooseReceiver->setVisible(false);
    LabelRec->setVisible(true);
    GroupChoice->setVisible(false);
  }
  if (isVisible()) Editor->setFocus();
  RenewCaption();
}

bool TMessageEditor::GuardForbiddenEntry() {
  const int current = WriteArea->currentIndex();
  std::vector<std::string> names;
  for (int i = 0; i < WriteArea->count(); ++i) names.push_back(AnsiBytes(WriteArea->itemText(i)));
  const int allowed = SkipForbiddenAreas(names, prevAreaIndex_, current);
  if (allowed != current) {
    changingArea_ = true;
    WriteArea->setCurrentIndex(allowed);
    changingArea_ = false;
  }
  prevAreaIndex_ = WriteArea->currentIndex();
  return allowed != current;
}

void TMessageEditor::RenewCaption() {
  TArea* area = SelectedArea();
  const QString caption = area ? QStringLiteral("Message editor for area ") + AnsiText(area->Name)
                               : QStringLiteral("Message editor without area");
  setWindowTitle(caption);
  TWinLst& list = WinLst();
  const int index = list.IndexOfObject(this);
  if (index < 0)
    list.Add(AnsiBytes(caption), this);
  else
    list.SetString(index, AnsiBytes(caption));
}

// --- New message and saving ----------------------------------------------------------

void TMessageEditor::ResetReceiver() {
  TArea* area = SelectedArea();
  const bool netmail = area && area->AreaType == AreaTypeCode::Netmail;
  SetDestName(netmail ? "<>" : "All");
  SetDestAddress("0:0/0");
}

void TMessageEditor::NeueMail1Click() {
  ResetReceiver();
  SetSubject("<No Subject!>");
  SetFlags(kNewMessageFlags);
  SetOrigin(origins_.empty() ? std::string(kDefaultOriginText) : origins_.front());
  std::vector<std::string> lines;
  TArea* area = SelectedArea();
  TConfigStore* store = Store();
  if (area && store && area->TextGroup >= 0 && area->TextGroup < store->TextGroups().GetCount()) {
    if (const TTextGroup* group = store->TextGroups().GetItem(area->TextGroup)) {
      lines = group->NewHeader;
      lines.insert(lines.end(), group->NewFooter.begin(), group->NewFooter.end());
    }
  }
  SetLines(lines);
  modifies_ = -1;
  saved_ = true;
}

bool TMessageEditor::SubjectValid() {
  platform::Prompter& prompter = platform::GetPrompter();
  if (AnsiBytes(NewSubject->text()).empty()) {
    prompter.Warn("Please enter s subject for this message");
    NewSubject->setFocus();
    return false;
  }
  if (Einzelperson->isChecked() && AnsiBytes(NewReceiver->currentText()).empty()) {
    prompter.Warn("Please enter a receiver for this message");
    NewReceiver->setFocus();
    return false;
  }
  if (Gruppe->isChecked() && GroupChoice->currentIndex() < 0) {
    prompter.Warn("Please select an address list for this message");
    GroupChoice->setFocus();
    return false;
  }
  return true;
}

bool TMessageEditor::SaveMail() {
  if (!SubjectValid()) return false;
  TConfigStore* store = Store();
  TEditorSaveJob job;
  job.Target = SelectedArea();
  job.Modifies = modifies_;
  job.HeldArea = heldArea_;
  job.ReplyNumber = replyNumber_;
  job.ReplyMsgId = replyMsgId_;
  job.BuildMail = [this](TKQMail& mail) { mail.Assign(Mail()); };
  const bool netmail = job.Target && job.Target->AreaType == AreaTypeCode::Netmail;
  if (netmail && Gruppe->isChecked() && store) {
    const int group = GroupChoice->currentIndex();
    if (group >= 0 && group < store->AddressGroups().GetCount())
      job.Group = store->AddressGroups().GetGroup(group);
  }
  job.Uplinks = &uplinks_;
  for (int i = 0; i < CopyAreas->Count(); ++i)
    if (CopyAreas->Checked(i)) job.CopyAreas.push_back(AnsiBytes(CopyAreas->item(i)->text()));
  job.CopyDest = AnsiBytes(CopyDest->text());
  job.Areas = store ? &store->Areas() : nullptr;
  QElapsedTimer waited;
  waited.start();
  job.LockWaitOver = [&waited] { return waited.elapsed() > kLockWaitMs; };

  TEditorSaveResult result;
  {
    TSavingPanel panel;
    result = SaveEditorMail(job, platform::GetPrompter());
  }
  if (result.HeldReleased) heldArea_ = nullptr;
  if (result.Stored) modifies_ = -1;
  lastSaveError_ = result.Error;
  if (!result.Error.empty())
    platform::GetPrompter().Error(result.Stored ? result.Error
                                                : result.Error + "\nThe text stays in the editor.");
  if (result.Stored) saved_ = true;
  return result.Stored;
}

void TMessageEditor::SaveMailClick() {
  if (!SaveMail()) return;
  closing_ = true;
  close();
}

void TMessageEditor::SpeichernundneueMail1Click() {
  if (SaveMail()) NeueMail1Click();
}

void TMessageEditor::SpeichernohneEnde1Click() {
  if (SaveMail()) ResetReceiver();
}

void TMessageEditor::VerwerfenClick() {
  if (!platform::GetPrompter().Confirm("Are you sure you want to discard this message?")) return;
  closing_ = true;
  close();
}

bool TMessageEditor::TextChangedSinceSave() const { return !saved_; }

void TMessageEditor::closeEvent(QCloseEvent* event) {
  if (!closing_ && TextChangedSinceSave() &&
      !platform::GetPrompter().Confirm(
          "The message has not been saved. Close the editor and lose it?")) {
    event->ignore();
    return;
  }
  WinLst().Remove(this);
  event->accept();
}

void TMessageEditor::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  ApplyBarWidths();
  // A selection moved off an entry that takes no messages is a new area.
  if (GuardForbiddenEntry()) WriteAreaChange();
  RenewCaption();
  Editor->setFocus();
}

void TMessageEditor::ReleaseHeldArea() {
  if (!heldArea_) return;
  heldArea_->Unlock();
  heldArea_ = nullptr;
}

// --- Editor keys and commands ----------------------------------------------------------

bool TMessageEditor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == NewReceiver && event->type() == QEvent::FocusOut) NewReceiverExit();
  if (watched != Editor) return QMainWindow::eventFilter(watched, event);
  if (event->type() == QEvent::ShortcutOverride) {
    // The window's commands win over the edit's own keys (Ctrl+A inserts a
    // file here, Ctrl+Y deletes a line), except the clipboard and undo keys.
    auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(key->keyCombination());
    for (QAction* action : actions()) {
      if (action->shortcut() != pressed) continue;
      const QString name = action->objectName();
      if (name == "MnCut" || name == "MnCopy" || name == "MnPaste" || name == "Undo1") break;
      return true;
    }
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        !(key->modifiers() & ~Qt::KeypadModifier) && QuoteContinuation())
      return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TMessageEditor::QuoteContinuation() {
  QTextCursor cursor = Editor->textCursor();
  if (cursor.hasSelection()) return false;
  const QTextBlock block = cursor.block();
  const std::string line = AnsiBytes(block.text());
  const int column = cursor.position() - block.position() + 1;
  const std::optional<TQuoteBreak> split = ContinueQuote(line, column);
  if (!split) return false;
  cursor.beginEditBlock();
  cursor.setPosition(block.position());
  cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
  cursor.insertText(AnsiText(split->First) + QChar('\n') + AnsiText(split->Second));
  cursor.endEditBlock();
  // The caret goes to the start of the new line.
  cursor.setPosition(block.next().position());
  Editor->setTextCursor(cursor);
  return true;
}

void TMessageEditor::Undo1Click() { Editor->undo(); }

void TMessageEditor::Zeilelschen1Click() {
  QTextBlock block = Editor->document()->findBlockByNumber(curLine_);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  cursor.select(QTextCursor::BlockUnderCursor);
  if (block.blockNumber() == 0) {
    // The first line: its text and the break after it.
    cursor.setPosition(block.position());
    cursor.setPosition(
        std::min(block.position() + block.length(), Editor->document()->characterCount() - 1),
        QTextCursor::KeepAnchor);
  }
  cursor.removeSelectedText();
  Editor->setTextCursor(cursor);
}

void TMessageEditor::Quotesneuumbrechen1Click() {
  QTextCursor cursor = Editor->textCursor();
  if (!cursor.hasSelection()) cursor.select(QTextCursor::Document);
  // The selection's paragraph separators become CR for the routine.
  QString selected = cursor.selectedText();
  selected.replace(QChar::ParagraphSeparator, QChar('\n'));
  QString flowed = AnsiText(ReflowQuotes(AnsiBytes(selected)));
  flowed.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  cursor.insertText(flowed);
}

void TMessageEditor::Rot131Click() {
  QTextCursor cursor = Editor->textCursor();
  if (!cursor.hasSelection()) return;
  const int start = cursor.selectionStart();
  QString selected = cursor.selectedText();
  selected.replace(QChar::ParagraphSeparator, QChar('\n'));
  std::string bytes = AnsiBytes(selected);
  Rot13(bytes);
  const QString rotated = AnsiText(bytes);
  cursor.insertText(rotated);
  cursor.setPosition(start);
  cursor.setPosition(start + rotated.size(), QTextCursor::KeepAnchor);
  Editor->setTextCursor(cursor);
}

void TMessageEditor::InsertAtCaret(const std::string& ansiText) {
  // Through the clipboard, as a paste; the clipboard's text is put back.
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QString kept = clipboard->text();
  QString text = AnsiText(ansiText);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar('\r'), QChar('\n'));
  clipboard->setText(text);
  Editor->paste();
  clipboard->setText(kept);
}

void TMessageEditor::InsertTextFile(bool fromOem) {
  QFileDialog dialog(this, QStringLiteral("Вставить текстовый файл"));
  dialog.setObjectName("InsertTextDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters({QStringLiteral("Текстовые файлы (*.txt *.doc *.lst *.1st *.rtf)"),
                         QStringLiteral("Все файлы (*)")});
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string path = dialog.selectedFiles().front().toStdString();
  const std::string quoted = "\"" + path + "\"";
  std::string content;
  try {
    if (!platform::FileExists(path)) throw std::runtime_error("open");
    if (QFileInfo(QString::fromStdString(path)).size() > kMaxInsertSize) {
      platform::GetPrompter().Error("Could not read file " + quoted + ". The file is longer than " +
                                    std::to_string(kMaxInsertSize) + " bytes!");
      return;
    }
    content = platform::ReadFile(path);
  } catch (const std::exception&) {
    const bool exists = platform::FileExists(path);
    platform::GetPrompter().Error(
        "Could not read file " + quoted +
        (exists ? ". The file is damaged!" : ". File could not be opened!"));
    return;
  }
  if (fromOem) content = platform::OemToAnsi(content);
  InsertAtCaret(content);
}

void TMessageEditor::BinrdateiUUEncoden1Click() {
  QFileDialog dialog(this, QStringLiteral("UU-кодированный файл"));
  dialog.setObjectName("UUEncodeDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string path = dialog.selectedFiles().front().toStdString();
  const std::string quoted = "\"" + path + "\"";
  if (!platform::FileExists(path)) {
    platform::GetPrompter().Error("Could not read file " + quoted + ". File could not be opened!");
    return;
  }
  if (QFileInfo(QString::fromStdString(path)).size() > static_cast<qint64>(kMaxUUEncodeSize)) {
    platform::GetPrompter().Error("UUEncoded data may not be longer than 65000 Bytes!");
    return;
  }
  std::string data;
  try {
    data = platform::ReadFile(path);
  } catch (const std::exception&) {
    platform::GetPrompter().Error("File " + quoted + ". The file is damaged!");
    return;
  }
  if (data.size() > kMaxUUEncodeSize) {
    platform::GetPrompter().Error("UUEncoded data may not be longer than 65000 Bytes!");
    return;
  }
  InsertAtCaret(UUEncodeText(path, data));
}

// --- Find and replace ------------------------------------------------------------------

bool TMessageEditor::FindNext(const std::string& text, bool matchCase, bool wholeWord) {
  if (text.empty()) return false;
  QTextDocument::FindFlags flags;
  if (matchCase) flags |= QTextDocument::FindCaseSensitively;
  if (wholeWord) flags |= QTextDocument::FindWholeWords;
  const QString needle = AnsiText(text);
  const QTextCursor current = Editor->textCursor();
  const int start =
      current.hasSelection() || current.position() > 0 ? current.selectionStart() + 1 : 0;
  QTextCursor found = Editor->document()->find(needle, start, flags);
  if (found.isNull()) {
    if (!platform::GetPrompter().Confirm("End of text reached.  Continue form start ?")) {
      lastMatch_ = -1;
      return false;
    }
    found = Editor->document()->find(needle, 0, flags);
    if (found.isNull()) {
      lastMatch_ = -1;
      QTextCursor home = Editor->textCursor();
      home.setPosition(0);
      Editor->setTextCursor(home);
      return false;
    }
  }
  Editor->setTextCursor(found);
  lastMatch_ = found.selectionStart();
  return true;
}

void TMessageEditor::RunSearchForm(bool replace) {
  TSARForm form(this);
  form.setObjectName("SARForm");
  form.SetFindOnly(!replace);
  form.SetFindText(AnsiText(searchText_));
  if (replace) form.SetReplaceText(AnsiText(replaceText_));
  // Each button works with what the form holds at that moment.
  auto take = [this, replace](TSARForm& f) {
    searchText_ = AnsiBytes(f.GetFindText());
    if (replace) replaceText_ = AnsiBytes(f.GetReplaceText());
    matchCase_ = f.GetCaseSensitive();
    wholeWord_ = f.GetWholeWords();
  };
  form.OnFind = [this, take](TSARForm& f) {
    take(f);
    SARFind();
  };
  if (replace) {
    form.OnReplace = [this, take](TSARForm& f) {
      take(f);
      SARReplace();
    };
    form.OnReplaceAll = [this, take](TSARForm& f) {
      take(f);
      SARReplaceAll();
    };
  }
  ExecModal(form);
  take(form);
  searchReady_ = true;
}

void TMessageEditor::Suchen2Click() { RunSearchForm(false); }

void TMessageEditor::Weitersuchen1Click() {
  // Before any search text was given, Find again opens the find form.
  if (searchReady_ && !searchText_.empty())
    FindNext(searchText_, matchCase_, wholeWord_);
  else
    Suchen2Click();
}

void TMessageEditor::Ersetzen1Click() { RunSearchForm(true); }

void TMessageEditor::SARFind() { FindNext(searchText_, matchCase_, wholeWord_); }

void TMessageEditor::SARReplace() {
  const QString selected = Editor->textCursor().selectedText();
  const QString wanted = AnsiText(searchText_);
  const bool same =
      selected == wanted || (!matchCase_ && selected.compare(wanted, Qt::CaseInsensitive) == 0);
  if (!selected.isEmpty() && same) {
    QTextCursor cursor = Editor->textCursor();
    const int start = cursor.selectionStart();
    const QString replacement = AnsiText(replaceText_);
    cursor.insertText(replacement);
    cursor.setPosition(start);
    cursor.setPosition(start + replacement.size(), QTextCursor::KeepAnchor);
    Editor->setTextCursor(cursor);
  }
  FindNext(searchText_, matchCase_, wholeWord_);
}

void TMessageEditor::SARReplaceAll() {
  do SARReplace();
  while (lastMatch_ != -1);
}

// --- Toolbar layouts ---------------------------------------------------------------------

void TMessageEditor::SetBarWidth(TSpeedBar* bar, int width) {
  if (width <= 0) return;
  (bar == LeftSB ? leftWidth_ : rightWidth_) = width;
  if (isVisible()) ApplyBarWidths();
}

void TMessageEditor::ApplyBarWidths() {
  auto* splitter = findChild<QSplitter*>("ToolbarSplitter");
  const int total = splitter->width() - 2 * splitter->handleWidth();
  // The area selector takes what is left.
  splitter->setSizes({leftWidth_, std::max(0, total - leftWidth_ - rightWidth_), rightWidth_});
}

std::string TMessageEditor::ToolbarFile(bool left) const {
  // Without a configuration there is no start directory to keep them in.
  TConfigStore* store = Store();
  if (!store) return {};
  return store->StartDirectory() + (left ? "MsgEdToolBarLeft.cfg" : "MsgEdToolBarRight.cfg");
}

void TMessageEditor::SaveLeftToolbar() {
  if (ToolbarFile(true).empty()) return;
  TIniFile ini(ToolbarFile(true));
  LeftSB->SaveLayout(&ini);
  IniWriteInteger(&ini, "Custom", "Width", LeftSB->width());
}

void TMessageEditor::SaveRightToolbar() {
  if (ToolbarFile(false).empty()) return;
  TIniFile ini(ToolbarFile(false));
  IniWriteInteger(&ini, "Custom", "Width", RightSB->width());
  RightSB->SaveLayout(&ini);
}

void TMessageEditor::LoadLeftToolbar() {
  if (ToolbarFile(true).empty() || !platform::FileExists(ToolbarFile(true))) return;
  TIniFile ini(ToolbarFile(true));
  SetBarWidth(LeftSB, IniReadInteger(&ini, "Custom", "Width", LeftSB->width()));
  LeftSB->RestoreLayout(&ini);
}

void TMessageEditor::LoadRightToolbar() {
  if (ToolbarFile(false).empty() || !platform::FileExists(ToolbarFile(false))) return;
  TIniFile ini(ToolbarFile(false));
  SetBarWidth(RightSB, IniReadInteger(&ini, "Custom", "Width", RightSB->width()));
  RightSB->RestoreLayout(&ini);
}

}  // namespace velmaris
