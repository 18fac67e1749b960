#include "mailer/forms/FileReqEditor.h"

#include <QAbstractListModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/ConfigStore.h"
#include "core/ShellServices.h"
#include "core/WinLst.h"
#include "core/forms/ComboBoxLink.h"
#include "core/forms/FormText.h"
#include "core/forms/ListBoxLink.h"
#include "mailer/Mailers.h"
#include "mailer/forms/MailboxDialogs.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "widgets/BetterPlacement.h"
#include "widgets/HelpKey.h"
#include "widgets/ModalHook.h"

namespace velmaris {

// The file list as rows, asked for as they are shown, each from the list's
// code page (so that the OEM page's box lines show as lines too).
class TFileListModel : public QAbstractListModel {
 public:
  TFileListModel(const TFileList& list, const int& tabSize, TConfigStore& store, QObject* parent)
      : QAbstractListModel(parent), list_(list), tabSize_(tabSize), store_(store) {}
  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : list_.Count();
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || index.row() >= list_.Count()) return {};
    return QString::fromStdString(
        platform::ToUtf8(list_.Line(index.row(), tabSize_), store_.Values()->FileListPage()));
  }
  void Reset() {
    beginResetModel();
    endResetModel();
  }

 private:
  const TFileList& list_;
  const int& tabSize_;
  TConfigStore& store_;
};

namespace {

// The bytes of a request line as they go into the request file.
constexpr int kLineBytesRole = Qt::UserRole;

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

}  // namespace

