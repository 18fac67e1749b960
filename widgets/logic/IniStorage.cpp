#include "widgets/logic/IniStorage.h"

#include <charconv>

namespace velmaris {

namespace {

bool Wrapped(const std::string& v, char q) {
  return v.size() >= 2 && v.front() == q && v.back() == q;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

std::string StripIniQuotes(const std::string& value) {
  if (Wrapped(value, '"') || Wrapped(value, '\'')) return value.substr(1, value.size() - 2);
  return value;
}

std::string IniReadString(const TIniStorage* storage, const std::string& section,
                          const std::string& ident, const std::string& def) {
  return storage ? storage->ReadString(section, ident, def) : def;
}

void IniWriteString(TIniStorage* storage, const std::string& section, const std::string& ident,
                    const std::string& value) {
  if (!storage) return;
  if (storage->StripsQuotes() && (Wrapped(value, '"') || Wrapped(value, '\''))) {
    storage->WriteString(section, ident, "\"" + value + "\"");
  } else {
    storage->WriteString(section, ident, value);
  }
}

int32_t IniReadInteger(const TIniStorage* storage, const std::string& section,
                       const std::string& ident, int32_t def) {
  const std::string v = IniReadString(storage, section, ident, "");
  size_t b = 0, e = v.size();
  while (b < e && v[b] == ' ') ++b;
  while (e > b && v[e - 1] == ' ') --e;
  if (b < e && v[b] == '+') ++b;
  int32_t out = 0;
  const auto [ptr, ec] = std::from_chars(v.data() + b, v.data() + e, out);
  return b < e && ec == std::errc() && ptr == v.data() + e ? out : def;
}

void IniWriteInteger(TIniStorage* storage, const std::string& section, const std::string& ident,
                     int32_t value) {
  IniWriteString(storage, section, ident, std::to_string(value));
}

void IniEraseSection(TIniStorage* storage, const std::string& section) {
  if (storage) storage->EraseSection(section);
}

bool IniReadBool(const TIniStorage* storage, const std::string& section, const std::string& ident,
                 bool def) {
  return IniReadInteger(storage, section, ident, def ? 1 : 0) != 0;
}

void IniWriteBool(TIniStorage* storage, const std::string& section, const std::string& ident,
                  bool value) {
  IniWriteInteger(storage, section, ident, value ? 1 : 0);
}

std::string GetScreenSuffix(int screenWidth, int screenHeight) {
  return "(" + std::to_string(screenWidth) + "x" + std::to_string(screenHeight) + ")";
}

std::string IniReadScreenString(const TIniStorage* storage, const std::string& section,
                                const std::string& ident, int screenWidth, int screenHeight) {
  const std::string s =
      IniReadString(storage, section, ident + GetScreenSuffix(screenWidth, screenHeight), "");
  return s.empty() ? IniReadString(storage, section, ident, "") : s;
}

void IniWriteScreenString(TIniStorage* storage, const std::string& section,
                          const std::string& ident, const std::string& value, int screenWidth,
                          int screenHeight) {
  IniWriteString(storage, section, ident + GetScreenSuffix(screenWidth, screenHeight), value);
  IniWriteString(storage, section, ident, value);
}

std::string GetDefaultIniName(const std::string& programPath,
                              const std::function<std::string()>& hook) {
  if (hook) return hook();
  return WithoutExtension(BaseName(programPath)) + ".INI";
}

std::string GetDefaultIniRegKey(const std::string& programPath, const std::string& companyKey,
                                bool useAppTitle, const std::string& appTitle) {
  std::string key = "Software\\";
  if (!companyKey.empty()) key += companyKey + "\\";
  key += useAppTitle && !appTitle.empty() ? appTitle : WithoutExtension(BaseName(programPath));
  return key;
}

}  // namespace velmaris
