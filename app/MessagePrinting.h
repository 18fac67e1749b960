// Printing messages and text on Qt PrintSupport: the print dialog, then one
// document on the chosen printer (or a PDF file, when the printer's output
// file name is set) through the line printer in "Courier New" 10 points,
// with its progress window (TPrntProgDlg) up while the document prints.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/MsgPrint.h"

class QPrinter;
class QWidget;

namespace velmaris {

class TMail;

// The messages, read one at a time by readMail, as one document; the
// number of pages. Raises ELinePrinter when the printer fails.
int PrintMessages(QPrinter& printer, const std::vector<int32_t>& indexes,
                  const std::function<std::unique_ptr<TMail>(int32_t)>& readMail,
                  const TPrintSwitches& switches);
// Text lines (a selection) as one document, each line wrapped to the page.
void PrintText(QPrinter& printer, const std::vector<std::string>& lines);

// The print dialog (through the modal hook); false when cancelled.
bool ChoosePrinter(QPrinter& printer, QWidget* parent);
// The dialog, then the text; a printer failure says "No printer available !".
void PrintTextWithDialog(QWidget* parent, const std::vector<std::string>& lines);

}  // namespace velmaris
