// The address book window: the lists of people in a tree (the personal
// address book first, then the user's named lists) and the people of the
// current list in a report view. While a list is current its change event
// rebuilds the person rows; while the window exists the change event of the
// list of lists rebuilds the tree. It frees itself when closed.
#pragma once

#include <QMainWindow>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "core/PubLst.h"

class QAction;
class QListWidget;
class QMenu;

namespace velmaris {

class TBetterPlacement;
class TFriend;
class TGroup;
class TGroupList;
class TListBoxLink;

// The person rows; a person dragged onto another row is handed to OnMove.
class TUserListView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit TUserListView(QWidget* parent = nullptr);
  std::function<void(int from, int to)> OnMove;

 protected:
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

class TAddrBook : public QMainWindow, public TObject {
  Q_OBJECT

 public:
  static constexpr const char* kPersonalBook = "Personal Address Book";

  TAddrBook(TGroup& book, TGroupList& lists, QWidget* parent = nullptr);
  ~TAddrBook() override;

  TGroup* CurrentList() const { return current_; }
  QTreeWidget* LbList() const { return lbList_; }
  TUserListView* LbUser() const { return lbUser_; }
  // The person of the selected row, or null.
  TFriend* SelectedFriend() const;

  void BtnAddAddrClick();
  void BtnNewListClick();
  void BtnPropertiesClick();
  void BtnDeleteClick();
  void Sortieren1Click();
  void BtnWriteClick();
  // Moves the person of row `from` to the place of row `to` (to the end when
  // `to` lies past it), then selects it.
  void MovePerson(int from, int to);

  // Starts a message to the person (the message editor's part, addressed
  // with FriendToName, app/logic/AddressBookMail.h); without it
  // Write only checks for a selected person.
  std::function<void(TFriend&)> OnWrite;
  // Told when the window is going, so its owner forgets it.
  std::function<void()> OnDestroyed;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* MakeAction(const char* name, const QString& caption, const QKeySequence& key,
                      void (TAddrBook::*handler)());
  void BuildTree();
  void MakeSelectedCurrent();
  void SetCurrent(TGroup* list);
  void BuildUsers();
  void LbListEdited(QTreeWidgetItem* item);
  void Unhook();

  TGroup& book_;
  TGroupList& lists_;
  TGroup* current_ = nullptr;
  bool building_ = false;
  QTreeWidget* lbList_ = nullptr;
  TUserListView* lbUser_ = nullptr;
  QListWidget* wList_ = nullptr;
  std::unique_ptr<TListBoxLink> wListLink_;
  QMenu* popupUser_ = nullptr;
  TBetterPlacement* placement_ = nullptr;
};

}  // namespace velmaris
