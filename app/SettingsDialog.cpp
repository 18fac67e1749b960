#include "app/SettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "app/AreaProperties.h"
#include "app/DirDialog.h"
#include "app/MailboxProperties.h"
#include "app/NetLinkProperties.h"
#include "app/PackerProperties.h"
#include "app/logic/ConfigSnapshot.h"
#include "app/logic/SettingsEdits.h"
#include "archive/Packer.h"
#include "archive/UnpackJobConfig.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/MailBox.h"
#include "core/MailLock.h"
#include "core/NetLink.h"
#include "core/ShellServices.h"
#include "core/forms/FormText.h"
#include "core/forms/ListBoxLink.h"
#include "mailer/Mailers.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "processing/AutoSend.h"
#include "processing/Secretary.h"
#include "processing/forms/AddAreaAssistent.h"
#include "processing/forms/AddLinkAssistent.h"
#include "processing/forms/KillAssistents.h"
#include "widgets/DirBtn.h"
#include "widgets/FileEdits.h"
#include "widgets/HelpKey.h"
#include "widgets/ModalHook.h"
#include "widgets/OnScreen.h"
#include "widgets/PageControl98.h"
#include "widgets/VxColorButton.h"
#include "widgets/VxSpin.h"

namespace velmaris {

namespace {

QStringList Lines(const QPlainTextEdit* memo) {
  QStringList lines = memo->toPlainText().split('\n');
  while (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

bool IsColor(SettingId id) { return id >= SettingId::QuoteColor && id <= SettingId::COL_SysopSel; }

// A line device's setting line, "Name=Path[;speed[;none]]": the name in the
// ANSI page as every window shows it, the device path the file system's bytes.
QString LineDeviceText(const std::string& line) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return AnsiText(line);
  return AnsiText(line.substr(0, eq + 1)) + PathText(line.substr(eq + 1));
}

std::string LineDeviceBytes(const QString& line) {
  const qsizetype eq = line.indexOf('=');
  if (eq < 0) return AnsiBytes(line);
  return AnsiBytes(line.left(eq + 1)) + PathBytes(line.mid(eq + 1));
}

// A memo keeps the lines it was filled with (SetLines): a line the user did
// not change is written back byte for byte, a device path that is no UTF-8
// among them.
constexpr char kFilledLines[] = "velmarisFilledLines";
constexpr char kFilledLinesText[] = "velmarisFilledLinesText";

std::vector<std::string> LineBytes(const QPlainTextEdit* memo,
                                   std::string (*bytes)(const QString&) = AnsiBytes) {
  const QByteArrayList filled = memo->property(kFilledLines).value<QByteArrayList>();
  const QStringList shown = memo->property(kFilledLinesText).toStringList();
  std::vector<std::string> out;
  for (const QString& line : Lines(memo)) {
    const qsizetype at = shown.indexOf(line);
    out.push_back(at >= 0 && at < filled.size() ? filled[at].toStdString() : bytes(line));
  }
  return out;
}

// The font setting of a chosen font: the size in points, the style a sum of
// 1 bold, 2 underline, 4 italic and 8 strike-out (FontOf goes the other way).
TFontDesc FromQFont(const QFont& font) {
  TFontDesc desc;
  desc.Name = font.family().toStdString();
  desc.Size = font.pointSize() > 0 ? font.pointSize() : 10;
  desc.Style = (font.bold() ? TFontDesc::Bold : 0) | (font.underline() ? TFontDesc::Underline : 0) |
               (font.italic() ? TFontDesc::Italic : 0) |
               (font.strikeOut() ? TFontDesc::StrikeOut : 0);
  return desc;
}

// The sample panel takes the font and names it.
void SetSampleFont(QPushButton* sample, const QFont& font) {
  sample->setFont(font);
  sample->setText(font.family() + QStringLiteral(", ") + QString::number(font.pointSize()));
}

void SetLines(QPlainTextEdit* memo, const std::vector<std::string>& lines,
              QString (*text_of)(const std::string&) = AnsiText) {
  QStringList text;
  QByteArrayList filled;
  for (const std::string& line : lines) {
    text << text_of(line);
    filled << QByteArray(line.data(), static_cast<qsizetype>(line.size()));
  }
  memo->setProperty(kFilledLines, QVariant::fromValue(filled));
  memo->setProperty(kFilledLinesText, text);
  memo->setPlainText(text.join('\n'));
}

}  // namespace

TSettingsDialog::TSettingsDialog(TConfigStore& store, TPckList* packers, TAreaManager* echoAreas,
                                 QWidget* parent)
    : QDialog(parent), store_(store), packers_(packers), echoAreas_(echoAreas) {
  setObjectName("TSettingsDialog");
  setWindowTitle(QStringLiteral("Настройки"));
  BindHelpKey(this, platform::kHelpSettings);
  auto* layout = new QVBoxLayout(this);
  notebook_ = new TPageControl98(this);
  notebook_->setObjectName("Notebook");
  // The window is as large as its pages need where the screen has room;
  // on a smaller screen the pages scroll, so that the window fits the
  // screen with its buttons in sight. Elsewhere nothing shows of it.
  auto* pages = new QScrollArea(this);
  pages->setObjectName("NotebookScroll");
  pages->setFrameShape(QFrame::NoFrame);
  pages->setWidgetResizable(true);
  pages->setWidget(notebook_);
  layout->addWidget(pages, 1);
  BuildIdentity();
  BuildUplinks();
  BuildMailboxes();
  BuildAreas();
  BuildPackers();
  BuildTosser();
  BuildDisplay();
  BuildTextGroups();
  BuildLists();
  BuildFilters();
  BuildAutoSend();
  BuildMailer();

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
  ok->setObjectName("OKBtn");
  QPushButton* apply = buttons->addButton(QDialogButtonBox::Apply);
  apply->setObjectName("ApplyBtn");
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName("CancelBtn");
  connect(ok, &QPushButton::clicked, this, [this] { OKClick(); });
  connect(apply, &QPushButton::clicked, this, [this] { ApplyClick(); });
  connect(cancel, &QPushButton::clicked, this, [this] { CancelClick(); });
  layout->addWidget(buttons);
  buttons_ = buttons;
  resize(ContentSize());
  ShowDialog();
}

QSize TSettingsDialog::ContentSize() const {
  const QMargins margins = layout()->contentsMargins();
  // The tallest and widest page (a tab widget asks for its largest page)
  // and the whole row of tabs, which the pane's frame and the bar's own
  // edges widen by a few pixels.
  const QSize pages = notebook_->sizeHint();
  const int tabs = notebook_->tabBar()->sizeHint().width() + 8;
  return {std::max(pages.width(), tabs) + margins.left() + margins.right(),
          pages.height() + layout()->spacing() + buttons_->sizeHint().height() + margins.top() +
              margins.bottom()};
}

void TSettingsDialog::setVisible(bool visible) {
  if (visible && !sized_ && !isVisible()) {
    sized_ = true;
    ensurePolished();
    // The room the screen's work area leaves inside the frame the window
    // will get; the window's owner names the screen.
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen* screen = owner ? owner->screen() : this->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    QSize size = ContentSize();
    if (screen) {
      // Until the window manager told the frame of a dialog (its answer
      // may still be on its way), room is left for a frame as large as
      // managers give: a dialog as large as the work area would be framed
      // past it, and some managers then keep it there.
      QMargins frame = ExpectedFrame(this);
      if (frame.isNull()) frame = QMargins(8, 32, 8, 8);
      const QSize room = screen->availableGeometry().size().shrunkBy(frame);
      size = size.boundedTo(room).expandedTo(minimumSizeHint().boundedTo(room));
    }
    resize(size);
  }
  QDialog::setVisible(visible);
}

TSettingsDialog::~TSettingsDialog() {
  EndEdits();
  for (auto& [list, link] : links_) list->DetachListBox(link.get());
}

QListWidget* TSettingsDialog::ListBox(QLayout* layout, const char* name, TPubLst& list) {
  auto* box = new QListWidget;
  box->setObjectName(QString::fromLatin1(name));
  layout->addWidget(box);
  links_.emplace_back(&list, std::make_unique<TListBoxLink>(box));
  list.AttachListBox(links_.back().second.get());
  return box;
}

// --- Building ----------------------------------------------------------------------------

QWidget* TSettingsDialog::Page(const char* name, const QString& caption, QVBoxLayout*& layout) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(name));
  layout = new QVBoxLayout(page);
  notebook_->addTab(page, caption);
  return page;
}

