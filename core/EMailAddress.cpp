#include "core/EMailAddress.h"

namespace velmaris {

namespace {

bool IsWordChar(char c) { return static_cast<unsigned char>(c) >= 33; }

}  // namespace

bool SplitEMailAddress(const std::string& line, std::string& address, std::string& name) {
  size_t at = line.find('@');
  if (at == std::string::npos) {
    address.clear();
    name = line;
    return false;
  }
  size_t begin = at;
  while (begin > 0 && IsWordChar(line[begin - 1])) --begin;
  size_t end = at + 1;
  while (end < line.size() && IsWordChar(line[end])) ++end;

  std::string addr = line.substr(begin, end - begin);
  std::string rest = line.substr(0, begin) + line.substr(end);

  if (!addr.empty() && addr.front() == '<') addr.erase(0, 1);
  if (!addr.empty() && addr.back() == '>') addr.pop_back();

  size_t first = 0;
  while (first < rest.size() && !IsWordChar(rest[first])) ++first;
  size_t last = rest.size();
  while (last > first && !IsWordChar(rest[last - 1])) --last;
  rest = rest.substr(first, last - first);
  if (!rest.empty() && rest.front() == '(') rest.erase(0, 1);
  if (!rest.empty() && rest.back() == ')') rest.pop_back();

  name = rest.empty() ? addr : rest;
  address = std::move(addr);
  return true;
}

}  // namespace velmaris
