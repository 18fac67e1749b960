#include "widgets/logic/PageHistory.h"

#include <algorithm>

namespace velmaris {

void TPageHistory::AddPageIndex(int page) {
  items_.resize(static_cast<size_t>(current_ + 1));
  while (Count() >= HistoryCapacity) items_.erase(items_.begin());
  items_.push_back(page);
  current_ = Count() - 1;
}

void TPageHistory::SetCurrent(int value) { current_ = std::clamp(value, -1, Count() - 1); }

void TPageHistory::Clear() {
  items_.clear();
  current_ = -1;
}

int PriorPageIndex(int page, bool useHistory, const TPageHistory& history) {
  if (!useHistory) return page < 1 ? -1 : page - 1;
  return history.Current() < 1 ? -1 : history.Items(history.Current() - 1);
}

int NextPageIndex(int page, int pageCount, bool useHistory, const TPageHistory& history) {
  if (!useHistory) return page < pageCount - 1 ? page + 1 : -1;
  const int next = history.Current() + 1;
  return next < history.Count() ? history.Items(next) : -1;
}

void RecordPageChange(TPageHistory& history, bool useHistory, PageMove move, int newPage) {
  if (useHistory && move != PageMove::Jump) {
    // Back and forward walk the path when the page is the neighbouring entry;
    // a page the form picked instead starts a new path from here.
    const int neighbour = history.Current() + (move == PageMove::Back ? -1 : 1);
    if (neighbour >= 0 && neighbour < history.Count() && history.Items(neighbour) == newPage) {
      history.SetCurrent(neighbour);
      return;
    }
  }
  history.AddPageIndex(newPage);
}

}  // namespace velmaris
