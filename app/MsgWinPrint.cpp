// The print command of the message list window: the selected messages, in
// the selection's order, on the printer chosen in the print dialog.
#include <QPrinter>

#include "app/MessagePrinting.h"
#include "app/MsgWin.h"
#include "app/logic/LinePrinter.h"
#include "core/Area.h"
#include "platform/Prompter.h"

namespace velmaris {

void TMessageListWindow::Drucken1Click() {
  TArea* area = Area();
  if (!area) return;
  const std::vector<int32_t> selection = SelectedMessages();
  if (selection.empty()) return;
  QPrinter printer(QPrinter::HighResolution);
  if (!ChoosePrinter(printer, this)) return;
  const TPrintSwitches switches{Action("AKludge")->isChecked(), Action("AREAKLudge")->isChecked(),
                                Action("SBKLudge")->isChecked()};
  try {
    PrintMessages(
        printer, selection, [area](int32_t index) { return area->ReadMail(index); }, switches);
  } catch (const ELinePrinter&) {
    platform::GetPrompter().Error("No printer available !");
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

}  // namespace velmaris
