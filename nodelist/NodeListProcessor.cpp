#include "nodelist/NodeListProcessor.h"

#include "core/ByteOrder.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace velmaris {

namespace {

// A number that names a zone, net, node or point.
std::optional<uint16_t> AddressPart(std::string_view text) {
  const auto v = ParseDecimal(text);
  if (!v || *v < 0 || *v > 65535) return std::nullopt;
  return static_cast<uint16_t>(*v);
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

enum class TBossParse { ok, malformed, outOfRange };

// "zone:net/node" with an optional ".point"; anything after the node other
// than "." and digits is ignored, as in every address text.
TBossParse ParseBoss(std::string_view text, TFidoAddr& out) {
  auto digits = [&](size_t& pos) {
    const size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    return text.substr(start, pos - start);
  };
  size_t pos = 0;
  const auto zone = digits(pos);
  if (zone.empty() || pos >= text.size() || text[pos] != ':') return TBossParse::malformed;
  ++pos;
  const auto net = digits(pos);
  if (net.empty() || pos >= text.size() || text[pos] != '/') return TBossParse::malformed;
  ++pos;
  const auto node = digits(pos);
  if (node.empty()) return TBossParse::malformed;
  std::string_view point = "0";
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    point = digits(pos);
    if (point.empty()) return TBossParse::malformed;
  }
  const auto z = AddressPart(zone), n = AddressPart(net), d = AddressPart(node),
             p = AddressPart(point);
  if (!z || !n || !d || !p) return TBossParse::outOfRange;
  out = TFidoAddr{*z, *n, *d, *p};
  return TBossParse::ok;
}

// The entry type of a nodelist keyword; -1 for a keyword that adds nothing.
int32_t NodelistType(std::string_view keyword) {
  if (keyword.empty()) return ntNode;
  if (keyword == "Pvt") return ntPrivateNode;
  if (keyword == "Hold") return ntNodeHold;
  if (keyword == "Down") return ntNodeDown;
  if (keyword == "Hub") return ntHub;
  if (keyword == "Host") return ntHost;
  if (keyword == "Region") return ntRegion;
  if (keyword == "Zone") return ntZone;
  return -1;
}

// The entry type of a pointlist keyword that makes a point; -1 otherwise.
int32_t PointType(std::string_view keyword) {
  if (keyword.empty()) return ntPoint;
  if (keyword == "Point" || keyword == "Pvt") return ntPrivatePoint;
  if (keyword == "Hold") return ntPointHold;
  if (keyword == "Down") return ntPointDown;
  return -1;
}

// The first damaged lines of a list are named in the log; the rest counted.
constexpr size_t kLoggedDamagedLines = 10;

int CompareText(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

// The damage found in one list: the damaged lines, and the entries left out
// because a damaged line before them may have set their zone or net.
class TNodeListProcessor::TDamage {
 public:
  TDamage(const TNodeListProcessor& owner, const std::string& shownName)
      : owner_(owner), shown_(shownName) {}
  void Line(size_t number) {
    if (++lines_ <= kLoggedDamagedLines)
      owner_.DoLog("Line " + std::to_string(number) + " of " + shown_ +
                   " is damaged and has been left out.");
  }
  void LeftOut() { ++leftOut_; }
  size_t Lines() const { return lines_; }
  void Summary() const {
    if (lines_ > kLoggedDamagedLines)
      owner_.DoLog(std::to_string(lines_ - kLoggedDamagedLines) + " more damaged lines of " +
                   shown_ + " have been left out.");
    if (leftOut_)
      owner_.DoLog(std::to_string(leftOut_) + " entries of " + shown_ +
                   " have been left out: a damaged line before them leaves their zone or net"
                   " unknown.");
  }

 private:
  const TNodeListProcessor& owner_;
  const std::string& shown_;
  size_t lines_ = 0, leftOut_ = 0;
};

std::vector<std::string> ListFileNames(const std::string& dir) {
  std::vector<std::string> names;
  try {
    for (auto& entry : platform::ScanDir(dir)) names.push_back(std::move(entry.name));
  } catch (const platform::EFile&) {
    // an unreadable directory holds no lists
  }
  return names;
}

void TNodeListProcessor::DoStatus(const std::string& text) const {
  if (OnStatus) OnStatus(text);
}

void TNodeListProcessor::DoLog(const std::string& text) const {
  if (OnLog) OnLog(text);
}

int TNodeListProcessor::Year() const { return CurrentYear ? CurrentYear() : CurrentCalendarYear(); }

void TNodeListProcessor::ClearEntries() {
  entries_.clear();
  entries_.shrink_to_fit();
  index_.clear();
  index_.shrink_to_fit();
  buffers_.clear();
}

int TNodeListProcessor::FindNewestList(const std::string& name, std::string* actualBase) const {
  int best = -1;
  for (const auto& file : ListFileNames(ListDir)) {
    if (file.size() <= name.size() + 1 || file[name.size()] != '.') continue;
    if (!platform::StartsWithNoCase(file, name)) continue;
    const std::string_view ext = std::string_view(file).substr(name.size() + 1);
    if (!AllDigits(ext)) continue;  // "NEW", "OLD" and the like
    const auto v = ParseDecimal(ext);
    if (!v) continue;
    if (*v > best || (*v == best && actualBase && file.substr(0, name.size()) < *actualBase)) {
      best = *v;
      if (actualBase) *actualBase = file.substr(0, name.size());
    }
  }
  return best;
}

int TNodeListProcessor::ReadNodelist(const std::string& name, int zone) {
  return ReadList(name, zone, false);
}

int TNodeListProcessor::ReadPointlist(const std::string& name, int zone) {
  return ReadList(name, zone, true);
}

int TNodeListProcessor::ReadList(const std::string& name, int zone, bool pointlist) {
  const std::string kind = pointlist ? "pointlist " : "nodelist ";
  // Status and log lines are made in the ANSI page.
  const std::string nameText = platform::LogName(name);
  DoStatus("Starting processing of " + nameText);
  DoStatus("Searching " + kind + nameText + ".*");
  std::string shown = name;
  int result;
  const int ext = FindNewestList(name);
  if (ext < 0) {
    DoLog("File " + nameText + ".* not found!");
    DoLog("Error opening " + kind + nameText + " !");
    result = rrNotFound;
  } else {
    DoStatus("Opening " + kind + nameText);
    shown = name + "." + DayNumberExt(ext);
    const auto file = platform::FindNoCase(ListDir, shown);
    auto buffer = file ? LoadTextFile(ListDir + *file) : std::nullopt;
    if (!buffer) {
      DoLog("Error reading file " + platform::LogName(shown) + " !");
      ++damagedLists_;
      result = rrNotReadable;
    } else {
      ++listsOpened_;
      result = ReadListText(std::move(*buffer), shown, zone, pointlist);
    }
  }
  DoStatus("Processing " + kind + platform::LogName(shown) + " finished ");
  return result;
}

int TNodeListProcessor::ReadListText(std::string text, const std::string& listName, int zone,
                                     bool pointlist) {
  const std::string shownName = platform::LogName(listName);
  if (text.empty() || text.back() != '\x1A') text.push_back('\x1A');
  text.back() = '\0';  // the end-of-file byte
  DoStatus(std::string("Reading ") + (pointlist ? "pointlist " : "nodelist ") + shownName);
  const size_t before = entries_.size();
  buffers_.push_back(std::move(text));
  // The entries point into the buffer, which stays until the run ends.
  const std::string_view view =
      std::string_view(buffers_.back()).substr(0, buffers_.back().size() - 1);
  TDamage damage(*this, shownName);
  if (pointlist)
    ParsePointlistBuffer(view, zone, damage);
  else
    ParseNodelistBuffer(view, zone, damage);
  damage.Summary();
  const std::string read =
      std::to_string(entries_.size() - before) + " entries from " + shownName + " read";
  if (damage.Lines() == 0) {
    DoLog(read);
    return rrRead;
  }
  DoLog("Structure error in " + shownName + " !");
  DoLog(read);
  ++damagedLists_;
  return rrStructureError;
}

void TNodeListProcessor::ParseNodelistBuffer(std::string_view text, int zone, TDamage& damage) {
  TFidoAddr state;
  state.Zone = static_cast<uint16_t>(zone < 0 || zone > 65535 ? 0 : zone);
  bool zoneKnown = true, netKnown = true;
  TLineReader lines(text);
  std::string_view line;
  for (size_t number = 1; lines.Next(line); ++number) {
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '\x1A') break;  // the end of a DOS text
    TFieldReader fields(line);
    const std::string_view keyword = fields.Next();
    const int32_t type = NodelistType(keyword);
    const auto value = ParseDecimal(fields.Next());
    if (line.find('\0') != std::string_view::npos || !value ||
        (type >= 0 && (*value < 0 || *value > 65535))) {
      damage.Line(number);
      // A line that may have set the zone or the net leaves the addresses of
      // the lines after it unknown until one sets them again.
      if (type < 0 || type == ntZone)
        zoneKnown = netKnown = false;
      else if (type == ntHost || type == ntRegion)
        netKnown = false;
      continue;
    }
    if (type < 0) continue;  // a keyword of no known kind adds nothing
    TNodeEntry e;
    e.SystemName = fields.Next();
    e.Location = fields.Next();
    e.Sysop = fields.Next();
    e.LinkInfo = fields.Rest();
    const auto n = static_cast<uint16_t>(*value);
    if (type == ntZone) {
      state.Zone = n;
      state.Net = 0;
      state.Node = 0;
      zoneKnown = netKnown = true;
    } else if (type == ntHost || type == ntRegion) {
      state.Net = n;
      state.Node = 0;
      netKnown = true;
    } else {
      state.Node = n;
    }
    state.Point = 0;
    if (!zoneKnown || !netKnown) {
      damage.LeftOut();
      continue;
    }
    e.Rec.Addr = state;
    e.Rec.NodeType = type;
    entries_.push_back(e);
  }
}

void TNodeListProcessor::ParsePointlistBuffer(std::string_view text, int zone, TDamage& damage) {
  TFidoAddr state;    // 0:0/0.0 until a "Boss", "Host" or "Zone" line
  bool known = true;  // false after a damaged line that may have set the boss
  const auto hostZone = static_cast<uint16_t>(zone < 0 || zone > 65535 ? 0 : zone);
  TLineReader lines(text);
  std::string_view line;
  for (size_t number = 1; lines.Next(line); ++number) {
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '\x1A') break;  // the end of a DOS text
    TFieldReader fields(line);
    const std::string_view keyword = fields.Next();
    const int32_t pointType = PointType(keyword);
    auto damaged = [&] {
      damage.Line(number);
      if (pointType < 0 && keyword != "Region") known = false;
    };
    if (line.find('\0') != std::string_view::npos) {
      damaged();
      continue;
    }
    if (keyword == "Boss") {
      TFidoAddr boss;
      const TBossParse r = ParseBoss(fields.Next(), boss);
      if (r == TBossParse::outOfRange) {
        damaged();
      } else if (r == TBossParse::ok) {
        state = boss;
        known = true;
      }
      continue;
    }
    const auto value = ParseDecimal(fields.Next());
    if (!value) {
      damaged();
      continue;
    }
    TNodeEntry e;
    e.SystemName = fields.Next();
    e.Location = fields.Next();
    e.Sysop = fields.Next();
    e.LinkInfo = fields.Rest();
    if (keyword == "Host") {
      const size_t slash = e.SystemName.find('/');
      if (slash != std::string_view::npos) {
        const std::string_view netText = e.SystemName.substr(0, slash);
        const std::string_view nodeText = e.SystemName.substr(slash + 1);
        if (AllDigits(netText) && AllDigits(nodeText)) {
          const auto net = AddressPart(netText), node = AddressPart(nodeText);
          if (!net || !node) {
            damaged();
            continue;
          }
          state = TFidoAddr{hostZone, *net, *node, 0};
          known = true;
        }
      }
      continue;
    }
    if (pointType < 0 && keyword != "Zone") continue;  // "Region" and unknown keywords add nothing
    if (*value < 0 || *value > 65535) {
      damaged();
      continue;
    }
    const auto n = static_cast<uint16_t>(*value);
    if (keyword == "Zone") {
      state = TFidoAddr{n, 0, 0, 0};
      known = true;
    } else {
      state.Point = n;
    }
    if (!known) {
      damage.LeftOut();
      continue;
    }
    e.Rec.Addr = state;
    e.Rec.NodeType = keyword == "Zone" ? ntZone : pointType;
    entries_.push_back(e);
  }
}