TFileReqEditor::TFileReqEditor(TConfigStore& store, QWidget* parent)
    : QMainWindow(parent), store_(store) {
  setObjectName("FileReqEditor");
  BindHelpKey(this, platform::kHelpFileRequest);
  outbound_ = platform::WithoutSlash(store_.Values()->OutboundDir());
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel("Address"));
  top->addWidget(EdAddress = Named(new QLineEdit, "EdAddress"));
  top->addWidget(BtnChooseSystem = Named(new QPushButton("..."), "BtnChooseSystem"));
  BtnChooseSystem->setFixedWidth(32);
  top->addWidget(new QLabel("File list"));
  top->addWidget(EdFileList = Named(new QLineEdit, "EdFileList"));
  top->addWidget(BtnFileList = Named(new QPushButton("..."), "BtnFileList"));
  BtnFileList->setFixedWidth(32);
  top->addWidget(new QLabel("Mailer"));
  top->addWidget(CbMailer = Named(new QComboBox, "CbMailer"));
  top->addWidget(WList = Named(new QListWidget, "WList"));
  WList->setFixedSize(143, 44);
  WList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // long captions are elided
  layout->addLayout(top);

  auto* split = new QSplitter(central);
  auto* areaPane = new QWidget;
  auto* areaLayout = new QVBoxLayout(areaPane);
  areaLayout->addWidget(AreaTitle = Named(new QLabel, "AreaTitle"));
  // The title may be a whole sentence ("No area indicator defined !"): it
  // wraps, and the pane keeps room for a few words of it.
  AreaTitle->setWordWrap(true);
  areaPane->setMinimumWidth(120);
  areaLayout->addWidget(AreaList = Named(new QListWidget, "AreaList"), 1);
  areaLayout->addStretch(0);  // keeps the title at the top while the list is hidden
  AreaList->hide();           // shown when a scan finds areas
  split->addWidget(areaPane);
  FileListBox = Named(new QListView, "FileListBox");
  FileListBox->setUniformItemSizes(true);
  model_ = new TFileListModel(list_, tabSize_, store_, this);
  FileListBox->setModel(model_);
  split->addWidget(FileListBox);
  auto* requestPane = new QWidget;
  auto* requestLayout = new QVBoxLayout(requestPane);
  // Each panel: a title bar with its show/hide button, then its body.
  auto panel = [&](QToolButton*& button, QWidget*& body, const char* name, const QString& title) {
    button = Named(new QToolButton, name);
    button->setText(title);
    button->setCheckable(true);
    button->setChecked(true);
    button->setArrowType(Qt::DownArrow);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    requestLayout->addWidget(button);
    body = new QWidget;
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    requestLayout->addWidget(body, 1);
    return bodyLayout;
  };
  QVBoxLayout* request = panel(RequestPanelBtn, RequestPanel, "RequestPanelBtn", "Request");
  RequestPanel->setObjectName("RequestPanel");
  request->addWidget(RequestList = Named(new QListWidget, "RequestList"));
  RequestList->installEventFilter(this);
  request->addWidget(CountLabel = Named(new QLabel("No files"), "CountLabel"));
  auto* add = new QHBoxLayout;
  add->addWidget(EdNewName = Named(new QLineEdit, "EdNewName"));
  add->addWidget(BtnAdd = Named(new QPushButton("Add"), "BtnAdd"));
  request->addLayout(add);
  QVBoxLayout* magic = panel(MagicPanelBtn, MagicPanel, "MagicPanelBtn", "Magic names");
  MagicPanel->setObjectName("MagicPanel");
  magic->addWidget(MagicList = Named(new QListWidget, "MagicList"));
  MagicList->addItems(
      {"FILES", "NEWFILES", "ALLFILES", "NODELIST", "POINTLIST", "NODEDIFF", "POINTDIFF"});
  requestLayout->addStretch(0);
  split->addWidget(requestPane);
  split->setSizes({140, 300, 320});
  layout->addWidget(split);
  setCentralWidget(central);

  // Two rows of buttons, so that the window's first size shows them all:
  // the request's commands, then the file list's and the request lines'.
  QToolBar* bar = addToolBar("Request");
  bar->setObjectName("RequestBar");
  auto menuOnly = [this](QAction*& a, const char* name, const QString& text) {
    a = new QAction(text, this);
    a->setObjectName(name);
  };
  auto action = [&menuOnly, &bar](QAction*& a, const char* name, const QString& text) {
    menuOnly(a, name, text);
    bar->addAction(a);
  };
  action(NewRequest, "NewRequest", "New request");
  action(ChooseSystem, "ChooseSystem", "Choose system");
  action(RequestIt, "RequestIt", "Save");
  action(SaveAndClose, "SaveAndClose", "Save and close");
  action(ImmediateRequest, "ImmediateRequest", "Save and poll");
  action(LoadRequestAction, "LoadRequest", "Load request");
  action(RecoverAction, "Recover", "Recover");
  addToolBarBreak();
  bar = addToolBar("File list");
  bar->setObjectName("FileListBar");
  action(LoadFileList, "LoadFileList", "Load file list");
  action(SearchAction, "Search", "Search");
  action(SearchAgain, "SearchAgain", "Search again");
  action(Calibrate, "Calibrate", "Calibrate area recognition");
  Calibrate->setIconText("Calibrate");  // the button's; the menu names it in full
  action(DeleteLine, "DeleteLine", "Delete line");
  action(ClearAll, "ClearAll", "Clear all");
  action(MailboxProperties, "MailboxProperties", "Mailbox properties");
  menuOnly(CloseWithoutSaving, "CloseWithoutSaving", "Close without saving");
  menuOnly(SettingsAction, "Settings", "Settings");
  menuOnly(UplinksAction, "Uplinks", "Uplinks");
  menuOnly(MailboxesAction, "Mailboxes", "Mailboxes");
  menuOnly(DisplayAction, "Display", "Display");
  auto menu = [this](const char* name, const QString& title,
                     std::initializer_list<QAction*> items) {
    QMenu* m = menuBar()->addMenu(title);
    m->setObjectName(name);
    for (QAction* a : items) {
      if (a) {
        m->addAction(a);
      } else {
        m->addSeparator();
      }
    }
  };
  menu("RequestMenu", "&Request",
       {NewRequest, ChooseSystem, LoadRequestAction, RecoverAction, nullptr, RequestIt,
        SaveAndClose, ImmediateRequest, nullptr, CloseWithoutSaving});
  menu("FileListMenu", "&File list", {LoadFileList, SearchAction, SearchAgain, Calibrate});
  menu("EditMenu", "&Edit", {DeleteLine, ClearAll});
  menu("SettingsMenu", "&Settings",
       {MailboxProperties, nullptr, SettingsAction, UplinksAction, MailboxesAction, DisplayAction});

  // The profiles' names, kept up to date by the list.
  if (TMailerConfig* profiles = GetMailerConfig())
    mailerLink_ = std::make_unique<TComboAttachment>(profiles->Mailers(), CbMailer);

  connect(RequestIt, &QAction::triggered, this, &TFileReqEditor::RequestItClick);
  connect(SaveAndClose, &QAction::triggered, this, [this] {
    if (WriteRequest()) close();
  });
  connect(ImmediateRequest, &QAction::triggered, this, &TFileReqEditor::ImmediateRequestClick);
  connect(NewRequest, &QAction::triggered, this, &TFileReqEditor::NewRequestClick);
  connect(ChooseSystem, &QAction::triggered, this, &TFileReqEditor::ChooseSystemClick);
  connect(LoadRequestAction, &QAction::triggered, this, [this] {
    const bool was = autoLoad_;
    autoLoad_ = true;
    LoadRequest();
    autoLoad_ = was;
  });
  connect(RecoverAction, &QAction::triggered, this, &TFileReqEditor::Recover);
  connect(SearchAction, &QAction::triggered, this, &TFileReqEditor::SearchClick);
  connect(SearchAgain, &QAction::triggered, this, &TFileReqEditor::SearchAgainClick);
  connect(Calibrate, &QAction::triggered, this, &TFileReqEditor::CalibrateClick);
  connect(DeleteLine, &QAction::triggered, this, &TFileReqEditor::DeleteLineClick);
  connect(ClearAll, &QAction::triggered, this, &TFileReqEditor::ClearAllClick);
  connect(LoadFileList, &QAction::triggered, this, &TFileReqEditor::LoadFileListClick);
  connect(BtnChooseSystem, &QPushButton::clicked, this, &TFileReqEditor::ChooseSystemClick);
  connect(CloseWithoutSaving, &QAction::triggered, this, &QWidget::close);
  const std::pair<QAction*, const char*> pages[] = {{SettingsAction, ""},
                                                    {UplinksAction, "TabVerbindungen"},
                                                    {MailboxesAction, "TabMailboxen"},
                                                    {DisplayAction, "TabAnzeige"}};
  for (const auto& [a, page] : pages)
    connect(a, &QAction::triggered, this, [page] {
      if (TShellServices* shell = GetShellServices()) shell->ShowSettingsPage(page);
    });
  connect(BtnFileList, &QPushButton::clicked, this, &TFileReqEditor::LoadFileListClick);
  connect(MailboxProperties, &QAction::triggered, this, &TFileReqEditor::MailboxPropertiesClick);
  connect(RequestPanelBtn, &QToolButton::toggled, this, &TFileReqEditor::ShowRequestPanel);
  connect(MagicPanelBtn, &QToolButton::toggled, this, &TFileReqEditor::ShowMagicPanel);
  connect(BtnAdd, &QPushButton::clicked, this, &TFileReqEditor::AddClick);
  connect(EdNewName, &QLineEdit::returnPressed, this, &TFileReqEditor::AddClick);
  connect(EdAddress, &QLineEdit::editingFinished, this, &TFileReqEditor::AddressExit);
  connect(EdFileList, &QLineEdit::returnPressed, this, [this] {
    autoLoad_ = true;
    SetFileName(FieldPathBytes(EdFileList, EdFileList->text()));
  });
  // The user's choice only: the list refilling the combo changes nothing.
  connect(CbMailer, &QComboBox::activated, this,
          [this] { mailbox_.Command = AnsiBytes(CbMailer->currentText()); });
  connect(FileListBox, &QListView::doubleClicked, this, &TFileReqEditor::FileListActivated);
  connect(FileListBox, &QListView::clicked, this, &TFileReqEditor::FileListClick);
  connect(MagicList, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { AddRequestLine(AnsiBytes(item->text())); });
  connect(AreaList, &QListWidget::itemClicked, this, &TFileReqEditor::AreaClick);
  ApplySettings(*store_.Values());
  settingsSubscription_ = store_.SettingsModel().Subscribe(
      [this](const SettingsValues& values, const std::vector<SettingId>& changed) {
        for (SettingId id : changed)
          if (id == SettingId::mrFl || id == SettingId::FLToAnsI) return ApplySettings(values);
      });
  statusBar()->setObjectName("StatusBar");
  wListLink_ = std::make_unique<TListBoxLink>(WList);
  WinLst().AttachListBox(wListLink_.get());
  connect(WList, &QListWidget::itemDoubleClicked, this, &TFileReqEditor::WListDblClick);
  // The field shows the address the caption names, before any choice too.
  EdAddress->setText(AnsiText(mailbox_.Address.Text4D()));
  UpdateCaption();
  resize(760, 480);
  placement_ = new TBetterPlacement(this, QStringLiteral("FrEd"));
  placement_->Loaded();
}

