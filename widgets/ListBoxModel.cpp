#include "widgets/ListBoxModel.h"

#include <algorithm>

namespace velmaris {

ListBoxModel::ListBoxModel(ListBoxHost* host) : host_(host) {}

void ListBoxModel::Layout(int roomPixels, int itemHeight) {
  room_ = std::max(roomPixels, 0);
  itemHeight_ = std::max(itemHeight, 1);
  const int whole = room_ / itemHeight_;
  maxTopIndex_ = std::max(count_ - whole, 0);
  if (topIndex_ > maxTopIndex_) topIndex_ = maxTopIndex_;
  fullRows_ = std::max(whole, 1);
  visibleRows_ = integralHeight_ ? fullRows_ : std::max((room_ + itemHeight_ - 1) / itemHeight_, 1);
}

void ListBoxModel::SetCount(int count) {
  count = std::max(count, 0);
  if (count != count_) {
    count_ = count;
    rangeActive_ = false;
    rangeAnchor_ = rangeEnd_ = -1;
    flags_.assign(static_cast<size_t>(count_), 0);
    if (itemIndex_ >= count_) itemIndex_ = -1;
    if (focusIndex_ >= count_) focusIndex_ = -1;
    if (lastClickIndex_ >= count_) lastClickIndex_ = -1;
  }
  Layout(room_, itemHeight_);
  host_->AllChanged();
}

bool ListBoxModel::ScrollsPixels(int oldTop, int newTop, int fullRows) {
  const int limit = fullRows / 2 + fullRows / 4;
  const int diff = newTop > oldTop ? newTop - oldTop : oldTop - newTop;
  return diff <= limit || diff == 1;
}

void ListBoxModel::SetTopIndex(int top) {
  top = std::clamp(top, 0, std::max(count_ - 1, 0));
  top = std::min(top, maxTopIndex_);
  if (top == topIndex_) return;
  const int old = topIndex_;
  topIndex_ = top;
  host_->TopChanged(old, top);
}

void ListBoxModel::MakeVisible(int row) {
  if (row < 0 || row >= count_) return;
  if (row < topIndex_) {
    SetTopIndex(row);
  } else if (row >= topIndex_ + fullRows_) {
    SetTopIndex(row - fullRows_ + 1);
  } else {
    host_->RowChanged(row);
  }
}

void ListBoxModel::SetMultiSelect(bool on) {
  if (on == multiSelect_) return;
  if (!on) ClearSelection();
  multiSelect_ = on;
  host_->AllChanged();
}

bool ListBoxModel::InRange(int row) const {
  if (!rangeActive_) return false;
  const int end = rangeEnd_ < 0 ? rangeAnchor_ : rangeEnd_;
  return row >= std::min(rangeAnchor_, end) && row <= std::max(rangeAnchor_, end);
}

bool ListBoxModel::Selected(int row) const {
  if (row < 0 || row >= count_) return false;
  if (!multiSelect_) return row == itemIndex_;
  if (InRange(row)) return rangeSelecting_;
  return flags_[static_cast<size_t>(row)] != 0;
}

void ListBoxModel::SetFlag(int row, bool on) {
  if (row < 0 || row >= count_) return;
  uint8_t& f = flags_[static_cast<size_t>(row)];
  if ((f != 0) != on) {
    f = on ? 1 : 0;
    host_->RowChanged(row);
  }
  if (!on && row == itemIndex_) itemIndex_ = -1;
}

void ListBoxModel::SetSelected(int row, bool on) {
  if (row < 0 || row >= count_) return;
  if (!multiSelect_) {
    if (on) {
      SetItemIndex(row);
    } else if (row == itemIndex_) {
      SetItemIndex(-1);
    }
    return;
  }
  SetFlag(row, on);
}

int ListBoxModel::SelectedCount() const {
  if (!multiSelect_) return itemIndex_ >= 0 ? 1 : 0;
  int n = 0;
  for (int i = 0; i < count_; ++i) n += Selected(i) ? 1 : 0;
  return n;
}

void ListBoxModel::SetItemIndex(int index) {
  index = std::clamp(index, -1, count_ - 1);
  if (index == itemIndex_) return;
  const int old = itemIndex_;
  if (!multiSelect_) {
    itemIndex_ = index;
    if (old >= 0) host_->RowChanged(old);
    if (index >= 0) host_->RowChanged(index);
    return;
  }
  if (rangeActive_) {
    itemIndex_ = rangeSelecting_ ? index : -1;
    SetFlag(index, rangeSelecting_);
    if (old >= 0) host_->RowChanged(old);
    return;
  }
  ClearSelection();
  if (index >= 0) {
    SetFlag(index, true);
    itemIndex_ = index;
  }
  if (old >= 0) host_->RowChanged(old);
}

void ListBoxModel::SetFocusIndex(int index) {
  index = std::clamp(index, -1, count_ - 1);
  if (index == focusIndex_) return;
  const int old = focusIndex_;
  focusIndex_ = index;
  if (old >= 0) host_->RowChanged(old);
  MakeVisible(index);
}

void ListBoxModel::SelectItem(int index) {
  if (index >= 0 && count_ > 0) {
    index = std::min(index, count_ - 1);
    if (itemIndex_ == index && focusIndex_ == index) return;
    SetItemIndex(index);
    SetFocusIndex(index);
    host_->RowChanged(index);
    return;
  }
  ClearSelection();
  const int oldFocus = focusIndex_;
  focusIndex_ = -1;
  itemIndex_ = -1;
  if (oldFocus >= 0) host_->RowChanged(oldFocus);
}

void ListBoxModel::ClearSelection() {
  rangeActive_ = false;
  std::fill(flags_.begin(), flags_.end(), uint8_t{0});
  itemIndex_ = -1;
  host_->AllChanged();
}

void ListBoxModel::SelectAll() {
  if (!multiSelect_) return;
  rangeActive_ = false;
  std::fill(flags_.begin(), flags_.end(), uint8_t{1});
  host_->AllChanged();
}

void ListBoxModel::InvertSelection() {
  if (!multiSelect_) return;
  CommitRange();
  for (uint8_t& f : flags_) f = f ? 0 : 1;
  if (itemIndex_ >= 0 && !flags_[static_cast<size_t>(itemIndex_)]) itemIndex_ = -1;
  host_->AllChanged();
}

void ListBoxModel::StartRange(int row, bool state) {
  CommitRange();
  if (row < 0 || row >= count_) return;
  rangeActive_ = true;
  rangeSelecting_ = state;
  SetFlag(row, state);
  rangeAnchor_ = rangeEnd_ = row;
  SetFocusIndex(row);
}

void ListBoxModel::RedrawSpan(int from, int to) {
  if (from > to) std::swap(from, to);
  from = std::max(from, topIndex_);
  to = std::min(to, topIndex_ + visibleRows_);
  for (int i = from; i <= to; ++i) host_->RowChanged(i);
}

void ListBoxModel::ExtendRange(int row) {
  if (!rangeActive_) {
    rangeActive_ = true;
    rangeSelecting_ = true;
    if (rangeAnchor_ < 0 || rangeAnchor_ >= count_) {
      rangeAnchor_ = focusIndex_;
      rangeEnd_ = -1;
    }
    // Without a focused row the range begins where it is extended to.
    if (rangeAnchor_ < 0) rangeAnchor_ = row;
  }
  if (row == rangeEnd_ || row < 0 || row >= count_) return;
  lastClickIndex_ = -1;
  const int oldEnd = rangeEnd_ < 0 ? rangeAnchor_ : rangeEnd_;
  rangeEnd_ = row;
  const int oldItem = itemIndex_;
  itemIndex_ = rangeSelecting_ ? row : -1;
  if (oldItem >= 0) host_->RowChanged(oldItem);
  RedrawSpan(std::min({oldEnd, row, rangeAnchor_}), std::max({oldEnd, row, rangeAnchor_}));
  SetFocusIndex(row);
}

void ListBoxModel::CommitRange() {
  if (!rangeActive_) return;
  rangeActive_ = false;
  const int end = rangeEnd_ < 0 ? rangeAnchor_ : rangeEnd_;
  const int lo = std::max(std::min(rangeAnchor_, end), 0);
  const int hi = std::min(std::max(rangeAnchor_, end), count_ - 1);
  for (int i = lo; i <= hi; ++i) flags_[static_cast<size_t>(i)] = rangeSelecting_ ? 1 : 0;
}

void ListBoxModel::Permute(const std::vector<int>& newToOld) {
  if (static_cast<int>(newToOld.size()) != count_) return;
  CommitRange();
  std::vector<int> oldToNew(newToOld.size());
  std::vector<uint8_t> flags(flags_.size());
  for (size_t i = 0; i < newToOld.size(); ++i) {
    const int old = newToOld[i];
    oldToNew[static_cast<size_t>(old)] = static_cast<int>(i);
    flags[i] = flags_[static_cast<size_t>(old)];
  }
  flags_ = std::move(flags);
  auto map = [&](int& index) {
    if (index >= 0 && index < count_) index = oldToNew[static_cast<size_t>(index)];
  };
  map(itemIndex_);
  map(focusIndex_);
  map(lastClickIndex_);
  rangeAnchor_ = rangeEnd_ = -1;
  host_->AllChanged();
}

void ListBoxModel::SelectPrevious() {
  if (count_ == 0) return;
  if (multiSelect_ && rangeActive_) {
    ExtendRange(focusIndex_ - 1);
  } else {
    SelectItem(std::max(focusIndex_ - 1, 0));
  }
}

void ListBoxModel::SelectNext() {
  if (count_ == 0) return;
  if (focusIndex_ == count_ - 2) SetTopIndex(maxTopIndex_);
  if (multiSelect_ && rangeActive_) {
    ExtendRange(focusIndex_ + 1);
  } else {
    SelectItem(focusIndex_ + 1);
  }
}

int ListBoxModel::FindByInitial(char16_t ch) {
  if (count_ == 0) return -1;
  auto upper = [](char16_t c) -> char16_t { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; };
  ch = upper(ch);
  auto matches = [&](int row) {
    const char16_t first = host_->FirstChar(row);
    return first != 0 && upper(first) == ch;
  };
  if (itemIndex_ < 0) {
    // Nothing current: every row is a candidate, from the first.
    for (int i = 0; i < count_; ++i)
      if (matches(i)) return i;
    return -1;
  }
  const int start = itemIndex_;
  for (int i = start + 1 == count_ ? 0 : start + 1; i != start; i = i + 1 == count_ ? 0 : i + 1)
    if (matches(i)) return i;
  return -1;
}

bool ListBoxModel::KeyDown(ListKey key, bool shift, char16_t ch) {
  const bool moves = key == ListKey::PageUp || key == ListKey::PageDown || key == ListKey::End ||
                     key == ListKey::Home || key == ListKey::Up || key == ListKey::Down;
  if (moves && count_ == 0) return false;
  if (moves && multiSelect_) {
    if (!shift) {
      ClearSelection();
    } else if (!rangeActive_ && focusIndex_ >= 0) {
      StartRange(focusIndex_, true);
    }
  }
  const bool pending = multiSelect_ && rangeActive_;
  auto go = [&](int target) {
    target = std::clamp(target, 0, count_ - 1);
    if (pending) {
      ExtendRange(target);
    } else {
      SelectItem(target);
    }
  };
  switch (key) {
    case ListKey::Return: host_->DoubleClicked(); return true;
    case ListKey::Space:
      if (focusIndex_ >= 0) SetSelected(focusIndex_, true);
      return true;
    case ListKey::PageUp: {
      const int target = std::max(focusIndex_ == topIndex_ ? topIndex_ - fullRows_ : topIndex_, 0);
      SetTopIndex(target);
      go(target);
      break;
    }
    case ListKey::PageDown: {
      const int bottom = std::min(topIndex_ + fullRows_ - 1, count_ - 1);
      if (focusIndex_ < bottom) {
        go(bottom);
      } else {
        SetTopIndex(focusIndex_ + 1);
        go(focusIndex_ + fullRows_);
      }
      break;
    }
    case ListKey::End:
      SetTopIndex(maxTopIndex_);
      go(count_ - 1);
      break;
    case ListKey::Home: go(0); break;
    case ListKey::Up: SelectPrevious(); break;
    case ListKey::Down: SelectNext(); break;
    case ListKey::Other: {
      if (!incrementalSearch_ || count_ == 0) return false;
      const bool letter =
          (ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z');
      if (!letter) return false;
      const int row = FindByInitial(ch);
      if (row >= 0) {
        SelectItem(row);
        Click();
      }
      return true;
    }
  }
  Click();
  return true;
}

void ListBoxModel::MouseDownRow(int row, bool shift, bool ctrl) {
  if (row < 0 || row >= count_) return;
  if (!multiSelect_) {
    SelectItem(row);
    return;
  }
  if (shift) {
    rangeSelecting_ = true;
    ExtendRange(row);
  } else if (ctrl) {
    CommitRange();
    const bool state = !Selected(row);
    SetFlag(row, state);
    StartRange(row, state);
    if (state) {
      const int old = itemIndex_;
      itemIndex_ = row;
      if (old >= 0) host_->RowChanged(old);
    }
  } else {
    CommitRange();
    ClearSelection();
    rangeSelecting_ = true;
    SetItemIndex(row);
    StartRange(row, true);
  }
}

void ListBoxModel::MouseDragRow(int row) {
  if (row < 0 || row >= count_) return;
  if (multiSelect_) {
    ExtendRange(row);
  } else {
    SelectItem(row);
  }
}

void ListBoxModel::MouseUp() {
  CommitRange();
  if (lastClickIndex_ != itemIndex_) Click();
}

void ListBoxModel::Click() {
  lastClickIndex_ = itemIndex_;
  host_->Clicked();
}

int WheelAccumulator::Add(int delta) {
  if ((delta > 0 && rest_ < 0) || (delta < 0 && rest_ > 0)) rest_ = 0;
  rest_ += delta;
  const int rows = rest_ / 40;
  rest_ -= rows * 40;
  return -rows;
}

}  // namespace velmaris