void TNodeListProcessor::CreateIndex() {
  DoStatus("Creating Index");
  index_.clear();
  index_.reserve(entries_.size());
  for (auto& e : entries_) index_.push_back(&e);
  DoStatus("Index created");
}

namespace {

using TEntryPtr = void*;

// The quicksort that orders the entries for every key. Its choice of pivot
// fixes the order of entries with equal keys, and with it which of several
// equal link texts each record points to, so it is kept as it is; only the
// larger part is handled by the loop, which keeps the recursion shallow.
template <class Entry, class Cmp>
void QuickSort(Entry** a, int lo, int hi, Cmp cmp) {
  while (lo < hi) {
    if (hi == lo + 1) {
      if (cmp(a[lo], a[hi]) > 0) std::swap(a[lo], a[hi]);
      return;
    }
    const Entry* pivot =
        a[static_cast<int>((static_cast<unsigned>(lo) + static_cast<unsigned>(hi)) >> 1)];
    const bool loGreater = cmp(a[lo], pivot) > 0, hiGreater = cmp(a[hi], pivot) > 0;
    const bool loLess = cmp(a[lo], pivot) < 0, hiLess = cmp(a[hi], pivot) < 0;
    if (loGreater && hiGreater)
      pivot = cmp(a[lo], a[hi]) <= 0 ? a[lo] : a[hi];
    else if (loLess && hiLess)
      pivot = cmp(a[lo], a[hi]) >= 0 ? a[lo] : a[hi];
    int i = lo, j = hi;
    while (i <= j) {
      if (cmp(a[i], pivot) < 0) {
        ++i;
      } else {
        while (cmp(a[j], pivot) > 0) --j;
        if (i <= j) {
          std::swap(a[i], a[j]);
          ++i;
          --j;
        }
      }
    }
    if (j - lo < hi - i) {
      if (lo < j) QuickSort(a, lo, j, cmp);
      lo = i;
    } else {
      if (i < hi) QuickSort(a, i, hi, cmp);
      hi = j;
    }
  }
}

}  // namespace