QWidget* TSettingsDialog::Bind(SettingId id, QWidget* control) {
  control->setObjectName(QString::fromLatin1(SettingDefOf(id).name));
  bindings_.push_back({id, control});
  return control;
}

// A control of the kind the setting needs.
QWidget* TSettingsDialog::Setting(SettingId id, const QStringList& choices) {
  const SettingDef& def = SettingDefOf(id);
  if (IsColor(id)) return Bind(id, new TVxColorButton);
  switch (def.kind) {
    case SettingKind::Directory: return Bind(id, new TDirBtn);
    case SettingKind::Choice: {
      auto* combo = new QComboBox;
      combo->addItems(choices);
      return Bind(id, combo);
    }
    case SettingKind::Number: {
      if (id == SettingId::WinLimit) return WinLimitRow();
      auto* spin = new TVxSpinEdit;
      spin->SetMinValue(def.min);
      spin->SetMaxValue(def.max);
      return Bind(id, spin);
    }
    case SettingKind::Check: return Bind(id, new QCheckBox(choices.value(0)));
    case SettingKind::Lines: return Bind(id, new QPlainTextEdit);
    default: break;
  }
  if (id == SettingId::EPPImport || id == SettingId::EPPExport) {
    auto* edit = new TFilenameEdit;
    connect(edit, &QLineEdit::textChanged, this, [edit] { FileNameChange(edit); });
    return Bind(id, edit);
  }
  return Bind(id, new QLineEdit);
}

QPushButton* TSettingsDialog::Button(QLayout* row, const char* name, const QString& caption,
                                     void (TSettingsDialog::*handler)()) {
  return Button(row, name, caption, [this, handler] { (this->*handler)(); });
}

QPushButton* TSettingsDialog::Button(QLayout* row, const char* name, const QString& caption,
                                     std::function<void()> handler) {
  auto* button = new QPushButton(caption);
  button->setObjectName(QString::fromLatin1(name));
  connect(button, &QPushButton::clicked, this, [handler = std::move(handler)] {
    try {
      handler();
    } catch (const std::exception& e) {
      platform::GetPrompter().Error(e.what());
    }
  });
  row->addWidget(button);
  return button;
}

QWidget* TSettingsDialog::DirectoryRow(SettingId id, const char* button, const QString& caption) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* edit = static_cast<TDirBtn*>(Setting(id));
  layout->addWidget(edit, 1);
  const QString name = QString::fromLatin1(button);
  Button(layout, button, QStringLiteral("..."), [this, row, name, edit, caption] {
    auto* pick = row->findChild<QPushButton*>(name);
    pick->setEnabled(false);
    TDirDialogWindow chooser(this);
    chooser.setWindowTitle(caption);
    // Opens at the folder the setting holds (its bytes on disk, whatever
    // page its name is in), typed with or without its "/".
    std::string start = FieldPathBytes(edit, edit->text());
    if (!start.empty() && start.back() != '/' && platform::DirExists(start)) start += '/';
    chooser.SetDirectoryBytes(start);
    // A folder that is not there shows a folder above it: OK at once keeps
    // the setting, never that stand-in.
    const std::string opened = chooser.GetDirectoryBytes();
    const bool standIn = !start.empty() && !platform::DirExists(start);
    // The folder picked is stored as its bytes on disk and shown readably.
    if (chooser.Execute() && !(standIn && chooser.GetDirectoryBytes() == opened))
      edit->SetExistingPath(FilledPathText(edit, chooser.GetDirectoryBytes()));
    pick->setEnabled(true);
  });
  return row;
}

// The track bar of the number of message windows, with its value beside it.
QWidget* TSettingsDialog::WinLimitRow() {
  const SettingDef& def = SettingDefOf(SettingId::WinLimit);
  auto* bar = new QSlider(Qt::Horizontal);
  bar->setRange(def.min, def.max);
  bar->setPageStep(1);
  bar->setTickPosition(QSlider::TicksBelow);
  bar->setTickInterval(1);
  bar->setFixedWidth(120);
  Bind(SettingId::WinLimit, bar);
  winStatus_ = new QLabel;
  winStatus_->setObjectName("WinStatus");
  winStatus_->setMinimumWidth(24);
  connect(bar, &QSlider::valueChanged, this, [this] { WinLimitChange(); });
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(bar);
  layout->addWidget(winStatus_);
  layout->addStretch(1);
  return row;
}

void TSettingsDialog::WinLimitChange() {
  if (auto* bar = findChild<QSlider*>("WinLimit")) winStatus_->setText(QString::number(bar->value()));
}

