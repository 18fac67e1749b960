#include "core/DateFormat.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>

#include <mutex>

namespace velmaris {

namespace {

std::mutex patternMutex;
std::string& Pattern() {
  static std::string pattern = DatePatternForOrder(1);
  return pattern;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

int GetDateOrder(std::string_view format) {
  for (char c : format) {
    // Clearing the lower-case bit makes 'd', 'm' and 'y' their capitals.
    switch (static_cast<char>(c & ~0x20)) {
      case 'D': return 1;
      case 'M': return 0;
      case 'Y': return 2;
      default: break;
    }
  }
  return 1;
}

const char* DatePatternForOrder(int order) {
  switch (order) {
    case 0: return "MM/DD/YYYY";
    case 2: return "YYYY/MM/DD";
    default: return "DD/MM/YYYY";
  }
}

std::string DateLettersFromPosix(std::string_view posix) {
  std::string out;
  for (size_t i = 0; i < posix.size(); ++i) {
    char c = posix[i];
    if (c != '%') {
      if (!IsAsciiLetter(c)) out.push_back(c);
      continue;
    }
    if (++i >= posix.size()) break;
    // Flags, width and the E and O modifiers before the conversion letter.
    while (i < posix.size() &&
           (posix[i] == '-' || posix[i] == '_' || posix[i] == '0' || posix[i] == '^' ||
            posix[i] == '#' || (posix[i] >= '1' && posix[i] <= '9') || posix[i] == 'E' ||
            posix[i] == 'O')) {
      ++i;
    }
    if (i >= posix.size()) break;
    switch (posix[i]) {
      case 'd': out += "dd"; break;
      case 'e': out += "d"; break;
      case 'm': out += "MM"; break;
      case 'b':
      case 'h': out += "MMM"; break;
      case 'B': out += "MMMM"; break;
      case 'y': out += "yy"; break;
      case 'Y':
      case 'G': out += "yyyy"; break;
      case 'C': out += "yy"; break;
      case 'D': out += "MM/dd/yy"; break;
      case 'F': out += "yyyy-MM-dd"; break;
      case '%': out += "%"; break;
      default: break;  // weekday names and the like carry no order
    }
  }
  return out;
}

std::string LocaleShortDateFormat() {
  const char* format = nl_langinfo(D_FMT);
  return DateLettersFromPosix(format ? format : "");
}

const char* const kRussianMonthNames[12] = {"Январь",   "Февраль", "Март",   "Апрель",
                                            "Май",      "Июнь",    "Июль",   "Август",
                                            "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};

const char* const kRussianShortDayNames[7] = {"Вс", "Пн", "Вт", "Ср", "Чт", "Пт", "Сб"};

bool HasOwnTimeLocale() {
  const char* name = std::setlocale(LC_TIME, nullptr);
  if (!name || !*name) return false;
  return std::strcmp(name, "C") != 0 && std::strcmp(name, "POSIX") != 0 &&
         std::strncmp(name, "C.", 2) != 0;
}

std::string InitDateFormat() { return InitDateFormat(LocaleShortDateFormat()); }

std::string InitDateFormat(std::string_view format) {
  std::string pattern = DatePatternForOrder(GetDateOrder(format));
  SetShortDateFormat(pattern);
  return pattern;
}

std::string ShortDateFormat() {
  std::lock_guard lock(patternMutex);
  return Pattern();
}

void SetShortDateFormat(std::string pattern) {
  std::lock_guard lock(patternMutex);
  Pattern() = std::move(pattern);
}

}  // namespace velmaris