void TNodeListProcessor::Sort(TKeyCompare cmp, const char* start, const char* finished) {
  DoStatus(start);
  if (!index_.empty()) QuickSort(index_.data(), 0, static_cast<int>(index_.size()) - 1, cmp);
  DoStatus(finished);
}

void TNodeListProcessor::DeleteDuplicates() {
  DoStatus("Deleting duplicate entries");
  // The sort does not keep the read order of equal addresses, so of each run
  // the entry read last (the highest place in entries_) is the one kept.
  size_t write = 0, removed = 0;
  for (size_t run = 0; run < index_.size();) {
    size_t end = run + 1;
    auto* last = index_[run];
    while (end < index_.size() && CompareFidoAddr(index_[end]->Rec.Addr, last->Rec.Addr) == 0) {
      if (index_[end] > last) last = index_[end];
      ++end;
    }
    removed += end - run - 1;
    index_[write++] = last;
    run = end;
  }
  index_.resize(write);
  DoLog(std::to_string(removed) + " duplicate entries deleted");
  DoStatus("Duplicate entries deleted");
}

namespace {

enum class TWrite { ok, createFailed, writeFailed };

TWrite WriteWholeFile(const std::string& path, const std::string& bytes) {
  platform::Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd.ok()) return TWrite::createFailed;
  bool ok = platform::WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
  if (!fd.Close()) ok = false;
  return ok ? TWrite::ok : TWrite::writeFailed;
}

