// Code pages of stored text. Messages, names and subjects are byte strings in
// the code page they are stored in; conversion to Unicode happens only at the
// edge of a window. The OEM and ANSI code pages are a setting.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmaris::platform {

enum class CodePage { CP866, CP437, CP1251, CP1252 };
// "CP866", "CP437", "CP1251", "CP1252".
const char* CodePageName(CodePage cp);

// Bytes below 0x80 are ASCII in every code page. Positions the code page
// leaves undefined (CP1251 0x98; CP1252 0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 control of the same value, as Windows converts them, so that every
// byte survives a trip through Unicode and back.
char32_t ToUnicode(unsigned char byte, CodePage cp);
// The byte for a code point, or `fallback` when the code page has none.
unsigned char FromUnicode(char32_t cp32, CodePage cp, unsigned char fallback = '?');

std::string ToUtf8(std::string_view bytes, CodePage cp);
// A character the code page lacks becomes the nearest one it holds (« and »
// become ", a dash -, ґ г, é e, € E: one byte for one character, so a text
// cut to a bound still fits it), else `fallback`. Malformed UTF-8 (bad,
// overlong, surrogate or cut-short sequences) gives one `fallback` per byte.
std::string FromUtf8(std::string_view utf8, CodePage cp, unsigned char fallback = '?');
// The bytes of text that must not change on its way, such as a name that
// goes into a file: nothing when the UTF-8 is malformed or a character has
// no place in the code page.
std::optional<std::string> FromUtf8Exact(std::string_view utf8, CodePage cp);
// The first character of UTF-8 text that the code page lacks, as UTF-8;
// nothing when the page holds every character (or the text is not UTF-8).
std::optional<std::string> FirstCharacterLacking(std::string_view utf8, CodePage cp);
// Whether bytes are well-formed UTF-8 (ASCII among it).
bool IsUtf8(std::string_view bytes);
// A name from outside whose code page is not known (a file name a transfer
// protocol offers: the OEM page, or UTF-8 that is kept as it is) with its
// controls escaped for a log line: as UTF-8 text when it is well-formed
// UTF-8 (C1 controls too), else byte by byte (EscapeControls).
std::string EscapeNameControls(std::string_view name);
// The longest beginning of UTF-8 text that is at most maxBytes long and ends
// at a whole character, so that a name cut to a bound never ends in half a
// letter.
std::string_view Utf8Prefix(std::string_view utf8, size_t maxBytes);
// Byte-wise conversion between two code pages through Unicode; a character
// the target lacks becomes its nearest character there (as FromUtf8), else
// '?'.
std::string Recode(std::string_view bytes, CodePage from, CodePage to);

// The OEM code page (CP866 by default) and the ANSI code page (CP1251 by
// default), as Windows' OemToChar and CharToOem use them.
CodePage OemCodePage();
CodePage AnsiCodePage();
void SetOemCodePage(CodePage cp);
void SetAnsiCodePage(CodePage cp);
std::string OemToAnsi(std::string_view bytes);
std::string AnsiToOem(std::string_view bytes);
// A text file the user gives (inserted into a message, sent by a scheduled
// mail, a filter's answer) as stored text in the ANSI page. A file that is
// valid UTF-8, as a Linux editor writes it, is read as UTF-8 (a byte-order
// mark dropped; a character the ANSI page lacks becomes its nearest); any
// other file is read in the page the user names: ANSI as it stands, or OEM.
std::string TextFileToAnsi(std::string_view bytes, bool oem = false);
// Stored text on its way to a window or a message box (which take UTF-8):
// bytes in the ANSI or the OEM code page as UTF-8.
std::string AnsiToUtf8(std::string_view bytes);
// The program's own text (UTF-8, as the source holds it) into a line made in
// the ANSI page (a log line, REPORT): a character the page lacks becomes its
// nearest ("beschädigt" in CP1251 is "beschadigt").
std::string Utf8ToAnsi(std::string_view utf8);
std::string OemToUtf8(std::string_view bytes);

