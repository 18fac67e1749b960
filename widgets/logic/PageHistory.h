// Navigation of a step-by-step assistant: the page before and after the
// current one, in page order or along the pages actually visited.
//
// History: at most HistoryCapacity page indexes and a current entry (-1 when
// empty). Adding drops every entry after the current one, then the oldest
// while full, and appends the page as the new current entry.
#pragma once

#include <cstddef>
#include <vector>

namespace velmaris {

class TPageHistory {
 public:
  static constexpr int HistoryCapacity = 10;

  void AddPageIndex(int page);
  int Count() const { return static_cast<int>(items_.size()); }
  int Current() const { return current_; }
  void SetCurrent(int value);  // clamped to -1 .. Count - 1
  int Items(int i) const { return items_.at(static_cast<size_t>(i)); }
  void Clear();

 private:
  std::vector<int> items_;
  int current_ = -1;
};

// -1 when there is none.
int PriorPageIndex(int page, bool useHistory, const TPageHistory& history);
int NextPageIndex(int page, int pageCount, bool useHistory, const TPageHistory& history);

// How a page change moves the history: back and forward move the current
// entry when the page is the neighbouring entry; every other change (a jump,
// a page the form picked, any change without history) adds the page.
enum class PageMove { Jump = 1, Back = 2, Forward = 3 };
void RecordPageChange(TPageHistory& history, bool useHistory, PageMove move, int newPage);

}  // namespace velmaris
