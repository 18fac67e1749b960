// Splitting an e-mail address and a name out of a recipient line such as
// "John Doe <john@example.org>" or "john@example.org (John Doe)".
#pragma once

#include <string>

namespace velmaris {

// Without "@" in the line: address empty, name the whole line, false.
// Otherwise the address is the blank-delimited word around the first "@"
// without one leading "<" and one trailing ">"; the rest of the line,
// trimmed and without one leading "(" and one trailing ")", is the name, or
// the address again when nothing is left. Returns true.
bool SplitEMailAddress(const std::string& line, std::string& address, std::string& name);

}  // namespace velmaris
