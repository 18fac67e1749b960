#include "nodelist/NodelistFiles.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Files.h"

namespace velmaris {

namespace {

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

void EncodeNodeIndexRecord(const TNodeIndexRecord& rec, uint8_t out[kNodeIndexRecordSize]) {
  PutLE16(out + 0, rec.Addr.Zone);
  PutLE16(out + 2, rec.Addr.Net);
  PutLE16(out + 4, rec.Addr.Node);
  PutLE16(out + 6, rec.Addr.Point);
  PutLE32(out + 8, rec.NameOffset);
  PutLE32(out + 12, rec.SysopOffset);
  PutLE32(out + 16, rec.CityOffset);
  PutLE32(out + 20, rec.MiscOffset);
  PutLE32(out + 24, static_cast<uint32_t>(rec.NodeType));
  PutLE32(out + 28, rec.Reserved);
}

TNodeIndexRecord DecodeNodeIndexRecord(const uint8_t in[kNodeIndexRecordSize]) {
  TNodeIndexRecord rec;
  rec.Addr.Zone = GetLE16(in + 0);
  rec.Addr.Net = GetLE16(in + 2);
  rec.Addr.Node = GetLE16(in + 4);
  rec.Addr.Point = GetLE16(in + 6);
  rec.NameOffset = GetLE32(in + 8);
  rec.SysopOffset = GetLE32(in + 12);
  rec.CityOffset = GetLE32(in + 16);
  rec.MiscOffset = GetLE32(in + 20);
  rec.NodeType = static_cast<int32_t>(GetLE32(in + 24));
  rec.Reserved = GetLE32(in + 28);
  return rec;
}

int CompareFidoAddr(const TFidoAddr& a, const TFidoAddr& b) {
  if (a.Zone != b.Zone) return a.Zone < b.Zone ? -1 : 1;
  if (a.Net != b.Net) return a.Net < b.Net ? -1 : 1;
  if (a.Node != b.Node) return a.Node < b.Node ? -1 : 1;
  if (a.Point != b.Point) return a.Point < b.Point ? -1 : 1;
  return 0;
}

uint16_t NlCrc16Block(uint16_t start, const void* data, size_t len) {
  return Crc16Update(start, data, len);
}

uint16_t NlCrc16(const void* data, size_t len) { return NlCrc16Block(0, data, len); }

int NextDiffDay(int day, int currentYear) {
  const int next = day + 7;
  const int yearLength = IsLeapYear(currentYear - 1) ? 366 : 365;
  return next > yearLength ? next - yearLength : next;
}

int CurrentCalendarYear() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm.tm_year + 1900;
}

std::string DayNumberExt(int n) {
  const std::string s = std::to_string(static_cast<long long>(n) + 1000);
  return s.size() >= 3 ? s.substr(s.size() - 3) : s;
}

std::optional<std::string> LoadTextFile(const std::string& path) {
  platform::Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.ok()) return std::nullopt;
  const int fd = file.get();
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) > kMaxListFileSize)
    return std::nullopt;
  std::string buf;
  buf.resize(static_cast<size_t>(st.st_size));
  // Fewer bytes without an error: the file shrank while being read.
  const size_t got = platform::ReadFull(fd, buf.data(), buf.size());
  if (got < buf.size() && errno != 0) return std::nullopt;
  file.Close();
  buf.resize(got);
  if (buf.empty() || buf.back() != '\x1A') buf.push_back('\x1A');
  return buf;
}

TLineReader::TLineReader(std::string_view text) : rest_(text), done_(false) {}

bool TLineReader::Next(std::string_view& line) {
  if (done_) return false;
  const size_t lf = rest_.find('\n');
  if (lf == std::string_view::npos) {
    done_ = true;
    line = rest_;
    return !line.empty();
  }
  line = rest_.substr(0, lf);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  rest_.remove_prefix(lf + 1);
  if (rest_.empty()) done_ = true;
  return true;
}

std::string_view TFieldReader::Next() {
  const size_t comma = rest_.find(',');
  std::string_view field;
  if (comma == std::string_view::npos) {
    field = rest_;
    rest_ = {};
  } else {
    field = rest_.substr(0, comma);
    rest_.remove_prefix(comma + 1);
  }
  return field;
}

std::vector<std::string_view> SplitRawLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t lf = text.find('\n');
    if (lf == std::string_view::npos) {
      lines.push_back(text);
      break;
    }
    lines.push_back(text.substr(0, lf + 1));
    text.remove_prefix(lf + 1);
  }
  return lines;
}

std::optional<int32_t> ParseDecimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 10) return std::nullopt;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(v);
}

bool CheckListCrc(std::string_view buffer) {
  const size_t lf = buffer.find('\n');
  if (lf == std::string_view::npos || buffer.empty()) return false;
  std::string_view first = buffer.substr(0, lf);
  if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
  size_t start = first.size();
  while (start > 0 && first[start - 1] >= '0' && first[start - 1] <= '9') --start;
  if (start == first.size()) return false;
  const auto number = ParseDecimal(first.substr(start));
  if (!number) return false;
  // The CRC covers the bytes after the first line up to the end-of-file byte.
  const size_t from = lf + 1;
  const size_t len = buffer.size() > from ? buffer.size() - from - 1 : 0;
  return static_cast<uint16_t>(*number) == NlCrc16(buffer.data() + from, len);
}

}  // namespace velmaris
