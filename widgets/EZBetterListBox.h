// The multi-column list box fed from its own list of strings: each row is
// one string whose cells are separated by tabs; a cell may begin with "[n]"
// (its image) and a second "[n]" (its overlay). The list sorts itself by a
// column, ascending or descending, and marks the sorted column's header.
#pragma once

#include <QStringList>

#include "widgets/BetterListBox.h"

namespace velmaris {

// Cell col of a row: its caption with the bracket prefixes taken off, and
// the image and overlay numbers they name (-1 for none; both -1 when either
// prefix is not a number).
void ParseListCell(QStringView row, int col, int& image, int& overlay, QString& caption);

class TCustomEZBetterListBox : public TCustomBetterListBox {
  Q_OBJECT

 public:
  explicit TCustomEZBetterListBox(QWidget* parent = nullptr);

  const QStringList& Items() const { return items_; }
  void SetItems(const QStringList& items);
  void AddItem(const QString& row);
  void InsertItem(int index, const QString& row);
  void SetItem(int index, const QString& row);
  void DeleteItem(int index);
  void ClearItems();
  // Brackets many changes of Items into one.
  void BeginUpdate();
  void EndUpdate();

  bool Sorted() const { return sorted_; }
  void SetSorted(bool on);
  int SortColumn() const { return sortColumn_; }
  void SetSortColumn(int column);
  bool SortDescending() const { return sortDescending_; }
  void SetSortDescending(bool on);
  bool SortOnColumnClick() const { return sortOnColumnClick_; }
  void SetSortOnColumnClick(bool on) { sortOnColumnClick_ = on; }
  const QPixmap& ArrowUp() const { return arrowUp_; }
  void SetArrowUp(const QPixmap& glyph);
  const QPixmap& ArrowDown() const { return arrowDown_; }
  void SetArrowDown(const QPixmap& glyph);

  int GetCount() const override;
  void GetData(int row, int col, int& image, int& overlay, QString& caption) override;
  QChar FirstCharOf(int row) override;

  // Sorts the rows by the captions of SortColumn, in the order of
  // TextOrder.h (numbers too compare as text); the current, focused and
  // selected rows follow their strings. Rows with equal captions keep their
  // order.
  void Sort();
  void UpdateSortGlyphs();
  void ItemsChanged();

 protected:
  void ColumnClick(TBLBColumn* column) override;

 private:
  void Changed();

  QStringList items_;
  int updateCount_ = 0;
  bool pendingChange_ = false;
  bool sorted_ = false;
  bool sortOnColumnClick_ = false;
  int sortColumn_ = 0;
  bool sortDescending_ = false;
  QPixmap arrowUp_;
  QPixmap arrowDown_;
};

class TEZBetterListBox : public TCustomEZBetterListBox {
  Q_OBJECT
 public:
  using TCustomEZBetterListBox::TCustomEZBetterListBox;
};

}  // namespace velmaris