TFileReqEditor::~TFileReqEditor() {
  // A field with the focus says editingFinished as the window goes: its
  // handler must not run on a window half destroyed.
  EdAddress->disconnect(this);
  placement_->SaveIfShown();  // shown at the end of the program
  WinLst().DetachListBox(wListLink_.get());
  if (listed_) WinLst().Remove(this);
  store_.SettingsModel().Unsubscribe(settingsSubscription_);
}

void TFileReqEditor::ApplySettings(const SettingsValues& values) {
  // File lists are laid out in columns: a fixed font when none is set.
  FileListBox->setFont(
      FontOf(values.FileListFont(), QFontDatabase::systemFont(QFontDatabase::FixedFont)));
  model_->Reset();
  ShowAreaNames();  // the list's code page may have changed
}

void TFileReqEditor::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!listed_) WinLst().Add(AnsiBytes(windowTitle()), this);
  listed_ = true;
}

void TFileReqEditor::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (listed_) WinLst().Remove(this);
  listed_ = false;
}

void TFileReqEditor::WListDblClick() {
  if (WList->currentRow() >= 0) ShowWindowListEntry(WList->currentRow());
}

void TFileReqEditor::ShowStatus(const QString& text) {
  statusBar()->showMessage(text);
  statusBar()->repaint();
}

