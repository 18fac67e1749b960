// The window of one area-list manager: the areas not ordered on the left
// (ReadyLIst), the ordered ones on the right (SelList), each with tag,
// uplink address and description. A double click moves an area to the other
// side; the send command turns the moves into robot requests. The window
// only shows the manager's lists and calls its commands.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

#include "core/PubLst.h"

class QLabel;
class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace velmaris {

class TAreaManager;
class TBetterPlacement;
class TListBoxLink;
struct TAreaInfo;

class TAreaManagerWindow : public QMainWindow, public TObject {
  Q_OBJECT

 public:
  explicit TAreaManagerWindow(TAreaManager& manager, QWidget* parent = nullptr);
  ~TAreaManagerWindow() override;

  TAreaManager& Manager() { return manager_; }
  QTreeWidget* ReadyList() const { return ready_; }
  QTreeWidget* SelList() const { return sel_; }
  // The program's window list; a double click brings a window forward.
  QListWidget* WList() const { return wList_; }
  // Rebuilds both lists, the status line and the caption from the manager.
  void Fill();

  // The commands (menu, buttons, shortcuts).
  void RequestListClick();
  void SendChangesClick();
  void CancelChangesClick();
  void MarkPresentClick();
  void DeleteDescriptionClick();
  void SearchClick();
  void SearchAgainClick();
  void HelpClick();
  // A list file of an uplink, calibrated, read into the list.
  void AddAreaListClick();
  // A new entry typed in by the user.
  void NewDescriptionClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QTreeWidget* MakeList(const char* name);
  void ListDblClick(QTreeWidgetItem* item);
  TAreaInfo* Selected(QTreeWidget* list) const;
  void Run(const std::function<void()>& command);
  void FindNext();

  TAreaManager& manager_;
  QTreeWidget* ready_ = nullptr;
  QTreeWidget* sel_ = nullptr;
  QLabel* status_ = nullptr;
  QListWidget* wList_ = nullptr;
  std::unique_ptr<TListBoxLink> wListLink_;
  std::string searchText_;
  bool searched_ = false;
  bool listed_ = false;
  TBetterPlacement* placement_ = nullptr;
};

}  // namespace velmaris
