// The number rules of the spin edit: reading its text, clamping to the range,
// writing the text back, stepping, and which typed characters it takes.
// Values are long doubles (the edit keeps integers and fixed-point numbers).
#pragma once

#include <string>
#include <string_view>

namespace velmaris {

enum class TValueType { vtInteger, vtFloat };

struct SpinRange {
  long double minValue = 0;
  long double maxValue = 0;
};

// Equal bounds mean no range; otherwise below MinValue gives MinValue, above
// MaxValue gives MaxValue (MinValue tested first).
long double ClampValue(long double value, const SpinRange& range);

// The number in the text: a float with the given decimal separator (blanks
// around it allowed, an exponent too), or a signed 32-bit integer. A text
// that is no number reads as MinValue (truncated toward zero for integers).
long double ParseSpinValue(std::string_view text, TValueType type, char decimalSeparator,
                           long double minValue);

// The text of a value: fixed-point with `decimals` digits (at most 15
// significant ones) and the separator, or the nearest integer (halves to the
// even neighbour) held within the signed 32-bit range.
std::string FormatSpinValue(long double value, TValueType type, int decimals,
                            char decimalSeparator);

// The increment kept after a change to integers: its nearest integer, 1 for 0.
long double IntegerIncrement(long double increment);

// Whether a typed character (a byte; control characters below 32) may go
// into the text: digits, "+", "-", for floats one decimal separator and one
// exponent letter. Without EditorEnabled only control characters other than
// backspace pass.
bool SpinAcceptsChar(char c, std::string_view text, TValueType type, char decimalSeparator,
                     bool editorEnabled);

}  // namespace velmaris
