#include "widgets/IniFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Ascii.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

constexpr size_t kMaxFile = 1 << 20;
constexpr size_t kMaxLine = 4096;

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

using platform::EqualNoCase;

// The section named by a header line "[Name]", or false when the line is none.
bool SectionOf(const std::string& line, std::string* name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t[0] != '[') return false;
  const size_t close = t.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(t.substr(1, close - 1));
  return true;
}

bool KeyOf(const std::string& line, std::string* key, std::string* value) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '[') return false;
  const size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(t.substr(0, eq));
  if (value) *value = Trim(t.substr(eq + 1));
  return !key->empty();
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  std::string data;
  data.resize(kMaxFile + 1);
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<size_t>(in.gcount()));
  if (data.size() > kMaxFile) return;  // not a layout file of ours
  std::string section;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      crlf_ = true;
    }
    if (line.size() > kMaxLine) continue;
    std::string name;
    if (SectionOf(line, &name)) section = name;
    lines_.push_back({line, section});
  }
}

int IniFile::FindKey(const std::string& section, const std::string& key) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string k;
    std::string name;
    if (EqualNoCase(lines_[i].section, section) && !SectionOf(lines_[i].text, &name) &&
        KeyOf(lines_[i].text, &k, nullptr) && EqualNoCase(k, key))
      return static_cast<int>(i);
  }
  return -1;
}

bool IniFile::ValueExists(const std::string& section, const std::string& key) const {
  return FindKey(section, key) >= 0;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& def) const {
  const int i = FindKey(section, key);
  if (i < 0) return def;
  std::string k, v;
  KeyOf(lines_[static_cast<size_t>(i)].text, &k, &v);
  return v;
}

int32_t IniFile::ReadInteger(const std::string& section, const std::string& key,
                             int32_t def) const {
  const std::string v = ReadString(section, key, "");
  if (v.empty()) return def;
  const char* b = v.data();
  const char* e = b + v.size();
  if (*b == '+') ++b;
  int32_t out = 0;
  auto [ptr, ec] = std::from_chars(b, e, out);
  if (ec != std::errc() || ptr != e) return def;
  return out;
}

void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  const int i = FindKey(section, key);
  if (i >= 0) {
    std::string k;
    KeyOf(lines_[static_cast<size_t>(i)].text, &k, nullptr);
    lines_[static_cast<size_t>(i)].text = k + "=" + value;
    return;
  }
  // After the last key of the section, or a new section at the end.
  int last = -1;
  for (size_t j = 0; j < lines_.size(); ++j) {
    if (!EqualNoCase(lines_[j].section, section)) continue;
    std::string name;
    if (SectionOf(lines_[j].text, &name) || !Trim(lines_[j].text).empty())
      last = static_cast<int>(j);
  }
  if (last < 0) {
    lines_.push_back({"[" + section + "]", section});
    lines_.push_back({key + "=" + value, section});
    return;
  }
  lines_.insert(lines_.begin() + last + 1,
                Line{key + "=" + value, lines_[static_cast<size_t>(last)].section});
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::EraseSection(const std::string& section) {
  std::erase_if(lines_, [&](const Line& l) { return EqualNoCase(l.section, section); });
}

std::string IniFile::ToText() const {
  const char* eol = crlf_ ? "\r\n" : "\n";
  std::string out;
  for (const Line& l : lines_) {
    out += l.text;
    out += eol;
  }
  return out;
}

void IniFile::Save() const {
  try {
    platform::WriteFileAtomic(path_, ToText());
  } catch (const platform::EFile& e) {
    throw EIniFile(e.what());
  }
}

}  // namespace velmaris
