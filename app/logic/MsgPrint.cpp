#include "app/logic/MsgPrint.h"

#include "app/logic/LinePrinter.h"
#include "app/logic/MsgRender.h"
#include "core/AreaTag.h"
#include "core/FidoAddress.h"
#include "core/Mail.h"
#include "platform/CodePage.h"

namespace velmaris {

namespace {

constexpr size_t kAreaLineMax = 64, kSubjectLineMax = 84;

std::string AtMost(std::string line, size_t max) {
  if (line.size() > max) line.resize(max);
  return line;
}

}  // namespace

std::vector<TPrintedLine> MessagePrintLines(const TMail& mail, const TPrintSwitches& switches) {
  const TMsgHeader& h = mail.Header;
  const std::string stars(78, '*');
  std::vector<TPrintedLine> lines = {
      {stars, true},
      {AtMost("*      Area: " + AreaTagInAnsi(h.AreaName.View()), kAreaLineMax), true},
      {AtMost("*   Subject: " + h.Subject.Str(), kSubjectLineMax), true},
      {"*    Sender: " + h.FromName.Str() + "(" + FidoAddressToStr(h.OrigAddr) + ")", true},
      {"*  Receiver: " + h.ToName.Str() + "(" + FidoAddressToStr(h.DestAddr) + ")", true},
      {"*      Date: " + MailDateText(mail.DateField()), true},
      {"*      Time: " + MailTimeText(mail.DateField()), true},
      {stars, true},
  };
  for (std::string& line :
       mail.PrintableBodyLines(switches.ShowKludges, switches.ShowArea, switches.ShowSeenBy))
    lines.push_back({std::move(line), false});
  lines.push_back({stars, false});
  return lines;
}

void PrintMessage(TLinePrinter& printer, const TMail& mail, const TPrintSwitches& switches) {
  TPrintFont font = printer.Font();
  for (const TPrintedLine& line : MessagePrintLines(mail, switches)) {
    if (font.Bold != line.Bold) {
      font.Bold = line.Bold;
      printer.SetFont(font);
    }
    printer.PrintLine(line.Text);
  }
  if (font.Bold) {
    font.Bold = false;
    printer.SetFont(font);
  }
}

void PrintTextLines(TLinePrinter& printer, const std::vector<std::string>& lines) {
  printer.BeginDoc();
  for (const std::string& line : lines) printer.PrintLine(line);
  printer.EndDoc();
}

}  // namespace velmaris