void TSettingsDialog::FileNameChange(QLineEdit* edit) {
  const QString text = edit->text();
  const QString stripped = QString::fromStdString(StripFileNameQuotes(text.toStdString()));
  if (stripped != text) edit->setText(stripped);  // comes back here once, unchanged
}

void TSettingsDialog::BuildIdentity() {
  QVBoxLayout* layout;
  Page("TabSonstiges", QStringLiteral("Система"), layout);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Имена пользователя:"), Setting(SettingId::SysopNames));
  form->addRow(QStringLiteral("Основная зона:"), Setting(SettingId::Zone));
  form->addRow(QStringLiteral("Входящие:"),
               DirectoryRow(SettingId::InboundDir, "GetInbound", "Inbound Directory"));
  form->addRow(QStringLiteral("Исходящие:"),
               DirectoryRow(SettingId::OutboundDir, "GetOutbound", "Outbound Directory"));
  form->addRow(QStringLiteral("База сообщений:"),
               DirectoryRow(SettingId::MsgBaseDir, "GetMsgBaseDir", "Messagebase Directory"));
  form->addRow(QStringLiteral("Файловая база:"),
               DirectoryRow(SettingId::FileBaseDir, "GetFileBaseDir", "Filebase Path"));
  form->addRow(QStringLiteral("Нодлисты FTS-0005:"),
               DirectoryRow(SettingId::FTNDir, "GetFTN", "Path for FTS-0005 Node Lists"));
  form->addRow(QStringLiteral("Индекс нодлистов:"),
               DirectoryRow(SettingId::KQLDIr, "GetKQL", "Path for Velmaris node lists"));
  form->addRow(QStringLiteral("Плагины:"),
               DirectoryRow(SettingId::PluginDir, "GetPluginDir", "Plugin Directory"));
  const QStringList automatic{QStringLiteral("В фоне"), QStringLiteral("Вручную")};
  form->addRow(QStringLiteral("Распаковка:"), Setting(SettingId::UnpackOn, automatic));
  form->addRow(QStringLiteral("Обновление нодлистов:"), Setting(SettingId::DiffOn, automatic));
  const QStringList when{QStringLiteral("Никогда"), QStringLiteral("При запуске"),
                         QStringLiteral("При выходе"), QStringLiteral("При запуске и выходе")};
  form->addRow(QStringLiteral("Чистка эх:"), Setting(SettingId::MaintainOn, when));
  form->addRow(QStringLiteral("Оптимизация эх:"), Setting(SettingId::OptimizeOn, when));
  form->addRow(QStringLiteral("Кодировка DOS (OEM):"),
               Setting(SettingId::CbOemCodePage,
                       {QStringLiteral("CP866 (русская)"), QStringLiteral("CP437 (английская)")}));
  form->addRow(QStringLiteral("Кодировка Windows (ANSI):"),
               Setting(SettingId::CbAnsiCodePage, {QStringLiteral("CP1251 (кириллица)"),
                                                   QStringLiteral("CP1252 (латиница)")}));
  layout->addLayout(form);
}

void TSettingsDialog::BuildUplinks() {
  QVBoxLayout* layout;
  Page("TabVerbindungen", QStringLiteral("Аплинки"), layout);
  linkList_ = new QListWidget;
  linkList_->setObjectName("LinkList");
  layout->addWidget(linkList_, 1);
  auto* row = new QHBoxLayout;
  Button(row, "AddLink", QStringLiteral("Добавить..."), &TSettingsDialog::AddLinkClick);
  killLink_ =
      Button(row, "KillLink", QStringLiteral("Удалить..."), &TSettingsDialog::KillLinkClick);
  linkEntryButtons_ = {
      Button(row, "UplinkUp", QStringLiteral("Вверх"), &TSettingsDialog::UplinkUpClick),
      Button(row, "UplinkDown", QStringLiteral("Вниз"), &TSettingsDialog::UplinkDownClick),
      Button(row, "ShowLinkProperties", QStringLiteral("Свойства..."),
             &TSettingsDialog::ShowLinkPropertiesClick)};
  layout->addLayout(row);
  auto* form = new QFormLayout;
  form->addRow(Setting(SettingId::CbUseGateWay, {QStringLiteral("Почтовый шлюз")}));
  form->addRow(QStringLiteral("Адрес шлюза:"), Setting(SettingId::EdUUCPAddr));
  form->addRow(QStringLiteral("Имя шлюза:"), Setting(SettingId::EdUUCPName));
  form->addRow(Setting(SettingId::CbUseUUCPName, {QStringLiteral("Использовать имя")}));
  layout->addLayout(form);
  links_.emplace_back(&store_.Uplinks(), std::make_unique<TListBoxLink>(linkList_));
  store_.Uplinks().AttachListBox(links_.back().second.get());
  connect(linkList_, &QListWidget::currentRowChanged, this, [this] { ShowUplinkButtons(); });
}

void TSettingsDialog::BuildMailboxes() {
  QVBoxLayout* layout;
  Page("TabMailboxen", QStringLiteral("Мейлбоксы"), layout);
  mbList_ = new QListWidget;
  mbList_->setObjectName("MBList");
  layout->addWidget(mbList_, 1);
  auto* row = new QHBoxLayout;
  Button(row, "AddMB", QStringLiteral("Добавить"), &TSettingsDialog::AddMBClick);
  mbEntryButtons_ = {
      Button(row, "DeleteMB", QStringLiteral("Удалить"), &TSettingsDialog::DeleteMBClick),
      Button(row, "MBUp", QStringLiteral("Вверх"), &TSettingsDialog::MBUpClick),
      Button(row, "MBDown", QStringLiteral("Вниз"), &TSettingsDialog::MBDownClick),
      Button(row, "MailboxProperties", QStringLiteral("Свойства..."),
             &TSettingsDialog::MailboxPropertiesClick)};
  layout->addLayout(row);
  auto* form = new QFormLayout;
  mbName_ = new QLineEdit;
  mbName_->setObjectName("MBName");
  mbSysop_ = new QLineEdit;
  mbSysop_->setObjectName("MBSysop");
  mbAddress_ = new QLineEdit;
  mbAddress_->setObjectName("MBAddress");
  mbNumbers_ = new QPlainTextEdit;
  mbNumbers_->setObjectName("MBNumbers");
  form->addRow(QStringLiteral("Название:"), mbName_);
  form->addRow(QStringLiteral("Сисоп:"), mbSysop_);
  form->addRow(QStringLiteral("Адрес:"), mbAddress_);
  form->addRow(QStringLiteral("Телефоны:"), mbNumbers_);
  layout->addLayout(form);
  for (QLineEdit* e : {mbName_, mbSysop_, mbAddress_})
    connect(e, &QLineEdit::textChanged, this, [this] { mbEdited_ = true; });
  connect(mbNumbers_, &QPlainTextEdit::textChanged, this, [this] { mbEdited_ = true; });
  links_.emplace_back(&store_.Mailboxes(), std::make_unique<TListBoxLink>(mbList_));
  store_.Mailboxes().AttachListBox(links_.back().second.get());
  connect(mbList_, &QListWidget::currentRowChanged, this, [this] {
    if (Selected(mbList_) == shownMailbox_) return;
    if (!StoreMailbox()) {
      const QSignalBlocker block(mbList_);
      Select(mbList_, shownMailbox_);
      return;
    }
    ShowMailbox();
  });
}

