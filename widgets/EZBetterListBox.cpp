#include "widgets/EZBetterListBox.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "widgets/TextOrder.h"

namespace velmaris {

namespace {

// Takes a "[...]" prefix off the cell; returns the text between the brackets.
QStringView TakePrefix(QStringView& cell) {
  if (cell.size() < 2 || cell[0] != u'[') return {};
  const qsizetype close = cell.indexOf(u']');
  if (close < 0) return {};
  QStringView prefix = cell.mid(1, close - 1);
  cell = cell.mid(close + 1);
  return prefix;
}

bool ToNumber(QStringView text, int& out) {
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  if (ok) out = value;
  return ok;
}

}  // namespace

void ParseListCell(QStringView row, int col, int& image, int& overlay, QString& caption) {
  QStringView rest = row;
  QStringView cell;
  for (int i = 0; i <= col; ++i) {
    const qsizetype tab = rest.indexOf(u'\t');
    if (tab < 0) {
      cell = rest;
      rest = {};
    } else {
      cell = rest.left(tab);
      rest = rest.mid(tab + 1);
    }
  }
  const QStringView first = TakePrefix(cell);
  const QStringView second = TakePrefix(cell);
  int img = image, ovl = overlay;
  bool ok = true;
  if (!first.isEmpty()) ok = ToNumber(first, img) && ok;
  if (!second.isEmpty()) ok = ToNumber(second, ovl) && ok;
  if (ok) {
    image = img;
    overlay = ovl;
  } else {
    image = -1;
    overlay = -1;
  }
  caption = cell.toString();
}

TCustomEZBetterListBox::TCustomEZBetterListBox(QWidget* parent) : TCustomBetterListBox(parent) {}

int TCustomEZBetterListBox::GetCount() const { return static_cast<int>(items_.size()); }

void TCustomEZBetterListBox::GetData(int row, int col, int& image, int& overlay, QString& caption) {
  if (row < 0 || row >= items_.size()) return;
  ParseListCell(items_[row], col, image, overlay, caption);
}

QChar TCustomEZBetterListBox::FirstCharOf(int row) {
  if (row < 0 || row >= items_.size()) return QChar();
  QStringView cell = items_[row];
  const qsizetype tab = cell.indexOf(u'\t');
  if (tab >= 0) cell = cell.left(tab);
  TakePrefix(cell);
  TakePrefix(cell);
  return cell.isEmpty() ? QChar() : cell[0];
}

void TCustomEZBetterListBox::Changed() {
  if (updateCount_ > 0) {
    pendingChange_ = true;
    return;
  }
  ItemsChanged();
}

void TCustomEZBetterListBox::BeginUpdate() { ++updateCount_; }

void TCustomEZBetterListBox::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0 && pendingChange_) {
    pendingChange_ = false;
    ItemsChanged();
  }
}

void TCustomEZBetterListBox::SetItems(const QStringList& items) {
  items_ = items;
  Changed();
}

void TCustomEZBetterListBox::AddItem(const QString& row) {
  items_.append(row);
  Changed();
}

void TCustomEZBetterListBox::InsertItem(int index, const QString& row) {
  items_.insert(std::clamp<qsizetype>(index, 0, items_.size()), row);
  Changed();
}

void TCustomEZBetterListBox::SetItem(int index, const QString& row) {
  if (index < 0 || index >= items_.size()) return;
  items_[index] = row;
  Changed();
}

void TCustomEZBetterListBox::DeleteItem(int index) {
  if (index < 0 || index >= items_.size()) return;
  items_.removeAt(index);
  Changed();
}

void TCustomEZBetterListBox::ClearItems() {
  items_.clear();
  Changed();
}

void TCustomEZBetterListBox::ItemsChanged() {
  SetCount(static_cast<int>(items_.size()));
  if (sorted_) {
    Sort();
    UpdateSortGlyphs();
  }
  RepaintAll();
}

void TCustomEZBetterListBox::SetSorted(bool on) {
  if (on == sorted_) return;
  sorted_ = on;
  if (sorted_) Sort();
  UpdateSortGlyphs();
}

void TCustomEZBetterListBox::SetSortColumn(int column) {
  if (column == sortColumn_) return;
  sortColumn_ = column;
  if (sorted_) Sort();
  UpdateSortGlyphs();
}

void TCustomEZBetterListBox::SetSortDescending(bool on) {
  if (on == sortDescending_) return;
  sortDescending_ = on;
  if (sorted_) Sort();
  UpdateSortGlyphs();
}

void TCustomEZBetterListBox::SetArrowUp(const QPixmap& glyph) {
  arrowUp_ = glyph;
  UpdateSortGlyphs();
}

void TCustomEZBetterListBox::SetArrowDown(const QPixmap& glyph) {
  arrowDown_ = glyph;
  UpdateSortGlyphs();
}

void TCustomEZBetterListBox::Sort() {
  const int count = static_cast<int>(items_.size());
  if (sortColumn_ < 0 || sortColumn_ >= Columns().GetCount() || count < 2) return;
  // The captions as the names sort everywhere (without case, ё after е).
  std::vector<std::string> keys(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    int image = -1, overlay = -1;
    QString caption;
    ParseListCell(items_[i], sortColumn_, image, overlay, caption);
    keys[static_cast<size_t>(i)] = SortKeyOf(caption);
  }
  std::vector<int> order(static_cast<size_t>(count));
  std::iota(order.begin(), order.end(), 0);
  const bool descending = sortDescending_;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const std::string& x = keys[static_cast<size_t>(a)];
    const std::string& y = keys[static_cast<size_t>(b)];
    return descending ? SortKeyLess(y, x) : SortKeyLess(x, y);
  });
  QStringList sorted;
  sorted.reserve(count);
  for (int old : order) sorted.append(items_[old]);
  items_ = std::move(sorted);
  Model().Permute(order);
  MakeVisible(FocusIndex());
  RepaintAll();
}

void TCustomEZBetterListBox::UpdateSortGlyphs() {
  if (arrowUp_.isNull() || arrowDown_.isNull()) return;
  TBLBColumns& columns = Columns();
  columns.BeginUpdate();
  for (int i = 0; i < columns.GetCount(); ++i) {
    TBLBColumn* c = columns.GetItem(i);
    if (i != sortColumn_ || !sorted_) {
      c->SetGlyph(QPixmap());
    } else {
      c->SetGlyph(sortDescending_ ? arrowUp_ : arrowDown_);
    }
  }
  columns.EndUpdate();
}

void TCustomEZBetterListBox::ColumnClick(TBLBColumn* column) {
  const int i = Columns().IndexOf(column);
  if (i < 0) return;
  if (i != sortColumn_) {
    sortDescending_ = false;
    SetSortColumn(i);
  } else {
    SetSortDescending(!sortDescending_);
  }
}

}  // namespace velmaris
