#include "app/MessagePrinting.h"

#include <QPrintDialog>
#include <QPrinter>

#include "app/PrinterDevice.h"
#include "app/PrntProgDlg.h"
#include "app/logic/LinePrinter.h"
#include "core/Mail.h"
#include "platform/Prompter.h"
#include "widgets/ModalHook.h"

namespace velmaris {

int PrintMessages(QPrinter& printer, const std::vector<int32_t>& indexes,
                  const std::function<std::unique_ptr<TMail>(int32_t)>& readMail,
                  const TPrintSwitches& switches) {
  TQtPrinterDevice device(printer);
  TLinePrinter linePrinter(device);
  TPrntProgress progress;
  linePrinter.Progress = &progress;
  linePrinter.ShowProgress = true;
  linePrinter.SetFont(TPrintFont());
  linePrinter.Lines.clear();
  linePrinter.BeginDoc();
  for (int32_t index : indexes)
    if (std::unique_ptr<TMail> mail = readMail(index)) PrintMessage(linePrinter, *mail, switches);
  const int pages = linePrinter.PageNumber();
  linePrinter.EndDoc();
  return pages;
}

void PrintText(QPrinter& printer, const std::vector<std::string>& lines) {
  TQtPrinterDevice device(printer);
  TLinePrinter linePrinter(device);
  TPrntProgress progress;
  linePrinter.Progress = &progress;
  linePrinter.ShowProgress = true;
  PrintTextLines(linePrinter, lines);
}

bool ChoosePrinter(QPrinter& printer, QWidget* parent) {
  QPrintDialog dialog(&printer, parent);
  dialog.setObjectName("PrintDialog");
  return ExecModal(dialog) == QDialog::Accepted;
}

void PrintTextWithDialog(QWidget* parent, const std::vector<std::string>& lines) {
  QPrinter printer(QPrinter::HighResolution);
  if (!ChoosePrinter(printer, parent)) return;
  try {
    PrintText(printer, lines);
  } catch (const ELinePrinter&) {
    platform::GetPrompter().Error("No printer available !");
  }
}

}  // namespace velmaris
