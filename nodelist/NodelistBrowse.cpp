#include "nodelist/NodelistBrowse.h"

#include <algorithm>
#include <cassert>

#include "core/FidoAddress.h"
#include "nodelist/NodelistLookup.h"
#include "platform/CaseFold.h"
#include "platform/Dispatcher.h"

namespace velmaris {

namespace {

std::string Shown(std::string text) {
  std::replace(text.begin(), text.end(), '_', ' ');
  return text;
}

bool Stopped(const std::function<bool()>& stop, int n) { return stop && n % 4096 == 0 && stop(); }

// The .Data offsets of the texts of one key that contain the part, sorted.
// Nodelist texts and the filter are in the OEM code page, whose letters fold.
std::vector<uint32_t> MatchingOffsets(const TNodelistLookup& lookup, TNodelistLookup::TTextKey key,
                                      const std::string& part, const std::function<bool()>& stop) {
  const platform::CodePage oem = platform::OemCodePage();
  std::string wanted = part;
  platform::FoldInPlace(wanted, oem);
  std::vector<uint32_t> offsets;
  bool stopped = false;
  std::string shown;
  lookup.ForEachTextInOrder(key, [&](int k, uint32_t offset, std::string_view text) {
    stopped = stopped || Stopped(stop, k);
    if (stopped) return;
    shown.assign(text);
    std::replace(shown.begin(), shown.end(), '_', ' ');
    platform::FoldInPlace(shown, oem);
    if (shown.find(wanted) != std::string::npos) offsets.push_back(offset);
  });
  std::sort(offsets.begin(), offsets.end());
  return offsets;
}

bool Contains(const std::vector<uint32_t>& sorted, uint32_t offset) {
  return std::binary_search(sorted.begin(), sorted.end(), offset);
}

bool PartMatches(int32_t wanted, uint16_t value) { return wanted == -1 || wanted == value; }

}  // namespace

const char* NodeTypeName(int32_t code) {
  static constexpr const char* kNames[] = {"Node",  "Pvt Node",  "Node(Down)",  "Node(Hold)",
                                           "Hub",   "Host",      "Region",      "Zone",
                                           "Point", "Pvt Point", "Point(Down)", "Point(Hold)"};
  return code >= 0 && code < 12 ? kNames[code] : "?";
}

std::vector<int> FilterNodelist(const TNodelistLookup& lookup, const TNodelistFilter& filter,
                                const std::function<bool()>& stop) {
  const bool byName = !filter.Name.empty(), bySysop = !filter.Sysop.empty(),
             byCity = !filter.City.empty();
  using Key = TNodelistLookup::TTextKey;
  std::vector<uint32_t> names, sysops, cities;
  if (byName) names = MatchingOffsets(lookup, Key::Name, filter.Name, stop);
  if (bySysop) sysops = MatchingOffsets(lookup, Key::Sysop, filter.Sysop, stop);
  if (byCity) cities = MatchingOffsets(lookup, Key::City, filter.City, stop);
  const int count = lookup.Count();
  std::vector<int> records;
  const bool any = filter.Zone == -1 && filter.Net == -1 && filter.Node == -1 &&
                   filter.Point == -1 && !byName && !bySysop && !byCity;
  if (any) {  // every record: nothing to read
    records.resize(static_cast<size_t>(std::max(count, 0)));
    for (int n = 0; n < count; ++n) records[static_cast<size_t>(n)] = n;
    return records;
  }
  // A text filter that matched no text lets no record through.
  if ((byName && names.empty()) || (bySysop && sysops.empty()) || (byCity && cities.empty()))
    return records;
  constexpr int kChunk = 8192;
  for (int first = 0; first < count && !(stop && stop()); first += kChunk) {
    const std::vector<TNodeIndexRecord> chunk = lookup.ReadRecords(first, kChunk);
    for (size_t i = 0; i < chunk.size(); ++i) {
      const TNodeIndexRecord& rec = chunk[i];
      const int n = first + static_cast<int>(i);
      if (!PartMatches(filter.Zone, rec.Addr.Zone) || !PartMatches(filter.Net, rec.Addr.Net) ||
          !PartMatches(filter.Node, rec.Addr.Node) || !PartMatches(filter.Point, rec.Addr.Point))
        continue;
      if ((byName && !Contains(names, rec.NameOffset)) ||
          (bySysop && !Contains(sysops, rec.SysopOffset)) ||
          (byCity && !Contains(cities, rec.CityOffset)))
        continue;
      records.push_back(n);
    }
  }
  return records;
}

std::string NodelistCellText(const TNodelistLookup& lookup, int record, int column) {
  switch (column) {
    case nlcAddress: {
      TFidonetAddress address;
      lookup.GetAddressText(record, address);
      return address.Text4D();
    }
    case nlcType: return NodeTypeName(lookup.GetNodeType(record));
    case nlcSystem: return Shown(lookup.GetSystemName(record));
    case nlcSysop: return Shown(lookup.GetSysop(record));
    case nlcCity: return Shown(lookup.GetCity(record));
    default: break;
  }
  const std::string misc = lookup.GetMisc(record);
  const size_t first = misc.find(',');
  if (column == nlcPhone) return misc.substr(0, first);
  if (first == std::string::npos) return {};
  const size_t second = misc.find(',', first + 1);
  if (column == nlcSpeed)
    return second == std::string::npos ? misc.substr(first + 1)
                                       : misc.substr(first + 1, second - first - 1);
  return second == std::string::npos ? std::string() : misc.substr(second + 1);
}

std::string NodelistStatusText(size_t shown, int total) {
  return std::to_string(shown) + " of " + std::to_string(total) + " entries shown";
}

// --- Updater -------------------------------------------------------------------------------------

TNodelistUpdater::TNodelistUpdater(const TNodelistLookup& lookup, Hooks hooks)
    : lookup_(lookup), hooks_(std::move(hooks)) {}

TNodelistUpdater::~TNodelistUpdater() {
  RequestStop();
  Wait();
  Join();
}

void TNodelistUpdater::Wait() {
  platform::Dispatcher& dispatcher = platform::GetDispatcher();
  while (!Idle()) dispatcher.RunUntil([this] { return Idle(); }, std::chrono::seconds(1));
}

void TNodelistUpdater::Request() {
  assert(platform::GetDispatcher().IsMainThread());
  if (running_) {
    pending_ = true;
    return;
  }
  Wait();  // a search that has handed over its last result is ending
  running_ = true;
  pending_ = false;
  Launch();
}

void TNodelistUpdater::RunJob() {
  bool again = true;
  while (again && !StopRequested()) {
    TNodelistFilter filter;
    OnMain([&] {
      pending_ = false;
      if (hooks_.Starting) filter = hooks_.Starting();
    });
    std::vector<int> records = FilterNodelist(lookup_, filter, [this] { return StopRequested(); });
    OnMain([&] {
      again = pending_ && !StopRequested();
      running_ = again;
      if (hooks_.Finished) hooks_.Finished(std::move(records), again);
    });
  }
}

void TNodelistUpdater::Failed(const std::string& what) {
  LogProblem("Nodelist search: " + what);
  OnMain([this] {
    running_ = false;
    if (hooks_.Finished) hooks_.Finished({}, false);
  });
}

}  // namespace velmaris
