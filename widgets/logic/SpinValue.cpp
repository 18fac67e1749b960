#include "widgets/logic/SpinValue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>

namespace velmaris {

namespace {

constexpr long double kIntMin = std::numeric_limits<int32_t>::min();
constexpr long double kIntMax = std::numeric_limits<int32_t>::max();

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::optional<long double> ParseFloat(std::string_view text, char separator) {
  std::string s(Trim(text));
  if (separator != '.') {
    if (s.find('.') != std::string::npos) return std::nullopt;
    for (char& c : s) {
      if (c == separator) c = '.';
    }
  }
  const char* first = s.data();
  if (!s.empty() && s[0] == '+') ++first;
  long double value = 0;
  const auto [ptr, ec] = std::from_chars(first, s.data() + s.size(), value);
  if (ec != std::errc() || ptr != s.data() + s.size() || first == s.data() + s.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<long double> ParseInteger(std::string_view text) {
  std::string_view s = text;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<long double>(value);
}

}  // namespace

long double ClampValue(long double value, const SpinRange& range) {
  if (range.minValue == range.maxValue) return value;
  if (value < range.minValue) return range.minValue;
  if (value > range.maxValue) return range.maxValue;
  return value;
}

long double ParseSpinValue(std::string_view text, TValueType type, char decimalSeparator,
                           long double minValue) {
  if (type == TValueType::vtFloat) return ParseFloat(text, decimalSeparator).value_or(minValue);
  return ParseInteger(text).value_or(std::trunc(minValue));
}

std::string FormatSpinValue(long double value, TValueType type, int decimals,
                            char decimalSeparator) {
  char buf[128];
  if (type == TValueType::vtInteger) {
    // Held within 32 bits: a step past the end stops there instead of failing.
    long double n = std::nearbyint(value);
    if (!(n >= kIntMin)) n = kIntMin;
    if (n > kIntMax) n = kIntMax;
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(n));
    return buf;
  }
  if (!std::isfinite(value)) value = 0;
  // Fixed-point with at most 15 significant digits in all.
  int whole = value == 0 ? 1 : static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1;
  if (whole < 1) whole = 1;
  int digits = decimals;
  if (whole + digits > 15) digits = std::max(0, 15 - whole);
  if (whole > 15) {
    const long double scale = std::pow(10.0L, whole - 15);
    value = std::nearbyint(value / scale) * scale;
  }
  std::snprintf(buf, sizeof buf, "%.*Lf", digits, value);
  std::string out = buf;
  if (digits < decimals) {
    if (digits == 0) out.push_back('.');
    out.append(static_cast<size_t>(decimals - digits), '0');
  }
  if (decimalSeparator != '.') {
    for (char& c : out) {
      if (c == '.') c = decimalSeparator;
    }
  }
  return out;
}

long double IntegerIncrement(long double increment) {
  const long double n = std::nearbyint(increment);
  return n == 0 ? 1 : n;
}

bool SpinAcceptsChar(char c, std::string_view text, TValueType type, char decimalSeparator,
                     bool editorEnabled) {
  const auto u = static_cast<unsigned char>(c);
  bool accepted = u < 32 || c == '+' || c == '-' || (c >= '0' && c <= '9');
  if (type == TValueType::vtFloat) {
    if (c == decimalSeparator && text.find(decimalSeparator) == std::string_view::npos) {
      accepted = true;
    }
    if ((c == 'e' || c == 'E') && text.find_first_of("eE") == std::string_view::npos) {
      accepted = true;
    }
  }
  if (accepted && !editorEnabled) accepted = u < 32 && u != 8;
  return accepted;
}

}  // namespace velmaris