void TSettingsDialog::BuildAreas() {
  QVBoxLayout* layout;
  Page("TabAreas", QStringLiteral("Арии"), layout);
  areaList_ = new QListWidget;
  areaList_->setObjectName("InfoAreaName");
  layout->addWidget(areaList_, 1);
  auto* row = new QHBoxLayout;
  Button(row, "DoAddArea", QStringLiteral("Добавить..."), &TSettingsDialog::DoAddAreaClick);
  killArea_ =
      Button(row, "KillArea", QStringLiteral("Удалить..."), &TSettingsDialog::KillAreaClick);
  Button(row, "AddSep", QStringLiteral("Разделитель"), &TSettingsDialog::AddSepClick);
  areaEntryButtons_ = {
      Button(row, "AreaUp", QStringLiteral("Вверх"), &TSettingsDialog::AreaUpClick),
      Button(row, "AreaDown", QStringLiteral("Вниз"), &TSettingsDialog::AreaDownClick)};
  Button(row, "AreaSort", QStringLiteral("Сортировать"), &TSettingsDialog::AreaSortClick);
  layout->addLayout(row);
  row = new QHBoxLayout;
  areaProperties_ = Button(row, "ShowAreaProperties", QStringLiteral("Свойства..."),
                           &TSettingsDialog::ShowAreaPropertiesClick);
  Button(row, "AreaPrototype", QStringLiteral("Шаблон арии..."),
         &TSettingsDialog::AreaPrototypeClick);
  Button(row, "AreaAddOldOnes", QStringLiteral("Найти старые..."),
         &TSettingsDialog::AreaAddOldOnesClick);
  layout->addLayout(row);
  links_.emplace_back(&store_.Areas(), std::make_unique<TListBoxLink>(areaList_));
  store_.Areas().AttachListBox(links_.back().second.get());
  connect(areaList_, &QListWidget::currentRowChanged, this, [this] { UpdateInfo(); });
}

void TSettingsDialog::BuildPackers() {
  QVBoxLayout* layout;
  Page("TabPacker", QStringLiteral("Упаковщики"), layout);
  packerList_ = new QListWidget;
  packerList_->setObjectName("PackerList");
  layout->addWidget(packerList_, 1);
  auto* row = new QHBoxLayout;
  Button(row, "AddNewPacker", QStringLiteral("Добавить"), &TSettingsDialog::AddNewPackerClick);
  pckEntryButtons_ = {
      Button(row, "KillPacker", QStringLiteral("Удалить"), &TSettingsDialog::KillPackerClick),
      Button(row, "PackerUp", QStringLiteral("Вверх"), &TSettingsDialog::PackerUpClick),
      Button(row, "PackerDown", QStringLiteral("Вниз"), &TSettingsDialog::PackerDownClick),
      Button(row, "PackerProperties", QStringLiteral("Свойства..."),
             &TSettingsDialog::PackerPropertiesClick)};
  layout->addLayout(row);
  auto* form = new QFormLayout;
  pckName_ = new QLineEdit;
  pckName_->setObjectName("PackerName");
  pckPack_ = new QLineEdit;
  pckPack_->setObjectName("PackerPack");
  pckUnpack_ = new QLineEdit;
  pckUnpack_->setObjectName("PackerUnPack");
  form->addRow(QStringLiteral("Название:"), pckName_);
  form->addRow(QStringLiteral("Упаковка:"), pckPack_);
  form->addRow(QStringLiteral("Распаковка:"), pckUnpack_);
  layout->addLayout(form);
  BuildUnpackJobs(layout);
  for (QLineEdit* e : {pckName_, pckPack_, pckUnpack_})
    connect(e, &QLineEdit::textChanged, this, [this] { pckEdited_ = true; });
  if (packers_) {
    links_.emplace_back(packers_, std::make_unique<TListBoxLink>(packerList_));
    packers_->AttachListBox(links_.back().second.get());
  }
  connect(packerList_, &QListWidget::currentRowChanged, this, [this] {
    if (Selected(packerList_) == shownPacker_) return;
    if (!StorePacker()) {
      const QSignalBlocker block(packerList_);
      Select(packerList_, shownPacker_);
      return;
    }
    ShowPacker();
  });
}

void TSettingsDialog::BuildTosser() {
  QVBoxLayout* layout;
  Page("TabTosser", QStringLiteral("Тоссер"), layout);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Тоссить после сеанса:"),
               Setting(SettingId::AutoImport, {QStringLiteral("Нет"), QStringLiteral("Да")}));
  form->addRow(QStringLiteral("Неизвестная эха:"),
               Setting(SettingId::DoCreate, {QStringLiteral("Создать автоматически"),
                                             QStringLiteral("Положить в BAD")}));
  form->addRow(QStringLiteral("Проверка пакетов:"),
               Setting(SettingId::WarnPacket,
                       {QStringLiteral("Игнорировать"), QStringLiteral("Предупреждать")}));
  form->addRow(QStringLiteral("Дубли:"),
               Setting(SettingId::Dupes, {QStringLiteral("В DUPES"), QStringLiteral("Удалять"),
                                          QStringLiteral("Игнорировать")}));
  form->addRow(QStringLiteral("TIC-файлы:"),
               Setting(SettingId::CbTIC, {QStringLiteral("Обрабатывать при импорте"),
                                          QStringLiteral("Игнорировать")}));
  form->addRow(QStringLiteral("Обработчик при импорте:"), Setting(SettingId::EPPImport));
  form->addRow(QStringLiteral("Обработчик при экспорте:"), Setting(SettingId::EPPExport));
  form->addRow(Setting(SettingId::ImportReport, {QStringLiteral("Отчёт об импорте")}));
  form->addRow(Setting(SettingId::ExportReport, {QStringLiteral("Отчёт об экспорте")}));
  form->addRow(Setting(SettingId::ProcessReport, {QStringLiteral("Отчёт об обработке нодлистов")}));
  form->addRow(Setting(SettingId::UnpackReport, {QStringLiteral("Отчёт о распаковке")}));
  form->addRow(Setting(SettingId::MailerReport, {QStringLiteral("Отчёт мейлера")}));
  layout->addLayout(form);
}