bool TFileReqEditor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == RequestList && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete) {
      if (key->modifiers() & Qt::ControlModifier) {
        ClearAllClick();
      } else {
        DeleteLineClick();
      }
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TFileReqEditor::DeleteLineClick() {
  delete RequestList->currentItem();
  UpdateCount();
}

void TFileReqEditor::ClearAllClick() {
  RequestList->clear();
  UpdateCount();
}

void TFileReqEditor::ShowRequestPanel(bool shown) {
  RequestPanel->setVisible(shown);
  RequestPanelBtn->setChecked(shown);
  RequestPanelBtn->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
}

void TFileReqEditor::ShowMagicPanel(bool shown) {
  MagicPanel->setVisible(shown);
  MagicPanelBtn->setChecked(shown);
  MagicPanelBtn->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
}

void TFileReqEditor::LoadFileListClick() {
  QFileDialog dialog(this, "Load file list");
  dialog.setObjectName("OpenFileList");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  const QString current = EdFileList->text();
  dialog.setDirectory(current.isEmpty() ? PathText(store_.Values()->FileBaseDir())
                                        : QFileInfo(current).absolutePath());
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  autoLoad_ = true;
  SetFileName(PathBytes(dialog.selectedFiles().front()));
}

void TFileReqEditor::MailboxPropertiesClick() {
  if (!MailboxPropertiesHook) return;
  const std::string fileList = mailbox_.FileList;
  MailboxPropertiesHook(mailbox_);
  EdAddress->setText(AnsiText(mailbox_.Address.Text4D()));
  CbMailer->setCurrentIndex(CbMailer->findText(AnsiText(mailbox_.Command)));
  if (mailbox_.FileList != fileList) {
    SetFileName(mailbox_.FileList);  // scans the areas too
  } else {
    ScanAreas();
  }
  UpdateCaption();
}

void TFileReqEditor::SetMailBox(const TMailBox& mailbox) {
  mailbox_.Assign(mailbox);
  EdAddress->setText(AnsiText(mailbox_.Address.Text4D()));
  const int index = CbMailer->findText(AnsiText(mailbox_.Command));
  if (index >= 0) CbMailer->setCurrentIndex(index);
  const uint64_t loaded = listGeneration_;
  if (autoLoad_) SetFileName(mailbox_.FileList);
  // The areas follow this mailbox's indicator also over the list already
  // shown (kept, or the same file).
  if (listGeneration_ == loaded) ScanAreas();
  LoadRequest();
  UpdateCaption();
}

void TFileReqEditor::SetOutbound(const std::string& outbound) {
  outbound_ = platform::WithoutSlash(outbound);
}

void TFileReqEditor::SetTabSize(int size) {
  if (size < 0 || size > 16 || size == tabSize_) return;
  tabSize_ = size;
  model_->Reset();
}

std::string TFileReqEditor::Outbound() const { return outbound_; }

void TFileReqEditor::SetFileName(const std::string& name) {
  EdFileList->setText(FilledPathText(EdFileList, name));
  if (name == list_.Name() && !name.empty()) return;
  ++listGeneration_;
  try {
    if (!name.empty()) ShowStatus("Loading " + PathText(name) + " ...");
    list_.Load(name, [this, &name] { ShowStatus("Creating index fo " + PathText(name) + " ..."); });
  } catch (const std::exception& e) {
    statusBar()->clearMessage();
    platform::GetPrompter().Error(e.what());
  }
  model_->Reset();
  ScanAreas();
  UpdateCaption();
}

void TFileReqEditor::LoadMailText(const std::string& text) {
  ++listGeneration_;
  list_.LoadText(text);
  model_->Reset();
  ScanAreas();
  UpdateCaption();
}

void TFileReqEditor::LoadRequest() {
  if (!autoLoad_) return;
  RequestList->clear();
  const std::string path =
      RequestFilePath(outbound_, defaultZone_, mailbox_.Address.Address(), ".req");
  try {
    // Written from the file list's page: shown from it, and written back as
    // the same bytes.
    for (const std::string& line : ReadRequestFile(path)) AddRequestLine(line, ListPage());
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
  UpdateCount();
}

std::vector<std::string> TFileReqEditor::RequestLines() const {
  std::vector<std::string> lines;
  for (int i = 0; i < RequestList->count(); ++i) {
    const QListWidgetItem* item = RequestList->item(i);
    const QVariant bytes = item->data(kLineBytesRole);
    lines.push_back(bytes.isValid() ? bytes.toByteArray().toStdString() : AnsiBytes(item->text()));
  }
  return lines;
}

bool TFileReqEditor::WriteRequest() {
  const std::vector<std::string> lines = RequestLines();
  if (lines.empty()) return true;
  try {
    WriteRequestFiles(lines, outbound_, defaultZone_, mailbox_.Address.Address());
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
    return false;
  }
  if (TMailerConfig* profiles = GetMailerConfig()) {
    for (int i = 0; i < profiles->Mailers().GetCount(); ++i)
      if (TMailerWindow* w = profiles->Mailers().GetMailer(i)->Window()) w->ScanOutbound();
  }
  return true;
}

void TFileReqEditor::Recover() {
  const TRecoverResult r = RecoverRequest(outbound_, defaultZone_, mailbox_.Address.Address(), [] {
    return platform::GetPrompter().Ask(
               platform::MsgKind::Warning,
               "There already exists a file reqeust for this address. Do you want to discard the "
               "new file request and keep the saved one ?",
               platform::mbYes | platform::mbNo) == platform::mbYes;
  });
  if (r == TRecoverResult::NoOldRequest)
    platform::GetPrompter().Error("No old request available !");
  if (r == TRecoverResult::Failed) platform::GetPrompter().Error("Could not recover old request!");
  if (r == TRecoverResult::Recovered) {
    const bool was = autoLoad_;
    autoLoad_ = true;
    LoadRequest();
    autoLoad_ = was;
  }
}

void TFileReqEditor::ScanAreas() {
  ShowStatus("Scanne for Areas ...");
  AreaList->hide();
  areas_ = ScanFileAreas(list_, mailbox_);
  ShowAreaNames();
  if (mailbox_.AreaIndicator.empty())
    AreaTitle->setText("  No area indicator defined !");
  else if (areas_.empty())
    AreaTitle->setText("  No areas found");
  else
    AreaTitle->setText("  Areas: " + QString::number(areas_.size()));
  AreaList->setVisible(!areas_.empty());
  statusBar()->clearMessage();
}

void TFileReqEditor::ShowAreaNames() {
  const int current = AreaList->currentRow();
  AreaList->clear();
  for (const TFileArea& a : areas_) AreaList->addItem(ListText(a.Name));
  if (current < AreaList->count()) AreaList->setCurrentRow(current);
}

QString TFileReqEditor::ListText(const std::string& bytes) const {
  return QString::fromStdString(platform::ToUtf8(bytes, ListPage()));
}

void TFileReqEditor::AddRequestLine(const std::string& line) {
  AddRequestLine(line, platform::AnsiCodePage());
}

void TFileReqEditor::AddRequestLine(const std::string& line, platform::CodePage page) {
  if (line.empty()) return;
  auto* item = new QListWidgetItem(QString::fromStdString(platform::ToUtf8(line, page)));
  item->setData(kLineBytesRole, QByteArray::fromStdString(line));
  RequestList->addItem(item);
  UpdateCount();
}

platform::CodePage TFileReqEditor::ListPage() const { return store_.Values()->FileListPage(); }

void TFileReqEditor::UpdateCount() {
  const int n = RequestList->count();
  CountLabel->setText(n ? QString::number(n) + " files" : "No files");
}

void TFileReqEditor::UpdateCaption() {
  QString caption = AnsiText(chosenName_) + "(" + AnsiText(mailbox_.Address.Text4D()) + ")";
  if (list_.Name().empty()) {
    caption += " - No file list loaded !";
  } else {
    caption += ": " + PathText(list_.Name()) + " with " + QString::number(list_.Count()) +
               " lines, " + QString::number(list_.Size()) + " bytes";
  }
  SetCaption(caption);
}

void TFileReqEditor::SetCaption(const QString& caption) {
  setWindowTitle(caption);
  if (!listed_) return;
  const int entry = WinLst().IndexOfObject(this);
  if (entry >= 0) WinLst().SetString(entry, AnsiBytes(caption));
}

void TFileReqEditor::RequestItClick() {
  if (WriteRequest()) platform::GetPrompter().Inform("Request saved.");
}

void TFileReqEditor::ImmediateRequestClick() {
  if (!WriteRequest()) return;
  mailbox_.Command = AnsiBytes(CbMailer->currentText());
  mailbox_.StartMailer();
}

void TFileReqEditor::NewRequestClick() {
  TGetBBSRequest chooser(store_, this);
  chooser.setWindowTitle("Request files from");
  if (!chooser.Execute() || !chooser.Chosen()) return;
  chosenName_ = chooser.GetSelectedName();
  autoLoad_ = true;
  SetMailBox(*chooser.Chosen());
}

void TFileReqEditor::ChooseSystemClick() {
  TGetBBSRequest chooser(store_, this);
  chooser.setWindowTitle("Request files from");
  autoLoad_ = false;
  if (chooser.Execute() && chooser.Chosen()) {
    chosenName_ = chooser.GetSelectedName();
    SetMailBox(*chooser.Chosen());
  }
  autoLoad_ = true;
}

void TFileReqEditor::CalibrateClick() {
  const int current = FileListBox->currentIndex().row();
  if (current < 0 || current >= list_.Count()) return;
  std::vector<std::string> lines;
  for (int i = std::max(0, current - 2); i <= std::min(list_.Count() - 1, current + 2); ++i)
    lines.emplace_back(list_.Raw(i));
  TASCalibrator calibrator(store_, mailbox_, lines, ListPage(), this);
  if (calibrator.Execute()) ScanAreas();
}

void TFileReqEditor::SearchClick() {
  if (searching_) return;
  QDialog dialog(this);
  dialog.setObjectName("FindDialog");
  dialog.setWindowTitle("Search");
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = Named(new QLineEdit(searchText_), "EdFind");
  auto* matchCase = Named(new QCheckBox("Match case"), "CbMatchCase");
  matchCase->setChecked(matchCase_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(new QLabel("Text"));
  layout->addWidget(text);
  layout->addWidget(matchCase);
  layout->addWidget(buttons);
  text->selectAll();
  if (ExecModal(dialog) != QDialog::Accepted) return;
  searchText_ = text->text();
  matchCase_ = matchCase->isChecked();
  SearchAgainClick();
}

int TFileReqEditor::FindFrom(int from) {
  const uint64_t generation = listGeneration_;
  // A text with a character the list's page lacks is found nowhere.
  const std::optional<std::string> needle = ListBytes(searchText_);
  if (!needle) return -1;
  return list_.FindInPage(*needle, from, matchCase_, ListPage(), [this, generation] {
    QApplication::processEvents();
    return generation == listGeneration_;
  });
}

void TFileReqEditor::SearchAgainClick() {
  if (searchText_.isEmpty() || searching_) return;
  searching_ = true;
  SetCaption("Searching \"" + searchText_ + "\" ...");
  const uint64_t generation = listGeneration_;
  int found = FindFrom(FileListBox->currentIndex().row());
  if (found < 0 && generation == listGeneration_ &&
      platform::GetPrompter().Confirm("End of file reached !Do you want tocontinue from start?") &&
      generation == listGeneration_)
    found = FindFrom(-1);
  searching_ = false;
  UpdateCaption();
  if (found < 0 || generation != listGeneration_) return;
  const QModelIndex index = model_->index(found);
  FileListBox->setCurrentIndex(index);
  FileListBox->scrollTo(index);
}

std::optional<std::string> TFileReqEditor::ListBytes(const QString& text) const {
  // Composed, as the code pages hold letters: a typed "й" may come as "и"
  // and a combining breve.
  return platform::FromUtf8Exact(text.normalized(QString::NormalizationForm_C).toStdString(),
                                 ListPage());
}

void TFileReqEditor::AddClick() {
  // The request file is read with the file list's names, so a typed name
  // goes in in the list's code page as a picked one does. A name that page
  // cannot hold is refused rather than written with stand-ins, and stays in
  // the field to be mended.
  const std::optional<std::string> name = ListBytes(EdNewName->text().trimmed());
  if (!name) {
    platform::GetPrompter().Error(std::string("The name holds characters that the file list's "
                                              "code page ") +
                                  platform::CodePageName(ListPage()) +
                                  " cannot hold. It was not added to the request.");
    return;
  }
  AddRequestLine(*name, ListPage());
  EdNewName->clear();
}

void TFileReqEditor::AddressExit() {
  mailbox_.Address.SetText(AnsiBytes(EdAddress->text()));
  // Malformed text keeps the address: the field shows the one in use.
  EdAddress->setText(AnsiText(mailbox_.Address.Text4D()));
  UpdateCaption();
}

void TFileReqEditor::FileListActivated(const QModelIndex& index) {
  if (index.row() >= list_.Count()) return;
  std::string line(list_.Raw(index.row()));
  line.erase(0,
             std::min(line.size(),
                      static_cast<size_t>(
                          std::find_if(line.begin(), line.end(),
                                       [](char c) { return static_cast<unsigned char>(c) >= 33; }) -
                          line.begin())));
  AddRequestLine(line, ListPage());
}

void TFileReqEditor::AreaClick() {
  const int row = AreaList->currentRow();
  if (row < 0 || row >= static_cast<int>(areas_.size())) return;
  const QModelIndex index = model_->index(
      std::clamp(areas_[row].Line + mailbox_.AreaLine, 0, std::max(0, list_.Count() - 1)));
  FileListBox->setCurrentIndex(index);
  FileListBox->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void TFileReqEditor::FileListClick(const QModelIndex& index) {
  const int area = AreaOfLine(areas_, index.row());
  if (area >= 0)
    AreaList->setCurrentRow(area);
  else
    AreaList->clearSelection();
}

}  // namespace velmaris
