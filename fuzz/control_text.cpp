// Reads the input as the text of a date edit in each date order and as the
// text of a spin edit: a date that is read must write back into a text that
// reads as the same date, an integer likewise; the edit mask converter must
// stop on any mask.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "widgets/logic/DateHelpers.h"
#include "widgets/logic/EditMask.h"
#include "widgets/logic/SpinValue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static const bool once = [] {
    SetDateClock([] { return EncodeDate(2026, 6, 15); });
    return true;
  }();
  (void)once;
  const char separators[3] = {'/', '.', '-'};
  const char* formats[3] = {"MM/dd/yyyy", "dd.MM.yyyy", "yyyy-MM-dd"};
  for (int order = 0; order < 3; ++order) {
    DateLocale locale;
    locale.shortFormat = formats[order];
    locale.separator = separators[order];
    locale.longMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                             "July",    "August",   "September", "October", "November", "December"};
    SetDateLocale(locale);
    const std::string format = DefaultDateFormat(true);
    TDateTime date = EmptyDate;
    if (TryTextToDate(format, text, date) && date != EmptyDate) {
      const std::string written = FormatDateByPattern(date, format, separators[order]);
      TDateTime again = EmptyDate;
      if (!TryTextToDate(format, written, again) || again != date) std::abort();
    }
  }
  const long double value = ParseSpinValue(text, TValueType::vtInteger, '.', 0);
  const std::string written = FormatSpinValue(value, TValueType::vtInteger, 0, '.');
  if (ParseSpinValue(written, TValueType::vtInteger, '.', -1) != value) std::abort();
  ParseSpinValue(text, TValueType::vtFloat, ',', 0);
  InputMaskOf(text, '.');
  return 0;
}
