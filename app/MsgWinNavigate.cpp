// Commands of the message list window that change the flags of the shown
// message, search for flagged messages and messages of the same subject,
// select rows, and work on the thread tree (its context menus, catching up
// a thread, expanding and collapsing, keys).
#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <exception>
#include <functional>

#include "app/MsgWin.h"
#include "app/logic/MsgNavigate.h"
#include "core/Area.h"
#include "core/ShellServices.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "widgets/BetterListBox.h"
#include "widgets/ModalHook.h"
#include "widgets/TextView.h"
#include "widgets/TreeNT.h"

namespace velmaris {
namespace {

// Hands the tree's mouse and key events to the window's handlers. It goes
// with the tree, and knows the tree and its viewport only by address: it
// still sees the events sent while the tree is being destroyed, when no
// member of the tree may be called any more.
class TTreeEvents : public QObject {
 public:
  TTreeEvents(TMessageListWindow* window, TTreeNT* tree)
      : QObject(tree), window_(window), tree_(tree), viewport_(tree->viewport()) {
    tree->installEventFilter(this);
    tree->viewport()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == tree_ && event->type() == QEvent::KeyPress)
      return window_->TreeViewKeyDown(static_cast<QKeyEvent*>(event)->key());
    if (watched == viewport_ && event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton) {
        window_->TreeViewMouseUp(mouse->position().toPoint());
        return true;
      }
    }
    return false;
  }

 private:
  TMessageListWindow* window_;
  const QObject* tree_;
  const QObject* viewport_;
};

int NodeIndex(const TTreeNTNode* node) {
  return static_cast<int>(reinterpret_cast<intptr_t>(node->Data()));
}

}  // namespace