void TSettingsDialog::BuildDisplay() {
  QVBoxLayout* layout;
  Page("TabAnzeige", QStringLiteral("Вид"), layout);
  auto* tabs = new QTabWidget;
  tabs->setObjectName("DisplayTabs");
  layout->addWidget(tabs);
  auto addTab = [tabs](const QString& caption) {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    tabs->addTab(page, caption);
    return form;
  };
  QFormLayout* general = addTab(QStringLiteral("Общие"));
  general->addRow(Setting(SettingId::DisplayTree, {QStringLiteral("Дерево ответов")}));
  general->addRow(Setting(SettingId::DisplayStyles, {QStringLiteral("Стили текста")}));
  general->addRow(Setting(SettingId::AKLudge, {QStringLiteral("Показывать ^A-кладжи")}));
  general->addRow(Setting(SettingId::AREAKludge, {QStringLiteral("Показывать строку AREA")}));
  general->addRow(Setting(SettingId::SBKludge, {QStringLiteral("Показывать SEEN-BY")}));
  general->addRow(Setting(SettingId::FLToAnsI, {QStringLiteral("Списки файлов в ANSI")}));
  general->addRow(Setting(SettingId::RbNavA, {QStringLiteral("Навигация по порядку списка")}));
  general->addRow(
      Setting(SettingId::CbAdvanceArea, {QStringLiteral("Переходить к следующей эхе")}));
  general->addRow(QStringLiteral("Окон сообщений:"), Setting(SettingId::WinLimit));
  QFormLayout* fonts = addTab(QStringLiteral("Шрифты"));
  const std::pair<SettingId, const char*> fontRows[] = {
      {SettingId::mrFe, "Редактор"},         {SettingId::ALFont, "Список эх"},
      {SettingId::mrFont, "Письмо"},         {SettingId::MLFont, "Список писем"},
      {SettingId::RTFont, "Дерево ответов"}, {SettingId::mrFl, "Списки файлов"}};
  for (const auto& [id, caption] : fontRows) {
    // The sample panel shows the font; a click opens the font dialog on it.
    auto* sample = static_cast<QPushButton*>(Bind(id, new QPushButton));
    sample->setMinimumHeight(36);
    connect(sample, &QPushButton::clicked, this, [this, sample] {
      QFontDialog dialog(sample->font(), this);
      dialog.setObjectName("FontDialog");
      if (ExecModal(dialog) == QDialog::Accepted) SetSampleFont(sample, dialog.currentFont());
    });
    fonts->addRow(QString::fromUtf8(caption) + ':', sample);
  }
  QFormLayout* colors = addTab(QStringLiteral("Цвета"));
  const std::pair<SettingId, const char*> colorRows[] = {
      {SettingId::QuoteColor, "Цитаты"},
      {SettingId::MsgTxt, "Текст письма"},
      {SettingId::MsgBG, "Фон письма"},
      {SettingId::ColEdFG, "Текст редактора"},
      {SettingId::ColEdBG, "Фон редактора"},
      {SettingId::COL_Bg, "Фон списка писем"},
      {SettingId::COL_Highlight, "Выделение"},
      {SettingId::COL_Msg, "Письмо"},
      {SettingId::COL_MsgSel, "Выбранное письмо"},
      {SettingId::COL_Sysop, "Письмо мне"},
      {SettingId::COL_SysopSel, "Выбранное письмо мне"}};
  for (const auto& [id, caption] : colorRows)
    colors->addRow(QString::fromUtf8(caption) + ':', Setting(id));
}

// --- Controls and values -------------------------------------------------------------------

void TSettingsDialog::LoadControls(const SettingsValues& values,
                                   const std::function<bool(SettingId)>& only) {
  for (const Binding& b : bindings_) {
    if (only && !only(b.id)) continue;
    switch (SettingDefOf(b.id).kind) {
      case SettingKind::Directory:
        static_cast<TDirBtn*>(b.control)->setText(FilledPathText(b.control, values.Text(b.id)));
        break;
      case SettingKind::Choice:
        static_cast<QComboBox*>(b.control)->setCurrentIndex(values.Number(b.id));
        break;
      case SettingKind::Number:
        if (auto* color = qobject_cast<TVxColorButton*>(b.control))
          color->SetColor(static_cast<TColor>(values.Number(b.id)));
        else if (auto* bar = qobject_cast<QSlider*>(b.control))
          bar->setValue(values.Number(b.id));
        else
          static_cast<TVxSpinEdit*>(b.control)->SetValue(values.Number(b.id));
        break;
      case SettingKind::Check:
        static_cast<QCheckBox*>(b.control)->setChecked(values.Checked(b.id));
        break;
      case SettingKind::Lines:
        SetLines(static_cast<QPlainTextEdit*>(b.control), values.Lines(b.id),
                 b.id == SettingId::ModemLines ? LineDeviceText : AnsiText);
        break;
      case SettingKind::Font:
        SetSampleFont(static_cast<QPushButton*>(b.control), FontOf(values.Font(b.id), QFont()));
        break;
      default:
        if (IsPathSetting(b.id))
          // The packet processors' fields show a name without the quotes
          // an older version stored (FileNameChange); unchanged, the stored
          // value goes back as it is.
          static_cast<QLineEdit*>(b.control)->setText(FilledPathText(
              b.control, values.Text(b.id), StripFileNameQuotes(values.Text(b.id))));
        else
          static_cast<QLineEdit*>(b.control)->setText(AnsiText(values.Text(b.id)));
    }
  }
}

