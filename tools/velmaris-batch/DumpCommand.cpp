// "dump AREA": one line per message of the area, in area order: index,
// flags, origin and destination address, names, subject, the creation and
// toss times (Unix seconds), the MSGID and REPLY kludge values (empty when
// absent), the text from the text offset to its NUL; then the body's date
// text and the MSGID and REPLY keys of the header. AREA is taken as write
// takes it: UTF-8 when it is valid UTF-8, else the ANSI page.
#include <iostream>

#include "Batch.h"
#include "BatchStore.h"

namespace velmaris::batch {
namespace {

// The value of a kludge line (byte 1, keyword) up to its CR; empty when the
// text has none.
std::string KludgeValue(std::string_view text, std::string_view keyword) {
  const std::string key = std::string(1, '\x01') + std::string(keyword);
  size_t pos = 0;
  while ((pos = text.find(key, pos)) != std::string_view::npos) {
    if (pos == 0 || text[pos - 1] == '\r' || text[pos - 1] == '\n') {
      const size_t start = pos + key.size();
      const size_t end = text.find('\r', start);
      return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
    }
    pos += key.size();
  }
  return {};
}

int DumpCommand(BatchContext& ctx) {
  BatchArgs args(ctx.args, {});
  if (args.Positional().size() != 1) throw EBatchUsage("dump takes one area name");
  BatchStore config(ctx, BatchAccess::Read);
  std::optional<std::string> stored;
  std::string why;
  TArea* area = FindTypedArea(config.Store(), args.Positional()[0], stored, why);
  if (!area) throw std::runtime_error("no such area: " + args.Positional()[0]);
  if (!area->Lock(false)) throw std::runtime_error("the area " + area->Name + " is in use");
  TAreaLockHold hold(*area);
  if (!area->OpenIndex()) throw std::runtime_error("cannot read the index of " + area->Name);
  area->OpenBody();
  for (int i = 0; i < area->Count; ++i) {
    const std::unique_ptr<TMail> mail = area->ReadMail(i);
    const TMsgHeader& h = mail->Header;
    const std::string_view text = mail->BodyText();
    ctx.out << JsonLine()
                   .Int("index", i)
                   .UInt("flags", h.Flags)
                   .Str("orig", FidoAddressToStr(h.OrigAddr))
                   .Str("dest", FidoAddressToStr(h.DestAddr))
                   .Str("from", h.FromName.View())
                   .Str("to", h.ToName.View())
                   .Str("subject", h.Subject.View())
                   .Int("created", h.Created)
                   .Int("tossed", h.Tossed)
                   .Str("msgid", KludgeValue(text, "MSGID: "))
                   .Str("reply", KludgeValue(text, "REPLY: "))
                   .Str("text", text)
                   .Str("date", mail->DateField().substr(0, mail->DateField().find('\0')))
                   .UInt("msgidNumber", h.MsgIdNumber)
                   .UInt("msgidCrc", h.MsgIdCrc)
                   .UInt("replyNumber", h.ReplyNumber)
                   .UInt("replyCrc", h.ReplyCrc)
                   .Str("areaName", h.AreaName.View())
                   .Text()
            << "\n";
  }
  area->CloseBody();
  const std::string damage = area->IndexDamage;
  area->ReleaseIndex();
  if (!damage.empty()) {
    ctx.err << "velmaris-batch: area " << area->Name << ": " << damage << "\n";
    return 1;
  }
  return 0;
}

BatchCommand cmd("dump", "dump AREA", DumpCommand);

}  // namespace
}  // namespace velmaris::batch
