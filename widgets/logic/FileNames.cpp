#include "widgets/logic/FileNames.h"

#include "platform/Files.h"
#include "widgets/logic/VxStrUtils.h"

namespace velmaris {

bool IsExistingDirectory(const std::string& name) {
  return !name.empty() && platform::DirExists(name);
}

bool IsValidFileName(std::string_view name) {
  return !name.empty() && name.find_first_of("<>\"[]|") == std::string_view::npos;
}

std::string RemoveTrailingBackslash(std::string_view dir) {
  if (dir.size() > 1 && dir.back() == '/') dir.remove_suffix(1);
  return std::string(dir);
}

namespace {

// The path with every component as it is named on disk, each found without
// regard to case; empty when one is missing.
std::string ResolveNoCase(const std::string& path) {
  std::string current = path.starts_with('/') ? "/" : "";
  size_t pos = 0;
  while (pos < path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;
    const auto found = platform::FindNoCase(current.empty() ? "." : current, part);
    if (!found) return {};
    current = platform::JoinPath(current, *found);
  }
  return current;
}

}  // namespace

std::string LongNameOf(const std::string& name) {
  const std::string resolved = ResolveNoCase(name);
  if (resolved == "/") return resolved;
  return resolved.empty() ? std::string() : platform::NameOf(resolved);
}

std::string ShortNameOf(const std::string& name) { return LongNameOf(name); }

std::string LongPathOf(const std::string& path) {
  // From the last component back to the first: each prefix is looked up, so
  // a missing middle component gives an empty name and the rest still shows.
  std::string rest = RemoveTrailingBackslash(path);
  std::string result;
  for (size_t slash = rest.rfind('/'); slash != std::string::npos; slash = rest.rfind('/')) {
    const std::string found = LongNameOf(rest);
    result = "/" + found + result;
    rest.resize(slash);
  }
  if (!rest.empty()) result = LongNameOf(rest) + result;
  return result;
}

std::string ShortPathOf(const std::string& path) { return LongPathOf(path); }

std::string FileNameOfText(const std::string& text) {
  if (platform::FileExists(text)) return text;
  // An unquoted name with blanks followed by arguments: the longest part
  // before a blank that names a file.
  for (size_t blank = text.rfind(' '); blank != std::string::npos && blank > 0;
       blank = text.rfind(' ', blank - 1)) {
    if (platform::FileExists(text.substr(0, blank))) return text.substr(0, blank);
  }
  std::string program, parameters;
  SplitCommandLine(text, program, parameters);
  return program;
}

std::string QuoteIfBlank(const std::string& name) {
  if (name.find(' ') != std::string::npos && (name.empty() || name[0] != '"')) {
    return "\"" + name + "\"";
  }
  return name;
}

std::string LongDirList(const std::string& text, bool multipleDirs) {
  if (!multipleDirs) return LongPathOf(text);
  std::string out;
  size_t pos = 1;
  const TCharSet semicolon = MakeCharSet(";");
  while (pos <= text.size()) {
    const std::string part = LongPathOf(ExtractDelimited(text, pos, semicolon));
    if (part.empty()) continue;
    if (!out.empty()) out.push_back(';');
    out += part;
  }
  return out;
}

std::string AddDirToText(const std::string& text, const std::string& dir, bool multipleDirs) {
  if (multipleDirs && !text.empty()) return text + ";" + dir;
  return dir;
}

std::string DirOfDropped(const std::string& path) {
  if (platform::DirExists(path)) return path;
  return RemoveTrailingBackslash(platform::DirOf(path));
}

}  // namespace velmaris
