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
#include <QMouseEvent>
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
#include "app/MsgWinCommon.h"
#include "app/MsgWinImages.h"
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
#include "widgets/TextView.h"
#include "widgets/TreeNT.h"
#include "widgets/VxColors.h"

namespace velmaris {

namespace {

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

}  // namespace

std::string MessageWindowCaption(const TArea& area) { return "Area: " + area.NameInAnsi(); }

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
  BuildListCommands();
  BuildForwardCommands();
  WinLst().Add("No area assigned", this);
  WinLst().AttachListBox(wListLink_.get());
  ApplySettings();
  // The window takes its stored size first: the tool bar's stored layout is
  // read against the width the window gives it.
  placement_ = new TBetterPlacement(this, QStringLiteral("MessageReader"));
  placement_->Loaded();
  LoadLayout();
  try {
    listBox_->Columns().LoadWidths(IniPath());
  } catch (const std::exception&) {
    // Default widths.
  }
  SetMessageView(true);  // a change, so the list view below takes effect
  SetMessageView(false);
  UpdateCaption();
  UpdateCommands();
}

TMessageListWindow::~TMessageListWindow() {
  // A field with the focus says editingFinished as the window goes: its
  // handler must not run on a window half destroyed.
  iemRight_->disconnect(this);
  placement_->SaveIfShown();  // shown at the end of the program
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
  Threads.Clear();
  tree_->Items().Clear();
  treePending_ = false;
  if (!area_) {
    setWindowTitle(QStringLiteral("Access blocked !"));
    DisplayList.Clear();
    listBox_->SetCount(0);
    return;
  }
  if (area_->Count > 0)
    setWindowTitle(AreaNameText(*area_) + " - " + QString::number(area_->Count) + " Messages");
  else
    SetMessageView(false);
  Building = true;
  BuildDisplayList();
  // The thread tree follows the first screen: it is built when the events
  // of this turn have been handled, or earlier by a command that needs it
  // (EnsureTree).
  if (TreeShown() && area_->Count > 0) {
    treePending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { Guarded([this] { EnsureTree(); }); }, Qt::QueuedConnection);
  }
  Building = false;
  SelectMessage(-1);
  if (IsMessageView()) ShowCurrentMessage();
  UpdateCaption();
  update();
}

void TMessageListWindow::EnsureTree() {
  // An exclusive holder may be rewriting the headers; its release rebuilds
  // the list and the tree.
  if (!treePending_ || !area_ || !area_->Lock(false)) return;
  treePending_ = false;
  struct Hold {
    TArea* area;
    ~Hold() { area->Unlock(); }
  } hold{area_};
  // The window is already up: the steps show in its status line, where they
  // take neither the screen nor the keyboard.
  auto* panel = findChild<QLabel*>("StatusPanel0");
  auto status = [panel](const QString& text) {
    panel->setText(text);
    panel->repaint();
  };
  status(QStringLiteral("Creating message list ..."));
  const bool building = Building;
  Building = true;
  Threads.Build(
      *area_, [&](const char* label) { status(QString::fromLatin1(label)); },
      [](int) { platform::GetPrompter().Error("REPLY cross reference !"); });
  status(QStringLiteral("Creating display ..."));
  BuildTree();
  if (CurrentIndex >= 0)
    if (TThreadNode* record = Threads.NodeOf(CurrentIndex))
      tree_->SetSelected(static_cast<TTreeNTNode*>(record->TreeNode));
  Building = building;
  UpdateStatusBar();
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
  return CurrentMail->ExpandMacros(text, area_->NameInAnsi());
}

// --- Views ----------------------------------------------------------------------------

void TMessageListWindow::SetMessageView(bool on) {
  const int mode = on ? 1 : 0;
  if (mode == ViewMode) return;
  ViewMode = mode;
  views_->setCurrentWidget(on ? textContainer_ : masterContainer_);
  navigator_->setVisible(on);
  ArrangeTopRow();
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
  setWindowTitle(QString::fromStdString(MsgListCaption(area_, DisplayList.Count())));
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
  // One key, two commands: the file request from the message in the
  // message view, the clean-up of the area elsewhere.
  if (QAction* cleanUp = Action("Aufrumen1"))
    cleanUp->setShortcut(v ? QKeySequence() : QKeySequence("Ctrl+M"));
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
  setWindowTitle(AreaNameText(*area_) + (exclusive ? " - exclusive locked" : " - locked"));
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

// --- Events
// ----------------------------------------------------------------------------------------

void TMessageListWindow::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (!event->isAccepted()) return;
  closing_ = true;
  deleteLater();
}

// The tool bar that asks for more room or gives some back (a button placed
// on it or dragged off) makes the window's layout ask for a new one.
bool TMessageListWindow::event(QEvent* event) {
  if (event->type() == QEvent::LayoutRequest && topRow_) ArrangeTopRow();
  return QMainWindow::event(event);
}

bool TMessageListWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == toolbar_->parentWidget()) ArrangeTopRow();
  if (event->type() == QEvent::MouseButtonRelease &&
      (watched == listBox_->viewport() || watched == msgText_->viewport())) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      const bool text = watched == msgText_->viewport();
      if (QMenu* popup = Menu(text ? "PopupSingle" : "MsgListPopup"))
        ExecPopupMenu(*popup, static_cast<QWidget*>(watched)->mapToGlobal(mouse->position().toPoint()));
      return true;
    }
  }
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
