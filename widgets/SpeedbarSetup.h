// The non-modal "Customize Speedbar" dialog: the bar's sections as
// categories and the selected section's items as button images with their
// captions. An item not on the bar is dragged from the list onto the bar;
// while the dialog is open the buttons on the bar can be moved or dragged
// off. At most one dialog exists per bar (TSpeedBar::Customize).
#pragma once

#include <QDialog>
#include <QPointer>

#include "widgets/SpeedBar.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace velmaris {

class TSpeedbarSetupWindow : public QDialog {
  Q_OBJECT

 public:
  explicit TSpeedbarSetupWindow(QWidget* parent = nullptr);
  ~TSpeedbarSetupWindow() override;

  TSpeedBar* SpeedBar() const { return bar_; }
  // The previous bar leaves editing state, the new one enters it.
  void SetSpeedBar(TSpeedBar* bar);
  int HelpContext = 0;

  // The selected section and item (none: -1 / nullptr).
  int SelectedSection() const;
  TSpeedItem* SelectedItem() const;
  // Drops an item with the pointer at a screen point (its copy hangs up and
  // left of it): placed when the attached bar lies under the pointer
  // (TSpeedBar::PlaceItem). Returns whether it was placed.
  bool DropItem(TSpeedItem* item, QPoint globalPointer);

  QListWidget* SectionList() const { return sectionList_; }
  QListWidget* ButtonsList() const { return buttonsList_; }

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Measure();
  void FillSections();
  void FillButtons();
  void EndDrag(QPoint globalPos, bool drop);

  QPointer<TSpeedBar> bar_;
  QLabel* categoriesLabel_;
  QListWidget* sectionList_;
  QLabel* buttonsLabel_;
  QListWidget* buttonsList_;
  QLabel* hintLabel_;
  QPushButton* closeBtn_;
  QPushButton* helpBtn_;
  QWidget* dragCopy_ = nullptr;
  QPointer<TSpeedItem> dragItem_;
  bool dragging_ = false;
};

// The speed bar under a screen point, or none.
TSpeedBar* FindSpeedBar(QPoint globalPos);

}  // namespace velmaris
