// Edit masks written as the forms write them ("!99/99/9999;1; ": the mask,
// whether literals are kept, the blank character) turned into the input mask
// of the line edit.
#pragma once

#include <string>
#include <string_view>

namespace velmaris {

// 0 and 9 digits (required, optional), L and l letters, A and a letters or
// digits, C and c any character, "/" the date separator, ":" the time
// separator, "\" quotes the next character; "!" and the case marks ">" "<"
// are passed on where the line edit knows them. Other characters are
// literals.
std::string InputMaskOf(std::string_view editMask, char dateSeparator, char timeSeparator = ':');

}  // namespace velmaris
