#include "widgets/logic/EditMask.h"

namespace velmaris {

namespace {

// Characters with a meaning in the line edit's mask must be escaped as literals.
bool SpecialInInputMask(char c) {
  switch (c) {
    case 'A':
    case 'a':
    case 'N':
    case 'n':
    case 'X':
    case 'x':
    case '9':
    case '0':
    case 'D':
    case 'd':
    case '#':
    case 'H':
    case 'h':
    case 'B':
    case 'b':
    case '>':
    case '<':
    case '!':
    case '\\':
    case ';':
    case '[':
    case ']':
    case '{':
    case '}': return true;
    default: return false;
  }
}

void AppendLiteral(std::string& out, char c) {
  if (SpecialInInputMask(c)) out.push_back('\\');
  out.push_back(c);
}

}  // namespace

std::string InputMaskOf(std::string_view editMask, char dateSeparator, char timeSeparator) {
  // Fields: mask ; keep-literals ; blank.
  std::string_view mask = editMask;
  char blank = '_';
  const size_t semi = editMask.find(';');
  if (semi != std::string_view::npos) {
    mask = editMask.substr(0, semi);
    const size_t semi2 = editMask.find(';', semi + 1);
    if (semi2 != std::string_view::npos && semi2 + 1 < editMask.size()) {
      blank = editMask[semi2 + 1];
    }
  }
  std::string out;
  for (size_t i = 0; i < mask.size(); ++i) {
    const char c = mask[i];
    switch (c) {
      case '!': break;  // where blanks go: the line edit keeps them in place anyway
      case '0': out.push_back('9'); break;
      case '9': out.push_back('0'); break;
      case 'L': out.push_back('A'); break;
      case 'l': out.push_back('a'); break;
      case 'A': out.push_back('N'); break;
      case 'a': out.push_back('n'); break;
      case 'C': out.push_back('X'); break;
      case 'c': out.push_back('x'); break;
      case '>':
      case '<': out.push_back(c); break;
      case '/': AppendLiteral(out, dateSeparator); break;
      case ':': AppendLiteral(out, timeSeparator); break;
      case '\\':
        if (i + 1 < mask.size()) AppendLiteral(out, mask[++i]);
        break;
      default: AppendLiteral(out, c); break;
    }
  }
  if (out.empty()) return {};
  out.push_back(';');
  out.push_back(blank);
  return out;
}

}  // namespace velmaris
