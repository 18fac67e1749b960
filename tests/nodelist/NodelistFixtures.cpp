#include "NodelistFixtures.h"

#include <algorithm>

namespace velmaris::test {

std::string MakeWeeklyList(int day, const std::vector<std::string>& body) {
  std::string text;
  for (const auto& line : body) text += line + "\r\n";
  const uint16_t crc = NlCrc16(text.data(), text.size());
  return ";A FidoNet Nodelist for Friday -- Day number " + DayNumberExt(day) + " : " +
         std::to_string(crc) + "\r\n" + text + "\x1A";
}

std::vector<std::string> RawLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string body = text;
  if (!body.empty() && body.back() == '\x1A') body.pop_back();
  size_t pos = 0;
  while (pos < body.size()) {
    size_t lf = body.find('\n', pos);
    if (lf == std::string::npos) lf = body.size() - 1;
    lines.push_back(body.substr(pos, lf + 1 - pos));
    pos = lf + 1;
  }
  return lines;
}

std::string MakeDiff(const std::string& oldList, const std::string& newList) {
  const auto a = RawLines(oldList), b = RawLines(newList);
  const size_t n = a.size(), m = b.size();
  std::vector<std::vector<int>> lcs(n + 1, std::vector<int>(m + 1, 0));
  for (size_t i = n; i-- > 0;)
    for (size_t j = m; j-- > 0;)
      lcs[i][j] = a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
  std::string diff = a.empty() ? std::string("\r\n") : a[0];
  // Collect runs of one kind of command.
  char kind = 0;
  std::vector<std::string> run;
  auto flush = [&] {
    if (!kind) return;
    diff += std::string(1, kind) + std::to_string(run.size()) + "\r\n";
    if (kind == 'A')
      for (const auto& l : run) diff += l;
    run.clear();
    kind = 0;
  };
  auto push = [&](char k, const std::string& line) {
    if (k != kind) flush();
    kind = k;
    run.push_back(line);
  };
  size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[i] == b[j]) {
      push('C', a[i]);
      ++i;
      ++j;
    } else if (i < n && (j == m || lcs[i + 1][j] >= lcs[i][j + 1])) {
      push('D', a[i]);
      ++i;
    } else {
      push('A', b[j]);
      ++j;
    }
  }
  flush();
  return diff + "\x1A";
}

}  // namespace velmaris::test