const char* kTempSuffix = ".tmp";

struct TTextWriter {
  const char* firstStatus;
  const char* written;
  const char* failed;
  const char* lastStatus;
};

const TTextWriter kWriters[4] = {
    {"Saving system names", "System names saved", "Could not save system names",
     "Saving system names finished"},
    {"Saving sysop names", "Saving sysop names finished.", "Could not save sysop names.",
     "Saving sysop names finished."},
    {"Saving locations", "Saving locations finished.", "Could not save locations.",
     "Saving locations finished."},
    {"Saving link information", "Saving link information finished",
     "Could not save link information.", "Saving link information finished."},
};

}  // namespace

void TNodeListProcessor::BuildTexts(int which, std::string& data, std::string& index,
                                    bool& tooLarge) {
  auto textOf = [which](const TNodeEntry* e) -> std::string_view {
    switch (which) {
      case 0: return e->SystemName;
      case 1: return e->Sysop;
      case 2: return e->Location;
      default: return e->LinkInfo;
    }
  };
  uint32_t TNodeIndexRecord::*field = which == 0   ? &TNodeIndexRecord::NameOffset
                                      : which == 1 ? &TNodeIndexRecord::SysopOffset
                                      : which == 2 ? &TNodeIndexRecord::CityOffset
                                                   : &TNodeIndexRecord::MiscOffset;
  index.reserve(index_.size() * 4);
  uint64_t offset = 0, len = 0;
  tooLarge = false;
  for (size_t k = 0; k < index_.size(); ++k) {
    TNodeEntry* e = index_[k];
    const std::string_view text = textOf(e);
    // Equal names, sysops and locations are stored once; every record has
    // its own link information.
    if (k == 0 || which == 3 || text != textOf(index_[k - 1])) {
      offset += len;
      const std::string_view stored = text.empty() ? std::string_view("<unknown>") : text;
      data.append(stored);
      data.push_back('\r');
      len = stored.size() + 1;
    }
    if (offset > UINT32_MAX) tooLarge = true;
    AppendLE32(index, static_cast<uint32_t>(offset));
    e->Rec.*field = static_cast<uint32_t>(offset);
  }
}

