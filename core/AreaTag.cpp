#include "core/AreaTag.h"

#include "core/Area.h"
#include "platform/CaseFold.h"

namespace velmaris {

const TArea* AreaOfTag(std::string_view name, const TAreaList* areas) {
  if (!areas) return nullptr;
  for (int i = 0; i < areas->GetCount(); ++i) {
    const TArea* area = areas->GetItem(i);
    if (area && !area->IsSeparator() && platform::SameTag(area->Name, name)) return area;
  }
  return nullptr;
}

const TArea* AreaOfTag(std::string_view name) { return AreaOfTag(name, GetAreaList()); }

namespace {

// A name of ASCII letters reads the same whatever its area says (the
// common case of an echo tag): no look-up.
bool Ascii(std::string_view name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::string AreaTagText(std::string_view name) {
  if (Ascii(name)) return std::string(name);
  const TArea* area = AreaOfTag(name);
  return area ? platform::TagText(name, area->RawTag) : platform::TagText(name);
}

std::string AreaTagInPage(std::string_view name, platform::CodePage page) {
  if (Ascii(name)) return std::string(name);
  const TArea* area = AreaOfTag(name);
  return area ? platform::TagInPage(name, area->RawTag, page) : platform::TagInPage(name, page);
}

std::string AreaTagInAnsi(std::string_view name) {
  return AreaTagInPage(name, platform::AnsiCodePage());
}

std::string AreaLineTagInAnsi(std::string_view oemTag) {
  // As the tosser finds the area of a tag: converted from the OEM page, else
  // by the bytes an earlier version named it with.
  const std::string converted = platform::TagFromOem(oemTag);
  if (const TArea* area = AreaOfTag(converted)) return platform::TagInAnsi(converted, area->RawTag);
  if (const TArea* area = AreaOfTag(oemTag)) return platform::TagInAnsi(oemTag, area->RawTag);
  return platform::TagInAnsi(converted);
}

std::string OemTextToAnsi(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\r', pos);
    end = end == std::string_view::npos ? text.size() : end + 1;
    std::string_view line = text.substr(pos, end - pos);
    pos = end;
    if (line.substr(0, 5) == "AREA:") {
      size_t tagEnd = 5;
      while (tagEnd < line.size() && static_cast<unsigned char>(line[tagEnd]) > 32) ++tagEnd;
      out += "AREA:";
      out += AreaLineTagInAnsi(line.substr(5, tagEnd - 5));
      line.remove_prefix(tagEnd);
    }
    out += platform::OemToAnsi(line);
  }
  return out;
}

}  // namespace velmaris
