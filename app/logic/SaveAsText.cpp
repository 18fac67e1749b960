#include "app/logic/SaveAsText.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "core/Area.h"
#include "core/AreaTag.h"
#include "core/FidoAddress.h"
#include "core/Mail.h"
#include "core/TextHelpers.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

std::string Cut(std::string text, size_t most) {
  if (text.size() > most) text.resize(most);
  return text;
}

}  // namespace

std::string SavedMessageText(const TMail& mail, const TSaveTextSwitches& switches) {
  const std::string stars(kPrintWidth, '*');
  const std::string end = "\r\n";
  const TMsgHeader& h = mail.Header;
  std::string out = stars + end;
  out += Cut("*      Area: " + AreaTagInAnsi(h.AreaName.View()), 64) + end;
  out += Cut("*   Subject: " + h.Subject.Str(), 84) + end;
  out +=
      Cut("*    Sender: " + h.FromName.Str(), 48) + "(" + FidoAddressToStr(h.OrigAddr) + ")" + end;
  out += Cut("*  Receiver: " + h.ToName.Str(), 48) + "(" + FidoAddressToStr(h.DestAddr) + ")" + end;
  out += "*      Date: " + mail.DateText() + end;
  out += "*      Time: " + mail.TimeText() + end;
  out += stars + end;
  AppendMessageText(out, OemTextToAnsi(mail.BodyText()), switches.Kludges, switches.AreaLines,
                    switches.SeenBy, end);
  out += stars + end + end + end + end;
  return out;
}

TToolOutcome SaveMessagesAsText(TArea& area, const std::vector<int32_t>& selection,
                                const std::string& fileName, bool append,
                                const TSaveTextSwitches& switches, TToolProgress& progress) {
  TToolOutcome out;
  out.Outcome = TToolOutcome::Failed;
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  platform::Fd file(::open(fileName.c_str(), flags, 0644));
  if (!file.ok()) return out;
  // Readers of the index keep writers (the tosser) away while they read.
  if (!area.Lock(false)) {
    out.Outcome = TToolOutcome::Refused;
    out.InUse = area.Name;
    return out;
  }
  TAreaLockHold hold(area);
  if (!area.OpenIndex()) {
    out.Error = "Could not open area " + area.NameInAnsi();
    return out;
  }
  const std::vector<int32_t> chosen = CleanSelection(selection, area.Count);
  const bool bodyOpened = area.OpenBody();
  progress.Begin(static_cast<int>(chosen.size()));
  out.Outcome = TToolOutcome::Done;
  for (size_t i = 0; i < chosen.size(); ++i) {
    const auto mail = area.ReadMail(chosen[i]);
    if (!platform::WriteAll(file.get(), SavedMessageText(*mail, switches))) {
      out.Outcome = TToolOutcome::Failed;
      out.Error = fileName + ": " + std::strerror(errno);
      break;
    }
    ++out.Processed;
    progress.Step(static_cast<int>(i + 1), chosen[i]);
    if (progress.Aborted() && i + 1 < chosen.size()) {
      out.Outcome = TToolOutcome::Aborted;
      break;
    }
  }
  if (bodyOpened) area.CloseBody();
  area.CloseIndex();
  if (!file.Close() && out.Error.empty()) {
    out.Outcome = TToolOutcome::Failed;
    out.Error = fileName + ": " + std::strerror(errno);
  }
  return out;
}

}  // namespace velmaris
