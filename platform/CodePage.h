// Code pages of stored text. Messages, names and subjects are byte strings in
// the code page they are stored in; conversion to Unicode happens only at the
// edge of a window. The OEM and ANSI code pages are a setting.
#pragma once

#include <string>
#include <string_view>

namespace velmaris::platform {

enum class CodePage { CP866, CP437, CP1251, CP1252 };

char32_t ToUnicode(unsigned char byte, CodePage cp);
// The byte for a code point, or `fallback` when the code page has none.
unsigned char FromUnicode(char32_t cp32, CodePage cp, unsigned char fallback = '?');

std::string ToUtf8(std::string_view bytes, CodePage cp);
std::string FromUtf8(std::string_view utf8, CodePage cp, unsigned char fallback = '?');
// Byte-wise conversion between two code pages through Unicode.
std::string Recode(std::string_view bytes, CodePage from, CodePage to);

// The OEM code page (CP866 by default) and the ANSI code page (CP1251 by
// default), as Windows' OemToChar and CharToOem use them.
CodePage OemCodePage();
CodePage AnsiCodePage();
void SetOemCodePage(CodePage cp);
void SetAnsiCodePage(CodePage cp);
std::string OemToAnsi(std::string_view bytes);
std::string AnsiToOem(std::string_view bytes);

}  // namespace velmaris::platform
