// The message editor: creation and the list of open editors, the properties
// the composers set, the change handlers of the header fields, the area
// change, a new message and saving. The form is built in
// MessageEditorForm.cpp; the commands on the text are in
// MessageEditorCommands.cpp.
#include "app/MessageEditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/logic/EditorSave.h"
#include "app/logic/EditorText.h"
#include "core/AddressBook.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/Settings.h"
#include "core/TextGroups.h"
#include "core/WinLst.h"
#include "core/forms/ComboBoxLink.h"
#include "core/forms/FormText.h"
#include "core/forms/ListBoxLink.h"
#include "processing/AreaExport.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "widgets/BetterPlacement.h"
#include "widgets/DirBtn.h"
#include "widgets/ModalHook.h"
#include "widgets/VxCheckListBox.h"

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

TConfigStore* Store() { return GetConfigStore(); }

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

TMessageEditor::TMessageEditor(TEditorLinks links, QWidget* owner)
    : QMainWindow(owner, Qt::Window), links_(std::move(links)) {
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
  // A field with the focus says editingFinished as the window goes: its
  // handler must not run on a window half destroyed.
  NewReceiverAddress->disconnect(this);
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
  for (std::string& line : EditorTextToMailLines(Editor->toPlainText().toStdString(), rules))
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
    // The subject holds the path as message text (ANSI); the dialog shows
    // and gives the name on disk.
    const std::string current = AttachedFile(subject_);
    if (!current.empty() && platform::FileExists(current)) dialog.selectFile(PathText(current));
    if (ExecModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      std::string why;
      if (const auto subject = AttachSubject(PathBytes(dialog.selectedFiles().front()), why)) {
        SetSubject(*subject);
      } else {
        platform::GetPrompter().Warn(platform::AnsiToUtf8(why));
        const QSignalBlocker block(F_Attach);
        F_Attach->setChecked(false);
      }
    }
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

void TMessageEditor::LookupReceiverClick() {
  if (!links_.PickReceiver) return;
  std::string name, address;
  if (!links_.PickReceiver(this, AnsiBytes(NewReceiver->currentText()), name, address)) return;
  SetDestAddress(address);
  SetDestName(name);
  NewReceiverChange();
  NewReceiverAddressChange();
}

void TMessageEditor::Hilfe1Click() {
  platform::ShowHelp(platform::kHelpEditor);
}

void TMessageEditor::Hilfethemen1Click() {
  platform::ShowHelp(platform::kHelpContents);
}

void TMessageEditor::WListDblClick() { ShowWindowListEntry(WList->currentRow()); }

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
  const QString caption = area ? QStringLiteral("Message editor for area ") + AreaNameText(*area)
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
    if (CopyAreas->Checked(i))
      job.CopyAreas.push_back(CopyAreas->item(i)->data(Qt::UserRole).toByteArray().toStdString());
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

}  // namespace velmaris
