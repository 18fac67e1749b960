// File-name rules of the file and directory edits. Paths use "/". There are
// no short (8.3) names on this system: the short form of a name is the name
// as it stands on disk, found without regard to case, like the long form.
#pragma once

#include <string>
#include <string_view>

namespace velmaris {

bool IsExistingDirectory(const std::string& name);
// Not empty and none of < > " [ ] |.
bool IsValidFileName(std::string_view name);
// One trailing "/" removed from a name longer than one character.
std::string RemoveTrailingBackslash(std::string_view dir);

// The entry as it is named on disk (found without regard to case); empty
// when it does not exist.
std::string LongNameOf(const std::string& name);
std::string ShortNameOf(const std::string& name);
// Each component of the path as it is named on disk; a component that does
// not exist becomes empty.
std::string LongPathOf(const std::string& path);
std::string ShortPathOf(const std::string& path);

// The file name a file edit's text stands for: the text when such a file
// exists, else its first command-line word (quotes dropped, arguments cut).
std::string FileNameOfText(const std::string& text);
// A name holding a blank, not already starting with a quote, in quotes.
std::string QuoteIfBlank(const std::string& name);

// A directory list edit: each ";"-separated part converted, empty results
// leaving no separator.
std::string LongDirList(const std::string& text, bool multipleDirs);
// The text with dir added: after a ";" when multipleDirs and the text is not
// empty, else in its place.
std::string AddDirToText(const std::string& text, const std::string& dir, bool multipleDirs);
// A dropped entry as a directory: a directory itself, a file its folder.
std::string DirOfDropped(const std::string& path);

}  // namespace velmaris
