// Stepping through the area in the message list window, and the events of
// the list, the tree and the text viewer (clicks and keys).
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
#include "widgets/TextView.h"
#include "widgets/TreeNT.h"
#include "widgets/VxColors.h"

#include "app/MsgWinCommon.h"

namespace velmaris {

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
      // Only a tree on the screen takes the focus: in the message view it
      // lies hidden with the list, and the keys would vanish into it.
      if (!tree_->isVisible()) return false;
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
    right ? ShowNextSameClick() : ShowPrevSameClick();
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


}  // namespace velmaris
