// Find in the displayed text and the Edit menu of the message list window
// (clipboard, saving the selected text).
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
#include "platform/Help.h"
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
  const std::string file = PathBytes(dialog.selectedFiles().first());
  platform::Fd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd.ok()) {
    platform::GetPrompter().Error("Could not create file \"" + file + " !");
    return;
  }
  if (!platform::WriteAll(fd.get(), bytes))
    platform::GetPrompter().Error("Could not write to file \"" + file + " !");
}

void TMessageListWindow::E1Click() { toolbar_->Customize(platform::kHelpSpeedBar); }

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


}  // namespace velmaris
