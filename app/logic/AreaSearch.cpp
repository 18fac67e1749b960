#include "app/logic/AreaSearch.h"

#include <algorithm>
#include <deque>
#include <future>
#include <optional>
#include <thread>

#include "core/Area.h"
#include "core/MessageBase.h"
#include "core/MsgHeader.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

// Below this many bodies a batch is tested on the caller's thread alone.
constexpr size_t kParallelFrom = 64;
// Bodies a thread takes at a time.
constexpr size_t kSlice = 64;

// The header conditions, made ready once for the names and the subject,
// which are stored in the ANSI code page.
class HeaderTest {
 public:
  explicit HeaderTest(const TSearchRequest& request) : request_(request) {
    const platform::CodePage ansi = platform::AnsiCodePage();
    if (request.ApplyOrigin) origin_.emplace(request.Origin, ansi);
    if (request.ApplyDestination) destination_.emplace(request.Destination, ansi);
    if (request.ApplySubject) subject_.emplace(request.Subject, ansi);
  }
  bool Passes(const TMsgHeader& header) const {
    if (!request_.MatchesFlags(header.Flags)) return false;
    if (origin_ && !origin_->Matches(header.FromName.View())) return false;
    if (destination_ && !destination_->Matches(header.ToName.View())) return false;
    if (subject_ && !subject_->Matches(header.Subject.View())) return false;
    return true;
  }

 private:
  const TSearchRequest& request_;
  std::optional<TTextMatcher> origin_, destination_, subject_;
};

}  // namespace

std::string SearchHitLine(const std::string& areaName, int msgIndex, const TMsgHeader& header) {
  std::string line = areaName + " #" + std::to_string(msgIndex) + ": ";
  line.append(header.FromName.View()).append(" to ").append(header.ToName.View());
  line.append(" about \"").append(header.Subject.View()).append("\"");
  return line;
}

TAreaSearch::TAreaSearch(const TSearchRequest& request, TSearchView& view)
    : Threads(std::max(1u, std::thread::hardware_concurrency())), request_(request), view_(view) {}

// An area taken ahead of its turn: locked by the caller's thread, its index
// opening on a thread of its own while earlier areas are searched.
struct TAreaSearch::Ahead {
  TArea* Area = nullptr;
  std::future<bool> Opened;
};

void TAreaSearch::Run(TAreaList& areas, std::vector<int> rows) {
  abort_ = false;
  textBytes_ = 0;
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  const auto searchable = [&areas](int row) -> TArea* {
    if (row < 0 || row >= areas.GetCount()) return nullptr;
    TArea* area = areas.GetItem(row);
    return area->IsSeparator() ? nullptr : area;
  };
  // Loading an index takes longer than testing its bodies on all threads,
  // so up to Threads areas are opened ahead, side by side. An area whose
  // lock is refused stops the taking ahead until its turn, when it is
  // waited for as usual.
  std::deque<Ahead> ahead;
  size_t nextAhead = 0;
  const size_t lookahead = Threads > 1 ? Threads : 0;
  const auto takeAhead = [&](size_t from) {
    nextAhead = std::max(nextAhead, from);
    while (ahead.size() < lookahead && nextAhead < rows.size() && !abort_) {
      TArea* area = searchable(rows[nextAhead]);
      if (area != nullptr) {
        if (!area->Lock(false)) break;
        ahead.push_back({area, std::async(std::launch::async, [area] { return area->OpenIndex(); })});
      }
      ++nextAhead;
    }
  };
  // Areas still held ahead when the search ends (aborted) are given back.
  struct ReleaseAhead {
    std::deque<Ahead>& ahead;
    ~ReleaseAhead() {
      for (Ahead& a : ahead) {
        bool opened = false;
        try {
          opened = a.Opened.valid() && a.Opened.get();
        } catch (...) {
          // An index that failed to load with an exception was not opened.
        }
        if (opened) a.Area->CloseIndex();
        a.Area->Unlock();
      }
    }
  } releaseAhead{ahead};

  const int total = static_cast<int>(rows.size());
  view_.AreaProgress(0, total);
  view_.ProcessMessages();
  int done = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    view_.AreaLabel("Searchin Areas");
    view_.AreaProgress(++done, total);
    TArea* area = searchable(rows[i]);
    if (area == nullptr) continue;
    std::optional<bool> opened;  // set when the area was taken ahead
    if (!ahead.empty() && ahead.front().Area == area) {
      opened = ahead.front().Opened.get();
      ahead.pop_front();
    }
    takeAhead(i + 1);
    if (!SearchArea(*area, rows[i], opened)) break;
  }
  view_.AreaLabel(abort_ ? "Search aborted" : "Done");
}