void TSettingsDialog::ReadControls(SettingsValues& values) const {
  for (const Binding& b : bindings_) {
    switch (SettingDefOf(b.id).kind) {
      case SettingKind::Directory:
        values.SetText(b.id,
                       FieldPathBytes(b.control, static_cast<TDirBtn*>(b.control)->text()));
        break;
      case SettingKind::Choice:
        values.SetNumber(b.id, static_cast<QComboBox*>(b.control)->currentIndex());
        break;
      case SettingKind::Number:
        if (auto* color = qobject_cast<TVxColorButton*>(b.control))
          values.SetNumber(b.id, static_cast<int32_t>(color->Color()));
        else if (auto* bar = qobject_cast<QSlider*>(b.control))
          values.SetNumber(b.id, bar->value());
        else
          values.SetNumber(b.id,
                           static_cast<int32_t>(static_cast<TVxSpinEdit*>(b.control)->Value()));
        break;
      case SettingKind::Check:
        values.SetChecked(b.id, static_cast<QCheckBox*>(b.control)->isChecked());
        break;
      case SettingKind::Lines:
        values.SetLines(b.id,
                        LineBytes(static_cast<QPlainTextEdit*>(b.control),
                                  b.id == SettingId::ModemLines ? LineDeviceBytes : AnsiBytes));
        break;
      case SettingKind::Font:
        values.SetText(b.id, FromQFont(static_cast<QPushButton*>(b.control)->font()).ToString());
        break;
      default:
        if (IsPathSetting(b.id))  // the command line as it stands
          values.SetText(b.id,
                         FieldPathBytes(b.control, static_cast<QLineEdit*>(b.control)->text()));
        else
          values.SetText(b.id, AnsiBytes(static_cast<QLineEdit*>(b.control)->text()));
    }
  }
}

void TSettingsDialog::StartEdits() {
  TEditedLists lists;
  lists.Packers = packers_;
  lists.UnpackJobs = GetUnpackJobList();
  lists.ImportFilters = GetImportFilters();
  lists.ExportFilters = GetExportFilters();
  lists.AutoSendJobs = GetAutoSendJobs();
  lists.Mailers = GetMailerConfig();
  snapshot_ = std::make_unique<TConfigEditSnapshot>(store_, lists);
  if (batching_) return;
  store_.BeginChanges();
  batching_ = true;
}

bool TSettingsDialog::EndEdits() {
  if (!batching_) return true;
  batching_ = false;
  return store_.EndChanges();
}

void TSettingsDialog::ShowDialog() {
  StartEdits();
  LoadControls(*store_.Values());
  WinLimitChange();
  Select(linkList_, 0);
  Select(areaList_, 0);
  Select(mbList_, 0);
  Select(packerList_, 0);
  ShowMailbox();
  ShowPacker();
  ShowUplinkButtons();
  UpdateInfo();
}

bool TSettingsDialog::ApplyClick() {
  if (!StoreMailbox() || !StorePacker()) return false;
  SettingsValues values = *store_.Values();
  ReadControls(values);
  std::string error = CheckSettingsValues(values);
  if (!error.empty()) {
    Refused(error);
    return false;
  }
  // A base folder that cannot be taken takes nothing else either: the
  // field is shown to be put right or back, and then everything applies.
  error = store_.MessageBaseMoveRefusal(values.MsgBaseDir());
  if (!error.empty()) {
    RefusedField(SettingId::MsgBaseDir, error);
    return false;
  }
  if (!NewFoldersWanted(values)) return false;
  if (!store_.ApplySettings(values) && !store_.MessageBaseMoveFailure().empty()) {
    RefusedField(SettingId::MsgBaseDir, store_.MessageBaseMoveFailure());
    return false;
  }
  // The profiles taken off their list go now that the rest is taken, before
  // the save; their mailboxes call another profile or none.
  std::vector<TMailboxMove> moves;
  if (TMailerConfig* mailers = GetMailerConfig()) moves = mailers->FreeUnlisted();
  const bool saved = EndEdits();
  StartEdits();
  // A poll of those mailboxes now uses another line and identity, or none.
  if (!moves.empty()) platform::GetPrompter().Warn(MailboxMovesText(moves));
  return saved;
}

// A typed folder that does not exist is made only when the user says so:
// asked here, once the click on Apply or OK has ended, one question per
// folder. The store makes them when it takes the settings (the message
// base's only when the base moves there). A No takes nothing over; the
// fields keep what was typed.
bool TSettingsDialog::NewFoldersWanted(const SettingsValues& values) const {
  for (const Binding& b : bindings_) {
    if (SettingDefOf(b.id).kind != SettingKind::Directory) continue;
    const std::string dir = platform::WithoutSlash(values.Text(b.id));
    if (dir.empty() || platform::DirExists(dir)) continue;
    // The folder as the user sees it: the box's line is UTF-8.
    const std::string shown = platform::LineText(dir, platform::LinePage::Utf8);
    if (platform::GetPrompter().Ask(platform::MsgKind::Confirmation, MissingDirQuestion(shown),
                                    platform::mbYes | platform::mbNo) != platform::mbYes)
      return false;
  }
  return true;
}

void TSettingsDialog::OKClick() {
  if (ApplyClick()) accept();
}

void TSettingsDialog::CancelClick() { reject(); }

