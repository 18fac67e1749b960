// An area's name where only the name is at hand (a message header's area, a
// filter's or an automatic mail's area, a search hit): the area of that name
// decides how it reads, as TArea::NameText and its kin do.
#pragma once

#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace velmaris {

class TArea;
class TAreaList;

// The area of that name (platform::SameTag), separators excluded; none when
// the list is absent or holds no such area. Without a list, the global one.
const TArea* AreaOfTag(std::string_view name, const TAreaList* areas);
const TArea* AreaOfTag(std::string_view name);

// The name as a person reads it, its bytes read as the area of that name
// reads its own (whether its tag is raw is the area's to say), else as the
// bytes tell (a name no area has). UTF-8 for a window, or written in a page for a
// line made in it (a log line, REPORT or a message text in the ANSI page).
std::string AreaTagText(std::string_view name);
std::string AreaTagInPage(std::string_view name, platform::CodePage page);
std::string AreaTagInAnsi(std::string_view name);

// The tag of an "AREA:" line of a stored message text (the OEM page, or the
// bytes a raw tag keeps) in the ANSI page, read as the area of that tag reads
// its name: a raw tag gives its letters, which the OEM page's reading of its
// bytes would lose.
std::string AreaLineTagInAnsi(std::string_view oemTag);
// A stored message text (the OEM page) in the ANSI page, the tag of each
// "AREA:" line through AreaLineTagInAnsi.
std::string OemTextToAnsi(std::string_view text);

}  // namespace velmaris