// File and folder names. On disk (and wherever a name is held: settings,
// registry, flow files, journals) a name is the file system's bytes, UTF-8.
// A name enters a code page only where a FidoNet format or a log line
// carries it.
//
// A name read from stored text or typed into message text (the ANSI page),
// such as a path stored by an older version or an attach subject: kept when
// it is valid UTF-8, else read in the ANSI page.
std::string PathFromStored(std::string_view bytes);
// A name that came in from a FidoNet format (the OEM page: TIC lines,
// packets): kept when it is valid UTF-8, else read in the OEM page.
std::string DiskName(std::string_view bytes);
// A name on disk as text (UTF-8), part by part: a part of the path that is
// valid UTF-8 stays as it is, any other part is read in the ANSI page (a
// name a Windows archive or a copied disk left in CP1251 beside UTF-8
// folders).
std::string DiskNameText(std::string_view name);
// The bytes of a name after its text (as DiskNameText showed it) was edited
// into `text` (UTF-8). Unchanged text gives back the bytes it was read from,
// byte for byte. Otherwise the name is compared part by part (between '/';
// one trailing '/' does not count): the leading parts whose text is
// unchanged keep their bytes, whatever page they are in (an older version's
// CP1251 folder stays the folder it names). Every other part of an absolute
// name is the entry that exists under the folder before it whose UTF-8 or
// ANSI reading is what was typed (typing the name of an existing CP1251
// folder names that folder, not a UTF-8 twin), else it goes as typed, UTF-8,
// as every name this program makes. A U+FFFD there (a name a file dialog
// could not read) is stored as '_', never as the replacement character.
std::string DiskNameFromText(std::string_view filled, std::string_view text);
// The page a line is made in: a log line or REPORT in the ANSI page; a line
// a person reads as it stands (a message box, a terminal, a window) in
// UTF-8.
enum class LinePage { Ansi, Utf8 };
// A path, or a text from outside the program (a program's words, a system
// error that quotes a path, a name a remote offered), for a line made in
// `page`, converted where the line is built: read as DiskNameText reads a
// name (its UTF-8 parts as they are, any other part in the ANSI page), then
// written in the line's page, where a character the ANSI page lacks becomes
// its nearest character, else '?'. Every such piece of a line goes through
// here, so that the line is in one page; a whole line is never guessed.
std::string LineText(std::string_view outside, LinePage page);
// LineText for the ANSI page: a name on disk in a log line or REPORT. A
// name from a FidoNet format goes through DiskName first.
std::string LogName(std::string_view name);
// A name on disk as a FidoNet format carries it (the OEM page), read as
// DiskNameText reads it: nothing when the page cannot hold it.
std::optional<std::string> PathToOem(std::string_view path);
// The same name as text that only shows it (a subject): a character the OEM
// page lacks becomes its nearest character, else '?'.
std::string PathToOemText(std::string_view path);

// An echo tag between the store (the ANSI page) and a packet (the OEM page).
// A tag must come back as it went, so it is converted only when every
// character has its place in the other page; otherwise its bytes go as they
// are (never a '?' or a look-alike in a tag). TagToOem of an area name is
// also the name an earlier version gave an area it made from a packet's
// bytes.
std::string TagToOem(std::string_view tag);
std::string TagFromOem(std::string_view tag);
// TagToOem of the tag of an area, whose rawness is known: a raw tag goes as
// its bytes are.
std::string TagToOem(std::string_view tag, bool raw);
// Whether a tag is raw, that is, holds its own bytes as its uplink sent them
// rather than an OEM tag converted into the ANSI page. This is judged once,
// where the tag arrives, and kept with the area (TArea::RawTag): readers ask
// the area and never judge its stored bytes again. ASCII is never raw.
// - IsRawPacketTag, the bytes of a packet's AREA line (the OEM page):
//   well-formed UTF-8 that holds a Cyrillic letter is raw (a modern
//   tosser's tag: UTF-8 "RU.СССР" also converts from the OEM page and
//   back, as the CP866 bytes of "RU.РЎРЎРЎР ", and is never that tag); any
//   other tag is raw when it does not convert exactly into the ANSI page.
// - IsRawTag, stored bytes whose judgement was never kept (a configuration
//   from before it, a stored message's header, a name from outside): the
//   same UTF-8 rule; any other name is raw when it does not go into the OEM
//   page and back as it is (CP866 "RU.ЛЁ" stored as CP1251 CB A8 is valid
//   UTF-8 too, but holds no Cyrillic letter there: a converted tag).
// - IsRawTypedTag, a name a person typed, converted into the ANSI page: raw
//   only when it does not go into the OEM page and back (its bytes are the
//   ANSI page's letters, whatever UTF-8 would read in them).
// A raw name is found by its bytes (letters without case: ASCII, and in
// UTF-8 the letters the OEM page folds; CaseFold.h TagKey) and goes back
// into a packet as those bytes.
bool IsRawTag(std::string_view name);
bool IsRawPacketTag(std::string_view tag);
bool IsRawTypedTag(std::string_view name);
// Whether an area name is a raw tag in UTF-8 (the letters it holds are its
// UTF-8 text, not the ANSI page's reading of its bytes).
bool IsUtf8Tag(std::string_view name);
// An area name or tag as a person reads it, wherever it is shown: the
// letters it holds. TagText gives them as UTF-8 for a window (the ANSI
// page's reading of a stored name, a raw UTF-8 tag as it is); TagInPage
// writes them into a line made in a code page (a log line and REPORT in the
// ANSI page), a letter the page lacks as its nearest letter, else '?'. The
// stored bytes stay as they are: these only show them.
std::string TagText(std::string_view name);
std::string TagInPage(std::string_view name, CodePage page);
std::string TagInAnsi(std::string_view name);
// The same for a name whose rawness is already known (an area keeps it):
// raw says whether the name holds the bytes its uplink sent.
std::string TagText(std::string_view name, bool raw);
std::string TagInPage(std::string_view name, bool raw, CodePage page);
std::string TagInAnsi(std::string_view name, bool raw);

}  // namespace velmaris::platform
