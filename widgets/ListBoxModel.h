// Rows, scrolling, selection and keyboard navigation of the multi-column list
// box, without any drawing. The list box widget owns one and translates its
// paint, mouse and key events into calls here; the model tells the widget
// through ListBoxHost which rows to redraw and when the view scrolled.
// Rows are never stored: only their count, the per-row selection flags and
// the indexes of the current, focused and top rows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmaris {

class ListBoxHost {
 public:
  virtual ~ListBoxHost() = default;
  // One row's look changed (selection, focus); redraw it when visible.
  virtual void RowChanged(int row) = 0;
  // Everything changed; repaint the whole control.
  virtual void AllChanged() = 0;
  // The top row moved from oldTop to newTop.
  virtual void TopChanged(int oldTop, int newTop) = 0;
  // The click notification (OnClick).
  virtual void Clicked() = 0;
  // The double-click notification (OnDblClick); Return fires it too.
  virtual void DoubleClicked() = 0;
  // The first character of a row's column-0 caption (0 when it is empty),
  // for the incremental search.
  virtual char16_t FirstChar(int row) = 0;
};

// Keys the list box acts on.
enum class ListKey { PageUp, PageDown, End, Home, Up, Down, Return, Space, Other };

class ListBoxModel {
 public:
  explicit ListBoxModel(ListBoxHost* host);

  // Geometry: the room below the header in pixels and the row height.
  // Recomputes MaxTopIndex, FullRows and VisibleRows and lowers TopIndex
  // when it lies beyond the last page.
  void Layout(int roomPixels, int itemHeight);
  bool IntegralHeight() const { return integralHeight_; }
  void SetIntegralHeight(bool on) { integralHeight_ = on; }

  int Count() const { return count_; }
  // A changed count drops a pending range and all selection flags, and moves
  // the current and focused row to -1 when they are no longer rows.
  void SetCount(int count);

  int TopIndex() const { return topIndex_; }
  int MaxTopIndex() const { return maxTopIndex_; }
  int FullRows() const { return fullRows_; }
  int VisibleRows() const { return visibleRows_; }
  void SetTopIndex(int top);
  void MakeVisible(int row);
  // Whether a move of the top row from oldTop to newTop is small enough to
  // scroll the pixels instead of repainting everything.
  static bool ScrollsPixels(int oldTop, int newTop, int fullRows);

  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool on);

  int ItemIndex() const { return itemIndex_; }
  int FocusIndex() const { return focusIndex_; }
  void SetItemIndex(int index);
  void SetFocusIndex(int index);
  void SelectItem(int index);
  bool Selected(int row) const;
  void SetSelected(int row, bool on);
  int SelectedCount() const;
  void ClearSelection();
  void SelectAll();
  void InvertSelection();

  // Range selection: a pending range from the anchor to the end reads as
  // RangeSelecting until it is committed into the flags.
  bool RangeActive() const { return rangeActive_; }
  void StartRange(int row, bool state);
  void ExtendRange(int row);
  void CommitRange();

  // Moves every row: newToOld[i] is the old index of the row that ends up at
  // i. Selection flags, the current and focused row follow their rows.
  void Permute(const std::vector<int>& newToOld);

  // Input. KeyDown returns true when it handled the key.
  bool IncrementalSearch() const { return incrementalSearch_; }
  void SetIncrementalSearch(bool on) { incrementalSearch_ = on; }
  bool KeyDown(ListKey key, bool shift, char16_t ch = 0);
  void SelectPrevious();
  void SelectNext();
  // The next row after the current one (wrapping) whose first caption
  // starts with ch, compared in upper case; -1 when there is none.
  int FindByInitial(char16_t ch);
  void MouseDownRow(int row, bool shift, bool ctrl);
  void MouseDragRow(int row);
  void MouseUp();
  // Fires the click notification and remembers the current row.
  void Click();
  int LastClickIndex() const { return lastClickIndex_; }

 private:
  bool InRange(int row) const;
  void SetFlag(int row, bool on);
  void RedrawSpan(int from, int to);

  ListBoxHost* host_;
  int count_ = 0;
  int itemIndex_ = -1;
  int focusIndex_ = -1;
  int topIndex_ = 0;
  int maxTopIndex_ = 0;
  int fullRows_ = 1;
  int visibleRows_ = 1;
  int room_ = 0;
  int itemHeight_ = 10;
  bool integralHeight_ = false;
  bool multiSelect_ = false;
  bool incrementalSearch_ = true;
  std::vector<uint8_t> flags_;
  bool rangeActive_ = false;
  bool rangeSelecting_ = false;
  int rangeAnchor_ = -1;
  int rangeEnd_ = -1;
  int lastClickIndex_ = -1;
};

// Turns wheel deltas (1/8 degree; one notch is 120) into whole rows, three
// rows per notch. Small deltas from fine-grained wheels and touchpads add up
// instead of being lost.
class WheelAccumulator {
 public:
  // Returns the number of rows to move down (negative: up).
  int Add(int delta);
  void Reset() { rest_ = 0; }

 private:
  int rest_ = 0;
};

}  // namespace velmaris