bool TNodeListProcessor::SaveTexts(const std::string& base, int which) {
  const TTextWriter& w = kWriters[which];
  DoStatus(w.firstStatus);
  std::string data, index;
  bool tooLarge = false;
  BuildTexts(which, data, index, tooLarge);
  const std::string dataPath = base + ".Data" + kTempSuffix;
  const std::string indexPath = base + ".Index" + kTempSuffix;
  temps_.push_back(dataPath);
  temps_.push_back(indexPath);
  bool ok = true;
  const TWrite d = tooLarge ? TWrite::writeFailed : WriteWholeFile(dataPath, data);
  if (d == TWrite::createFailed) {
    DoLog("File " + platform::LogName(base) + "Could not create .Data!");
    ok = false;
  }
  const TWrite i = WriteWholeFile(indexPath, index);
  if (i == TWrite::createFailed) {
    DoLog("File " + platform::LogName(base) + "Could not create .Index!");
    ok = false;
  }
  if (ok) {
    ok = d == TWrite::ok && i == TWrite::ok;
    DoLog(ok ? w.written : w.failed);
  }
  DoStatus(w.lastStatus);
  return ok;
}

std::string TNodeListProcessor::BuildMainIndex() const {
  std::string bytes;
  bytes.resize(index_.size() * kNodeIndexRecordSize);
  for (size_t k = 0; k < index_.size(); ++k)
    EncodeNodeIndexRecord(index_[k]->Rec,
                          reinterpret_cast<uint8_t*>(bytes.data()) + k * kNodeIndexRecordSize);
  return bytes;
}

bool TNodeListProcessor::SaveMainIndex(const std::string& fileName) {
  DoStatus("Saving main index");
  const std::string bytes = BuildMainIndex();
  const std::string temp = fileName + kTempSuffix;
  temps_.push_back(temp);
  const TWrite r = WriteWholeFile(temp, bytes);
  bool ok = r == TWrite::ok;
  if (r == TWrite::createFailed)
    DoLog("File " + platform::LogName(fileName) + " could not be created!");
  else if (r == TWrite::writeFailed)
    DoLog("Could not save main index!");
  else
    DoLog("Main index saved");
  DoStatus("Main index saved.");
  return ok;
}