void TMessageListWindow::FlagBoxClick(QCheckBox* box) {
  const TFlagBox* flag = FindFlagBox(box->objectName().toStdString());
  if (!flag || !area_ || !CurrentMail || DisplayedIndex < 0) return;
  try {
    TMsgHeader& header = CurrentMail->Header;
    header.Flags = ApplyFlagBox(header.Flags, flag->Bit, box->isChecked());
    area_->SetHeader(DisplayedIndex, header);
    if (flag->RedrawRow) RefreshMessageFlags(DisplayedIndex);
    if (flag->RedrawAreaLine)
      if (TShellServices* shell = GetShellServices()) shell->UpdateAreaLine(*area_);
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TMessageListWindow::ShowFlaggedClick(bool next, uint16_t wanted) {
  if (!area_) return;
  const int found = next ? FindNextByFlags(CurrentIndex, wanted, 0)
                         : FindPrevByFlags(CurrentIndex, wanted, 0);
  if (found >= 0) GoToMessage(found);
}

void TMessageListWindow::ShowNextSameClick() {
  if (!area_ || CurrentIndex < 0) return;
  const std::string subject = area_->GetHeader(CurrentIndex).Subject.Str();
  const int found = FindNextSameTopic(CurrentIndex, 0, subject, 0);
  if (found >= 0) GoToMessage(found);
}

void TMessageListWindow::ShowPrevSameClick() {
  if (!area_ || CurrentIndex < 0) return;
  const std::string subject = area_->GetHeader(CurrentIndex).Subject.Str();
  const int found = FindPrevSameTopic(CurrentIndex, 0, subject, 0);
  if (found >= 0) GoToMessage(found);
}

void TMessageListWindow::DoSelectAll() { ListBox()->SelectAll(); }
void TMessageListWindow::DeSelectAll() { ListBox()->ClearSelection(); }
void TMessageListWindow::DoToggleSelection() { ListBox()->InvertSelection(); }

// --- Thread tree -----------------------------------------------------------------------

void TMessageListWindow::SelectThread(TTreeNTNode* node) {
  EnsureTree();
  ThreadMessages.clear();
  if (!node) return;
  const int index = NodeIndex(node);
  if (index >= 0) {
    ThreadMessages.push_back(index);
    return;
  }
  // A group: its record is the top-level record the node shows.
  for (const TThreadNode* record = Threads.RootNode.FirstChild; record; record = record->Next) {
    if (record->TreeNode == node) {
      ThreadMessages = ThreadSelection(record);
      return;
    }
  }
}

void TMessageListWindow::Threadaufholen1Click() {
  if (!area_ || ThreadMessages.empty()) return;
  if (!CatchUpMessages(*area_, ThreadMessages))
    platform::GetPrompter().Inform(platform::AnsiToUtf8(AreaInUseText(area_->NameInAnsi())));
}

void TMessageListWindow::Threadausklappen1Click() {
  EnsureTree();
  if (TTreeNTNode* node = TreeView()->Selected()) node->Expand(true);
}

void TMessageListWindow::Threadeinklappen1Click() {
  EnsureTree();
  if (TTreeNTNode* node = TreeView()->Selected()) node->Collapse(true);
}

void TMessageListWindow::Mailanzeigen1Click() { ShowCurrentMessage(); }
void TMessageListWindow::Allesausklappen1Click() {
  EnsureTree();
  TreeView()->FullExpand();
}
void TMessageListWindow::Alleseinklappen1Click() {
  EnsureTree();
  TreeView()->FullCollapse();
}

void TMessageListWindow::TreeViewMouseUp(QPoint point) {
  EnsureTree();
  TTreeNTNode* node = TreeView()->GetNodeAt(point.x(), point.y());
  const bool onText = node && node->DisplayRect(true).contains(point);
  QMenu* menu = Menu("TreeMenu");
  if (onText) {
    TreeView()->SetSelected(node);
    SelectThread(node);
    menu = Menu(NodeIndex(node) >= 0 ? "MailContext" : "ThreadContext");
  }
  if (!menu) return;
  FromThreadMenu = onText;
  ExecPopupMenu(*menu, TreeView()->viewport()->mapToGlobal(point));
  FromThreadMenu = false;
}

bool TMessageListWindow::TreeViewKeyDown(int key) {
  switch (key) {
    case Qt::Key_Backspace:
      if (IsMessageView())
        MsgText()->setFocus();
      else
        ListBox()->setFocus();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      ShowCurrentMessage();
      return true;
    case Qt::Key_Escape:
      if (IsMessageView())
        SetMessageView(false);
      else
        close();
      return true;
    default:
      return false;
  }
}

// --- Menus -------------------------------------------------------------------------------

void TMessageListWindow::BuildNavigateCommands() {
  for (QCheckBox* box : HeaderPanel()->findChildren<QCheckBox*>())
    if (FindFlagBox(box->objectName().toStdString()))
      connect(box, &QCheckBox::clicked, this, [this, box] { FlagBoxClick(box); });

  QMenu* nav = Menu("Navigator1");
  nav->addSeparator();
  struct Search {
    const char* name;
    const char* caption;
    bool next;
    uint16_t wanted;
  };
  const Search searches[] = {
      {"NchsteungeleseneMail1", "Следующее непрочитанное", true, MsgFlag::Unread},
      {"VorherigeungeleseneMail1", "Предыдущее непрочитанное", false, MsgFlag::Unread},
      {"NchsteanSysop1", "Следующее сисопу", true, MsgFlag::ToSysop},
      {"VorherigeanSysop1", "Предыдущее сисопу", false, MsgFlag::ToSysop},
      {"NchsteungeleseneanSysop1", "Следующее непрочитанное сисопу", true,
       MsgFlag::Unread | MsgFlag::ToSysop},
      {"VorherirgeungeleseneanSysop1", "Предыдущее непрочитанное сисопу", false,
       MsgFlag::Unread | MsgFlag::ToSysop},
  };
  for (const Search& s : searches) {
    QAction* action = MakeAction(nav, s.name, QString::fromUtf8(s.caption));
    connect(action, &QAction::triggered, this,
            [this, next = s.next, wanted = s.wanted] { ShowFlaggedClick(next, wanted); });
  }
  nav->addSeparator();
  nav->addAction(Action("ShowNextSame"));
  nav->addAction(Action("ShowPrevSame"));
  connect(Action("ShowNextSame"), &QAction::triggered, this, [this] { ShowNextSameClick(); });
  connect(Action("ShowPrevSame"), &QAction::triggered, this, [this] { ShowPrevSameClick(); });

  QMenu* edit = Menu("Bearbeiten1");
  QMenu* listPopup = Menu("MsgListPopup");
  edit->addSeparator();
  listPopup->addSeparator();
  struct Plain {
    const char* name;
    const char* caption;
    std::function<void()> run;
    QMenu* menu;
  };
  QMenu* treeMenu = Menu("TreeMenu");
  QMenu* mailContext = Menu("MailContext");
  QMenu* threadContext = Menu("ThreadContext");
  const Plain plain[] = {
      {"DoSelectAllItem", "Выбрать все письма", [this] { DoSelectAll(); }, edit},
      {"DeSelectAllItem", "Снять выбор", [this] { DeSelectAll(); }, edit},
      {"DoToggleSelectionItem", "Обратить выбор", [this] { DoToggleSelection(); }, edit},
      {"Mailanzeigen1", "Показать письмо", [this] { Mailanzeigen1Click(); }, mailContext},
      {"Threadaufholen1", "Пометить ветку прочитанной", [this] { Threadaufholen1Click(); },
       threadContext},
      {"Threadausklappen1", "Раскрыть ветку", [this] { Threadausklappen1Click(); },
       threadContext},
      {"Threadeinklappen1", "Свернуть ветку", [this] { Threadeinklappen1Click(); },
       threadContext},
      {"Allesausklappen1", "Раскрыть всё", [this] { Allesausklappen1Click(); }, treeMenu},
      {"Alleseinklappen1", "Свернуть всё", [this] { Alleseinklappen1Click(); }, treeMenu},
  };
  for (const Plain& p : plain) {
    QAction* action = MakeAction(p.menu, p.name, QString::fromUtf8(p.caption));
    connect(action, &QAction::triggered, this, [run = p.run] { run(); });
    if (p.menu == edit) {
      RegisterCommand(action, TCommandRule::ListView);
      if (listPopup) listPopup->addAction(action);
    }
  }
  // A message node also offers catching up its thread and the tree-wide entries.
  mailContext->addAction(Action("Threadaufholen1"));
  for (QMenu* menu : {mailContext, threadContext}) {
    menu->addSeparator();
    menu->addAction(Action("Allesausklappen1"));
    menu->addAction(Action("Alleseinklappen1"));
  }
  new TTreeEvents(this, TreeView());
}

}  // namespace velmaris
