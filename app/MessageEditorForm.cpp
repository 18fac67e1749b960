// The message editor's form: its controls, menus, pop-ups and the two
// toolbars with their layout files.
#include "app/MessageEditor.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/Settings.h"
#include "core/forms/FormText.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "widgets/DirBtn.h"
#include "widgets/HelpKey.h"
#include "widgets/IniStorages.h"
#include "widgets/ModalHook.h"
#include "widgets/SpeedBar.h"
#include "widgets/VxCheckListBox.h"
#include "widgets/VxColors.h"

namespace velmaris {

namespace {

// The edit the Edit menu works on: the focused text or line, or the line of
// a focused editable combo box (the receiver, sender and origin boxes).
QWidget* FocusedEdit() {
  QWidget* w = QApplication::focusWidget();
  if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->lineEdit();
  if (qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QLineEdit*>(w)) return w;
  return nullptr;
}

}  // namespace

// --- Building the form -------------------------------------------------------------

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
  // Room for both tool bars and the area selector's 240 pixels between them.
  resize(std::max(760, leftWidth_ + rightWidth_ + 240 + 16), 560);
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
  // The buttons are as wide as the longest caption needs (inside the
  // button's frame), never narrower than 60 pixels; the bars start wide
  // enough for the buttons they show.
  int btnWidth = 60;
  for (const Button& b : kButtons)
    btnWidth = std::max(btnWidth, splitter->fontMetrics().horizontalAdvance(b.caption) + 12);
  leftWidth_ = defaultLeftWidth_ = 3 * btnWidth + 8;
  rightWidth_ = defaultRightWidth_ = 4 * btnWidth + 8;
  // Both bars hold every button; the left one shows the file commands, the
  // right one the clipboard (the user rearranges them in the setup window).
  auto makeBar = [&](const char* name, const char* prefix, bool showFile) {
    auto* bar = new TSpeedBar(splitter);
    bar->setObjectName(name);
    bar->SetOptions(sbFlatBtns | sbGrayedBtns | sbTransparentBtns);
    bar->SetBevelOuter(TBevelCut::bvNone);
    bar->SetBtnWidth(btnWidth);
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
  // Neither bar is ever narrower than its buttons need (their minimum size
  // hint): the window is not narrowed past them, nor a bar pushed shut.
  splitter->setChildrenCollapsible(false);
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
  LookupReceiver->setEnabled(static_cast<bool>(links_.PickReceiver));
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
      QWidget* w = FocusedEdit();
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
    QWidget* w = FocusedEdit();
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
  add(windows, "Arealiste1", QStringLiteral("Список &областей"), {}, [this] {
    if (links_.ShowAreaList) links_.ShowAreaList();
  })->setEnabled(static_cast<bool>(links_.ShowAreaList));
  add(windows, "Suchen1", QStringLiteral("&Поиск"), {}, [this] {
    if (links_.ShowSearch) links_.ShowSearch();
  })->setEnabled(static_cast<bool>(links_.ShowSearch));
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Помощь"));
  help->setObjectName("Hilfe2");
  BindHelpKey(this, platform::kHelpEditor,
              add(help, "Hilfe1", QStringLiteral("&Помощь"), {}, [this] { Hilfe1Click(); }));
  add(help, "Hilfethemen1", QStringLiteral("Указатель"), {}, [this] { Hilfethemen1Click(); });

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
      connect(custom, &QAction::triggered, bar, [bar] { bar->Customize(platform::kHelpSpeedBar); });
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
  TConfigStore* store = GetConfigStore();
  if (!store) return;
  for (TArea* area : store->Areas().Areas()) {
    if (area &&
        (area->AreaType == AreaTypeCode::Echomail || area->AreaType == AreaTypeCode::Newsgroup) &&
        !area->IsSeparator()) {
      // Shown as the letters the name holds; the row keeps the name's bytes.
      const int row = CopyAreas->AddItem(AreaNameText(*area));
      CopyAreas->item(row)->setData(Qt::UserRole, StoredBytes(area->Name));
    }
  }
  CopyAreasClickCheck();
}

// --- Toolbar layouts ---------------------------------------------------------------------

void TMessageEditor::SetBarWidth(TSpeedBar* bar, int width) {
  if (width <= 0) return;
  (bar == LeftSB ? leftWidth_ : rightWidth_) = width;
  if (isVisible())
    ApplyBarWidths();
  else
    bar->resize(width, bar->height());  // a layout read now is read at this width
}

// The width the bar has on the screen; before the window is shown, the one
// it will get there (the splitter has not laid it out yet).
int TMessageEditor::BarWidth(const TSpeedBar* bar) const {
  if (bar->isVisible()) return bar->width();
  return bar == LeftSB ? leftWidth_ : rightWidth_;
}

void TMessageEditor::ApplyBarWidths() {
  auto* splitter = findChild<QSplitter*>("ToolbarSplitter");
  // The window widens for both bars where the area selector has no room
  // left to give (a bar grown for its buttons would else cut the other's).
  const int shortfall = leftWidth_ + rightWidth_ + splitter->widget(1)->minimumSizeHint().width() +
                        2 * splitter->handleWidth() - splitter->width();
  if (shortfall > 0 && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
    resize(width() + shortfall, height());
  const int total = splitter->width() - 2 * splitter->handleWidth();
  // The area selector takes what is left.
  splitter->setSizes({leftWidth_, std::max(0, total - leftWidth_ - rightWidth_), rightWidth_});
}

std::string TMessageEditor::ToolbarFile(bool left) const {
  // Without a configuration there is no start directory to keep them in.
  TConfigStore* store = GetConfigStore();
  if (!store) return {};
  return store->StartDirectory() + (left ? "MsgEdToolBarLeft.cfg" : "MsgEdToolBarRight.cfg");
}

// The right bar's file has its width first, the left one's after its layout.
void TMessageEditor::SaveToolbar(TSpeedBar* bar, bool left) {
  if (ToolbarFile(left).empty()) return;
  TIniFile ini(ToolbarFile(left));
  if (!left) IniWriteInteger(&ini, "Custom", "Width", BarWidth(bar));
  bar->SaveLayout(&ini);
  if (left) IniWriteInteger(&ini, "Custom", "Width", BarWidth(bar));
}

void TMessageEditor::SaveLeftToolbar() { SaveToolbar(LeftSB, true); }
void TMessageEditor::SaveRightToolbar() { SaveToolbar(RightSB, false); }

// A file without the bar's width gives it the width it starts with; the
// bar is then as wide as its stored buttons need at the least, never left
// at a stored width too short for them.
void TMessageEditor::LoadToolbar(TSpeedBar* bar, bool left) {
  if (ToolbarFile(left).empty() || !platform::FileExists(ToolbarFile(left))) return;
  TIniFile ini(ToolbarFile(left));
  SetBarWidth(
      bar, IniReadInteger(&ini, "Custom", "Width", left ? defaultLeftWidth_ : defaultRightWidth_));
  bar->RestoreLayout(&ini);
  if (bar->minimumSizeHint().width() > (left ? leftWidth_ : rightWidth_))
    SetBarWidth(bar, bar->minimumSizeHint().width());
}

void TMessageEditor::LoadLeftToolbar() { LoadToolbar(LeftSB, true); }
void TMessageEditor::LoadRightToolbar() { LoadToolbar(RightSB, false); }
}  // namespace velmaris