std::vector<std::pair<std::string, std::string>> TNodeListProcessor::BuildIndexImage() {
  auto byAddress = [](const TNodeEntry* a, const TNodeEntry* b) {
    return CompareFidoAddr(a->Rec.Addr, b->Rec.Addr);
  };
  std::vector<std::pair<std::string, std::string>> files;
  CreateIndex();
  Sort(byAddress, "Sorting by address", "Sortierting by address finished");
  DeleteDuplicates();
  const TKeyCompare keys[4] = {
      [](const TNodeEntry* a, const TNodeEntry* b) {
        return CompareText(a->SystemName, b->SystemName);
      },
      [](const TNodeEntry* a, const TNodeEntry* b) { return CompareText(a->Sysop, b->Sysop); },
      [](const TNodeEntry* a, const TNodeEntry* b) {
        return CompareText(a->Location, b->Location);
      },
      [](const TNodeEntry* a, const TNodeEntry* b) {
        return CompareText(a->LinkInfo, b->LinkInfo);
      }};
  for (int which = 0; which < 4; ++which) {
    Sort(keys[which], "", "");
    std::string data, index;
    bool tooLarge = false;
    BuildTexts(which, data, index, tooLarge);
    files.emplace_back(std::string(kTextKeys[which]) + ".Data", std::move(data));
    files.emplace_back(std::string(kTextKeys[which]) + ".Index", std::move(index));
  }
  Sort(byAddress, "", "");
  files.emplace_back(kAddressesIndex, BuildMainIndex());
  return files;
}

TCompileResult TNodeListProcessor::Process() {
  if (Lookup) {
    Lookup->Close();  // refused while a reader holds the lock; it reopens later
    Lookup->Lock();
  }
  struct TUnlock {
    TNodelistLookup* lookup;
    ~TUnlock() {
      if (lookup) {
        lookup->Unlock();
        lookup->Open();
      }
    }
  } unlock{Lookup};

  DoLog("Starting processing");
  ClearEntries();
  temps_.clear();
  damagedLists_ = 0;
  listsOpened_ = 0;
  for (const auto& info : NodeLists) ReadNodelist(info.List, info.Zone);
  for (const auto& info : PointLists) ReadPointlist(info.List, info.Zone);

  auto byAddress = [](const TNodeEntry* a, const TNodeEntry* b) {
    return CompareFidoAddr(a->Rec.Addr, b->Rec.Addr);
  };
  CreateIndex();
  Sort(byAddress, "Sorting by address", "Sortierting by address finished");
  DeleteDuplicates();

  bool ok = true;
  Sort([](const TNodeEntry* a,
          const TNodeEntry* b) { return CompareText(a->SystemName, b->SystemName); },
       "Sorting by system name", "Sorting by system name finished");
  ok &= SaveTexts(IndexDir + "Names", 0);
  Sort([](const TNodeEntry* a, const TNodeEntry* b) { return CompareText(a->Sysop, b->Sysop); },
       "Sorting by sysop", "Sorting by sysop finished");
  ok &= SaveTexts(IndexDir + "Sysops", 1);
  Sort([](const TNodeEntry* a,
          const TNodeEntry* b) { return CompareText(a->Location, b->Location); },
       "Sorting by location", "Sorting by location finished");
  ok &= SaveTexts(IndexDir + "Cities", 2);
  Sort([](const TNodeEntry* a,
          const TNodeEntry* b) { return CompareText(a->LinkInfo, b->LinkInfo); },
       "Sorting by phone", "Sorting by phone finished");
  ok &= SaveTexts(IndexDir + "Misc", 3);
  Sort(byAddress, "Sorting by address", "Sortierting by address finished");
  ok &= SaveMainIndex(IndexDir + kAddressesIndex);

  // The new set replaces the old one only when every file was written; the
  // main index goes last, so a set is never mixed from two runs.
  bool renamedSome = false;
  for (const auto& temp : temps_) {
    const std::string target = temp.substr(0, temp.size() - std::string(kTempSuffix).size());
    if (ok) {
      if (std::rename(temp.c_str(), target.c_str()) == 0) {
        renamedSome = true;
      } else {
        DoLog("File " + platform::LogName(target) + " could not be created!");
        ok = false;
        // Part of the set is new already: take the main index away so that
        // no reader pairs old records with new texts.
        if (renamedSome) std::remove((IndexDir + kAddressesIndex).c_str());
      }
    }
    if (!ok) std::remove(temp.c_str());
  }
  temps_.clear();

  ClearEntries();
  DoStatus("");
  DoLog("Done");
  return {ok, damagedLists_, listsOpened_};
}

}  // namespace velmaris
