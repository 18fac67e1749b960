// What the print command puts on paper for one message: a box of 78
// asterisks with area, subject, sender, receiver, date and time (bold), the
// text lines converted to the ANSI code page with quotes re-wrapped under
// their prefix and the hidden control lines left out, and a closing line of
// asterisks. Printing a selection of text prints its lines as they are.
#pragma once

#include <string>
#include <vector>

namespace velmaris {

class TLinePrinter;
class TMail;

struct TPrintSwitches {
  bool ShowKludges = false;  // lines beginning with character 1
  bool ShowArea = false;     // "AREA:" lines
  bool ShowSeenBy = false;   // "SEEN-BY:" lines
};

struct TPrintedLine {
  std::string Text;
  bool Bold = false;
  bool operator==(const TPrintedLine&) const = default;
};

std::vector<TPrintedLine> MessagePrintLines(const TMail& mail, const TPrintSwitches& switches);

// Prints the lines of one message into the printer's open document, the
// bold ones in the bold printer font.
void PrintMessage(TLinePrinter& printer, const TMail& mail, const TPrintSwitches& switches);

// One document of text lines (a selection), each wrapped to the page.
// Raises ELinePrinter when the printer fails.
void PrintTextLines(TLinePrinter& printer, const std::vector<std::string>& lines);

}  // namespace velmaris