void TSettingsDialog::reject() {
  // What the entry fields hold unstored goes with the rest, and nothing the
  // lists show while they are put back is stored into them.
  mbEdited_ = pckEdited_ = false;
  try {
    std::vector<std::unique_ptr<QSignalBlocker>> quiet;
    for (auto& [list, link] : links_)
      if (QListWidget* box = link->Box()) quiet.push_back(std::make_unique<QSignalBlocker>(box));
    if (snapshot_) snapshot_->Restore();
    EndEdits();
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
  // Shown again, the window shows the lists as they are now.
  for (auto& [list, link] : links_)
    if (QListWidget* box = link->Box()) emit box->currentRowChanged(box->currentRow());
  ShowMailbox();
  ShowPacker();
  QDialog::reject();
}

// The refusals quote what was typed: ANSI text.
void TSettingsDialog::Refused(const std::string& text) {
  platform::GetPrompter().Error(platform::AnsiToUtf8(text));
}

void TSettingsDialog::RefusedField(SettingId id, const std::string& text) {
  for (const Binding& b : bindings_) {
    if (b.id != id) continue;
    // Every page control on the way to the field shows the page it is on.
    for (QWidget* page = b.control; page; page = page->parentWidget())
      for (QWidget* up = page->parentWidget(); up; up = up->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(up); tabs && tabs->indexOf(page) >= 0)
          tabs->setCurrentWidget(page);
    b.control->setFocus();
  }
  Refused(text);
}

int TSettingsDialog::Selected(QListWidget* box) const { return box->currentRow(); }

void TSettingsDialog::Select(QListWidget* box, int index) {
  box->setCurrentRow(index < box->count() ? index : box->count() - 1);
}

// --- Uplinks ------------------------------------------------------------------------------------

void TSettingsDialog::AddLinkClick() {
  TAddLinkAssistent assistant(store_, packers_, this);
  ExecModal(assistant);
  // Cancel changes nothing: the uplink (and its mailbox) go again.
  if (snapshot_) snapshot_->TakeBackOnRestore(assistant.AddedLink());
  Select(linkList_, store_.Uplinks().GetCount() - 1);
  ShowUplinkButtons();
}

void TSettingsDialog::KillLinkClick() {
  TLinkList& links = store_.Uplinks();
  const int index = Selected(linkList_);
  if (links.GetCount() == 0 || index < 0) {
    platform::GetPrompter().Inform("You need at least one uplink!");
    return;
  }
  TKillLinkAssistent assistant(store_, links.GetItem(index), packers_, this);
  assistant.Execute();
  Select(linkList_, 0);
  ShowUplinkButtons();
}

void TSettingsDialog::ShowUplinkButtons() {
  const int index = Selected(linkList_);
  const bool any = index >= 0 && index < store_.Uplinks().GetCount();
  for (QPushButton* b : linkEntryButtons_) b->setEnabled(any);
}

void TSettingsDialog::UplinkUpClick() {
  Select(linkList_, MoveEntry(store_.Uplinks(), Selected(linkList_), -1));
}

void TSettingsDialog::UplinkDownClick() {
  Select(linkList_, MoveEntry(store_.Uplinks(), Selected(linkList_), +1));
}

void TSettingsDialog::ShowLinkPropertiesClick() {
  TLinkList& links = store_.Uplinks();
  const int index = Selected(linkList_);
  if (index < 0 || index >= links.GetCount()) return;
  TNetLinkProperties properties(*links.GetItem(index), links, store_.Mailboxes(), packers_, this);
  ExecModal(properties);
  Select(linkList_, index);
}

// --- Mailboxes ----------------------------------------------------------------------------------

void TSettingsDialog::ShowMailbox() {
  const int index = Selected(mbList_);
  shownMailbox_ = index;
  TMBList& list = store_.Mailboxes();
  const bool any = index >= 0 && index < list.GetCount();
  for (QWidget* w : std::initializer_list<QWidget*>{mbName_, mbSysop_, mbAddress_, mbNumbers_})
    w->setEnabled(any);
  for (QPushButton* b : mbEntryButtons_) b->setEnabled(any);
  const TMailboxFields fields = any ? MailboxFields(*list.GetItem(index)) : TMailboxFields{};
  mbName_->setText(AnsiText(fields.name));
  mbSysop_->setText(AnsiText(fields.sysop));
  mbAddress_->setText(AnsiText(fields.address));
  SetLines(mbNumbers_, fields.numbers);
  mbEdited_ = false;
}

bool TSettingsDialog::StoreMailbox() {
  TMBList& list = store_.Mailboxes();
  if (!mbEdited_ || shownMailbox_ < 0 || shownMailbox_ >= list.GetCount()) return true;
  const TMailboxFields fields{AnsiBytes(mbName_->text()), AnsiBytes(mbSysop_->text()),
                              AnsiBytes(mbAddress_->text()), LineBytes(mbNumbers_)};
  TMailBox& box = *list.GetItem(shownMailbox_);
  const TMailboxFields old = MailboxFields(box);
  if (fields.name == old.name && fields.sysop == old.sysop && fields.address == old.address &&
      fields.numbers == old.numbers)
    return true;
  const QSignalBlocker block(mbList_);
  const std::string error = StoreMailboxFields(fields, box, list);
  Select(mbList_, shownMailbox_);
  if (error.empty()) {
    mbEdited_ = false;
    return true;
  }
  notebook_->setCurrentWidget(mbList_->parentWidget());
  Refused(error);
  return false;
}

void TSettingsDialog::AddMBClick() {
  if (!StoreMailbox()) return;
  store_.AddDefaultMailbox();
  Select(mbList_, store_.Mailboxes().GetCount() - 1);
  ShowMailbox();
}

void TSettingsDialog::DeleteMBClick() {
  TMBList& list = store_.Mailboxes();
  const int index = Selected(mbList_);
  if (index < 0 || index >= list.GetCount()) return;
  {
    const QSignalBlocker block(mbList_);
    list.Delete(index);  // the list keeps the object alive
    Select(mbList_, index);
  }
  ShowMailbox();
}

void TSettingsDialog::MBUpClick() {
  if (!StoreMailbox()) return;
  const QSignalBlocker block(mbList_);
  Select(mbList_, MoveEntry(store_.Mailboxes(), Selected(mbList_), -1));
  shownMailbox_ = Selected(mbList_);
}

void TSettingsDialog::MBDownClick() {
  if (!StoreMailbox()) return;
  const QSignalBlocker block(mbList_);
  Select(mbList_, MoveEntry(store_.Mailboxes(), Selected(mbList_), +1));
  shownMailbox_ = Selected(mbList_);
}

void TSettingsDialog::MailboxPropertiesClick() {
  if (!StoreMailbox()) return;
  TMBList& list = store_.Mailboxes();
  const int index = Selected(mbList_);
  if (index < 0 || index >= list.GetCount()) return;
  std::vector<std::string> profiles;
  if (TMailerConfig* config = GetMailerConfig())
    for (int i = 0; i < config->Mailers().GetCount(); ++i)
      profiles.push_back(config->Mailers().GetString(i));
  TMBProperties properties(*list.GetItem(index), list, profiles, store_.Values()->FileListPage(),
                           this);
  {
    const QSignalBlocker block(mbList_);
    ExecModal(properties);
    Select(mbList_, index);
  }
  ShowMailbox();
}

// --- Areas -------------------------------------------------------------------------------------

void TSettingsDialog::UpdateInfo() {
  const int index = Selected(areaList_);
  TAreaList& areas = store_.Areas();
  const bool any = index >= 0 && index < areas.GetCount();
  killArea_->setEnabled(any && TConfigStore::CanKillArea(*areas.GetItem(index)));
  for (QPushButton* b : areaEntryButtons_) b->setEnabled(any);
  areaProperties_->setEnabled(any && TConfigStore::HasAreaProperties(*areas.GetItem(index)));
}

void TSettingsDialog::ShowAreaPropertiesClick() {
  TAreaList& areas = store_.Areas();
  const int index = Selected(areaList_);
  if (index < 0 || index >= areas.GetCount()) return;
  TArea& area = *areas.GetItem(index);
  if (!TConfigStore::HasAreaProperties(area)) return;
  TAreaProperties properties(area, store_, this);
  ExecModal(properties);
}

void TSettingsDialog::AreaPrototypeClick() {
  TAreaProperties properties(store_.Prototype(), store_, this);
  ExecModal(properties);
}

void TSettingsDialog::DoAddAreaClick() {
  TAddAreaAssistent assistant(store_, echoAreas_, this);
  ExecModal(assistant);
  if (TArea* added = assistant.AddedArea()) Select(areaList_, store_.Areas().IndexOf(added));
  UpdateInfo();
}

void TSettingsDialog::KillAreaClick() {
  TAreaList& areas = store_.Areas();
  const int index = Selected(areaList_);
  if (index < 0 || index >= areas.GetCount()) return;
  TArea& area = *areas.GetItem(index);
  if (area.IsSeparator()) {
    store_.KillSeparator(index);
  } else if (TConfigStore::CanKillArea(area)) {
    TKillAreaAssistent assistant(store_, this);
    AddAreaNameItem(assistant.KillList, area.Name);
    assistant.Execute();
  }
  Select(areaList_, index);
  UpdateInfo();
}

void TSettingsDialog::AddSepClick() {
  store_.AddAreaQuiet(kSeparatorName, "Separator", AreaTypeCode::Separator, nullptr);
  Select(areaList_, store_.Areas().GetCount() - 1);
  UpdateInfo();
}

void TSettingsDialog::AreaUpClick() {
  Select(areaList_, MoveEntry(store_.Areas(), Selected(areaList_), -1));
}

void TSettingsDialog::AreaDownClick() {
  Select(areaList_, MoveEntry(store_.Areas(), Selected(areaList_), +1));
}

void TSettingsDialog::AreaSortClick() {
  SortAreas(store_.Areas());
  Select(areaList_, 0);
}

void TSettingsDialog::AreaAddOldOnesClick() {
  const std::vector<TInactiveArea> found = InactiveAreas(store_.MessageBaseDir(), store_.Areas());
  if (found.empty()) {
    platform::GetPrompter().Inform(kNoInactiveAreasText);
    return;
  }
  TLinkList& links = store_.Uplinks();
  TNetLink* uplink = links.GetCount() > 0 ? links.GetItem(0) : nullptr;
  for (const TInactiveArea& old : found) {
    if (!platform::GetPrompter().Confirm(AddOldAreaQuestion(old))) continue;
    TArea* area = AdoptInactiveArea(store_, old, uplink);
    if (!area) continue;
    if (snapshot_) snapshot_->TakeBackOnRestore(area);  // Cancel takes it off again
    if (area->OpenIndex()) {
      area->RebuildReplyKeys();
      area->CloseIndex();
    }
  }
  UpdateInfo();
}

// --- Packers -----------------------------------------------------------------------------------

void TSettingsDialog::ShowPacker() {
  const int index = Selected(packerList_);
  shownPacker_ = index;
  const bool any = packers_ && index >= 0 && index < packers_->GetCount();
  for (QWidget* w : std::initializer_list<QWidget*>{pckName_, pckPack_, pckUnpack_})
    w->setEnabled(any);
  for (QPushButton* b : pckEntryButtons_) b->setEnabled(any);
  const TPackerFields fields =
      any ? PackerFields(*packers_, *packers_->GetItem(index)) : TPackerFields{};
  pckName_->setText(AnsiText(fields.name));
  pckPack_->setText(FilledPathText(pckPack_, fields.pack));
  pckUnpack_->setText(FilledPathText(pckUnpack_, fields.unpack));
  pckEdited_ = false;
}

bool TSettingsDialog::StorePacker() {
  if (!pckEdited_ || !packers_ || shownPacker_ < 0 || shownPacker_ >= packers_->GetCount())
    return true;
  TPacker& packer = *packers_->GetItem(shownPacker_);
  const TPackerFields old = PackerFields(*packers_, packer);
  TPackerFields fields = old;
  fields.name = AnsiBytes(pckName_->text());
  fields.pack = FieldPathBytes(pckPack_, pckPack_->text());
  fields.unpack = FieldPathBytes(pckUnpack_, pckUnpack_->text());
  if (fields.name == old.name && fields.pack == old.pack && fields.unpack == old.unpack)
    return true;
  const QSignalBlocker block(packerList_);
  const std::string error = StorePackerFields(fields, packer, *packers_);
  Select(packerList_, shownPacker_);
  if (error.empty()) {
    pckEdited_ = false;
    return true;
  }
  notebook_->setCurrentWidget(packerList_->parentWidget());
  Refused(error);
  return false;
}

void TSettingsDialog::AddNewPackerClick() {
  if (!packers_ || !StorePacker()) return;
  auto packer = std::make_unique<TPacker>();
  packer->SetPack("Pack command line");
  packer->SetUnPack("Unpack command line");
  {
    const QSignalBlocker block(packerList_);
    packers_->AddPacker("New Packer", std::move(packer));
    Select(packerList_, packers_->GetCount() - 1);
  }
  ShowPacker();
}

void TSettingsDialog::KillPackerClick() {
  const int index = Selected(packerList_);
  if (!packers_ || index < 0 || index >= packers_->GetCount()) return;
  {
    const QSignalBlocker block(packerList_);
    packers_->Delete(index);  // the list keeps the object alive for running workers
    Select(packerList_, index);
  }
  ShowPacker();
}

void TSettingsDialog::PackerPropertiesClick() {
  if (!packers_ || !StorePacker()) return;
  const int index = Selected(packerList_);
  if (index < 0 || index >= packers_->GetCount()) return;
  TPackerProperties properties(*packers_->GetItem(index), *packers_, this);
  {
    const QSignalBlocker block(packerList_);
    ExecModal(properties);
    Select(packerList_, index);
  }
  ShowPacker();
}

void TSettingsDialog::PackerUpClick() {
  if (!packers_ || !StorePacker()) return;
  const QSignalBlocker block(packerList_);
  Select(packerList_, MoveEntry(*packers_, Selected(packerList_), -1));
  shownPacker_ = Selected(packerList_);
}

void TSettingsDialog::PackerDownClick() {
  if (!packers_ || !StorePacker()) return;
  const QSignalBlocker block(packerList_);
  Select(packerList_, MoveEntry(*packers_, Selected(packerList_), +1));
  shownPacker_ = Selected(packerList_);
}

bool ShowSettingsDialog(TConfigStore& store, TPckList* packers, TAreaManager* echoAreas,
                        QWidget* parent, const std::function<void(TSettingsDialog&)>& prepare) {
  TSettingsDialog dialog(store, packers, echoAreas, parent);
  if (prepare) prepare(dialog);
  return ExecModal(dialog) == QDialog::Accepted;
}

}  // namespace velmaris
