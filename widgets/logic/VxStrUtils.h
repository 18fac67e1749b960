// Text routines of the controls: replacing, repeating, words delimited by a
// set of characters, command-line words (as the platform splits them), and
// keeping a rectangle on the screen. Byte strings; positions are 1-based as
// the callers count them.
#pragma once

#include <bitset>
#include <string>
#include <string_view>

namespace velmaris {

using TCharSet = std::bitset<256>;
TCharSet MakeCharSet(std::string_view chars);

// Every occurrence of search replaced, left to right, never rescanning
// replaced text. An empty search changes nothing.
std::string ReplaceAll(std::string_view s, std::string_view search, std::string_view replacement);
// N copies of c; empty for N < 1.
std::string RepeatChar(char c, int n);
// Every character of s is in the set (true for an empty s).
bool ConsistsOfChars(std::string_view s, const TCharSet& chars);
// 1-based position of word N (1-based) of s, 0 when s has fewer words.
size_t WordPosition(int n, std::string_view s, const TCharSet& delims);
// Word N of s, empty when there is none.
std::string ExtractWordN(int n, std::string_view s, const TCharSet& delims);
// The characters from pos (1-based) up to the next delimiter or the end; pos
// is left after that one delimiter, so two adjacent delimiters give an
// empty field. A pos beyond the end gives an empty text.
std::string ExtractDelimited(std::string_view s, size_t& pos, const TCharSet& delims);

// Words of a command line: blanks separate them, double quotes group blanks
// into a word and are dropped. Counting stops at the first empty word.
int CountCommandWords(std::string_view commandLine);
std::string GetCommandWord(std::string_view commandLine, int index);  // 0-based
// Program = word 0; Parameters = the other words joined by single blanks,
// each word that holds a blank quoted again.
void SplitCommandLine(std::string_view commandLine, std::string& program, std::string& parameters);

struct VxRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const VxRect&) const = default;
};
// Moves the rectangle, keeping its size, onto a screen of the given size:
// first its right edge into the width, then its left edge to 0 or more, and
// the same for bottom and top (so one wider than the screen ends at 0).
VxRect ClampRectToScreen(VxRect r, int screenWidth, int screenHeight);
// Right and bottom edges count as inside.
bool PointInRectInclusive(int x, int y, const VxRect& r);

}  // namespace velmaris