bool TAreaSearch::SearchArea(TArea& area, int areaIndex, std::optional<bool> opened) {
  view_.MailLabel("Waiting for acces to " + area.NameInAnsi() + " ..");
  if (!opened) {
    const bool locked = area.WaitLock(false, [this] {
      view_.ProcessMessages();
      return abort_.load();
    });
    if (!locked) return false;
    opened = area.OpenIndex();
  }
  view_.MailLabel("Searching area " + area.NameInAnsi() + " ..");
  if (!*opened) {
    area.Unlock();
    view_.MailLabel("Area processed");
    return true;
  }
  const std::vector<TMsgHeader>& headers = area.HeaderList();
  const int count = std::min<int>(area.Count, static_cast<int>(headers.size()));
  view_.MailProgress(0, count);
  // The body file is mapped only when the text is tested.
  std::optional<platform::MappedFile> bodies;
  if (request_.ApplyText) bodies.emplace(area.FilePath(kPackedBodyExt));
  const std::string_view bodyFile = bodies && bodies->ok() ? bodies->View() : std::string_view();

  const HeaderTest headerTest(request_);
  std::vector<int> candidates;
  std::vector<char> matches;
  const size_t batch = std::max<size_t>(1, BatchSize);
  for (int first = 0; first < count && !abort_;) {
    const int last = static_cast<int>(std::min<size_t>(count, first + batch));
    candidates.clear();
    if (request_.HasConditions())
      for (int i = first; i < last; ++i)
        if (headerTest.Passes(headers[i])) candidates.push_back(i);
    matches.assign(candidates.size(), 1);
    if (request_.ApplyText) TestBodies(bodyFile, headers, candidates, 0, candidates.size(), matches);
    for (size_t k = 0; k < candidates.size() && !abort_; ++k) {
      if (!matches[k]) continue;
      const int index = candidates[k];
      view_.AddHit(
          {areaIndex, index, SearchHitLine(area.NameInAnsi(), index, headers[index]), area.Name});
    }
    first = last;
    view_.MailProgress(first, count);
    view_.ProcessMessages();
  }
  bodies.reset();
  area.CloseIndex();
  area.Unlock();
  if (abort_) return false;
  view_.MailLabel("Area processed");
  return true;
}

void TAreaSearch::TestBodies(std::string_view bodyFile, const std::vector<TMsgHeader>& headers,
                             const std::vector<int>& candidates, size_t first, size_t last,
                             std::vector<char>& matches) {
  // Bodies are stored in the OEM code page; the text condition is compared
  // there.
  const TTextMatcher condition(request_.Text, platform::OemCodePage());
  // scratch: one body buffer per thread, reused for every body.
  const auto testRange = [&](size_t from, size_t to, std::string& scratch) {
    uint64_t bytes = 0;
    for (size_t k = from; k < to; ++k) {
      std::string_view text;
      if (!StoredBodyText(bodyFile, headers[candidates[k]], scratch, text)) {
        matches[k] = 0;  // a damaged body has no text to find
        continue;
      }
      bytes += text.size();
      matches[k] = condition.Matches(text);
    }
    textBytes_ += bytes;
  };
  const size_t n = last - first;
  const size_t threads = n < kParallelFrom ? 1 : std::min<size_t>(Threads, n / (kParallelFrom / 2));
  if (threads <= 1) {
    std::string scratch;
    testRange(first, last, scratch);
    return;
  }
  // The threads take slices as they come free, so one that the machine
  // holds back does not hold up the batch.
  std::atomic<size_t> next{first};
  const auto worker = [&] {
    std::string scratch;
    for (size_t from; (from = next.fetch_add(kSlice)) < last;)
      testRange(from, std::min(last, from + kSlice), scratch);
  };
  std::vector<std::jthread> workers;
  workers.reserve(threads - 1);
  for (size_t t = 1; t < threads; ++t) workers.emplace_back(worker);
  worker();
}

}  // namespace velmaris
