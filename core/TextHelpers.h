// String routines shared by the message code, the configuration and the
// protocol code. Strings are byte strings in the ANSI code page unless told
// otherwise; "blanks" are the characters 1 to 32, "word" characters those
// above 32 (bytes compared as unsigned values).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmaris {

// Conversions between the OEM and the ANSI code page (platform setting).
std::string OemToAnsiStr(std::string_view text);
std::string AnsiToOemStr(std::string_view text);

// Replaces the first occurrence of find; true when there was one. An empty
// find string is never found.
bool ReplaceFirst(std::string& text, std::string_view find, std::string_view replacement);
// Replaces every occurrence of the character by the string.
void ReplaceCharByStr(std::string& text, char c, std::string_view replacement);
// Replaces every occurrence of one character by another.
void ReplaceChar(std::string& text, char from, char to);

// Unsigned value of hexadecimal digits (0-9, A-F, a-f), wrapping on overflow;
// any other character makes the result 0, and so does an empty string.
uint32_t HexStrToInt(std::string_view text);

// The text up to, not including, its first carriage return or NUL.
std::string PCharToStrUntilCR(std::string_view text);
std::string PCharToStrUntilCR(const char* text);

// head := the first count characters, text := the rest. A count of 0 or less
// gives an empty head; a count beyond the end moves the whole text.
void SplitStrAt(std::string& text, std::string& head, int count);

// 1-based position of c within the first maxLength characters of the
// NUL-terminated text; 0 when absent, or when the text is null or empty.
int PCharPos(char c, const char* text, int maxLength);

// Position helpers over NUL-terminated text; each stops at the NUL.
// SkipBlanks: over the characters 1 to 32.
void SkipBlanks(const char*& p);
// SkipWord: over blanks, then over one word (characters above 32).
void SkipWord(const char*& p);
// As SkipWord, also stopping at ESC (27); a null position is left alone.
void SkipWordStopAtEsc(const char*& p);

// word := the first run of word characters after leading blanks; the leading
// blanks and the word are deleted from text; the blank after the word stays.
// An all-blank text gives an empty text and an empty word.
void CutFirstWord(std::string& text, std::string& word);
// The same; kept as its own name for the callers that used the short form.
void CutFirstWord255(std::string& text, std::string& word);
// word := the first word delimited by blanks (32) after leading blanks; the
// rest of text begins at the delimiter.
void CutFirstWordShort(std::string& text, std::string& word);
// The first word, or a quoted one: after leading blanks, a word opened by a
// double quote runs to the next double quote, one opened by a double quote
// followed by the character 127 runs to the next 127; otherwise it runs to
// the next blank. A quoted word is deleted from text together with its
// quote characters; leading blanks stay in text.
void CutFirstWordOrQuoted(std::string& text, std::string& word);

// Word wrap: line := the longest run of whole words (with the blanks between
// them) of at most maxLength characters; the blanks after it are skipped and
// text keeps the rest. A first word longer than maxLength is cut hard.
void CutWrappedLine(std::string& text, int maxLength, std::string& line);

// The lines of a text, each ended by CR, LF or CR LF (a last line needs no
// end); the line ends are not kept.
std::vector<std::string> SplitTextLines(std::string_view text);

// The text with the ASCII letters a-z upper-cased; other bytes stay.
std::string UpperAsciiStr(std::string_view text);
void UpperAsciiInPlace(std::string& text);

inline int MinInt(int a, int b) { return a < b ? a : b; }

}  // namespace velmaris
