// "areas": one line per area of the configuration (separators left out):
// name, type (number and name), file name, message count and unread count.
#include <iostream>

#include "Batch.h"
#include "BatchStore.h"

namespace velmaris::batch {
namespace {

const char* TypeName(int type) {
  switch (type) {
    case AreaTypeCode::Echomail: return "Echomail";
    case AreaTypeCode::Badmail: return "Badmail";
    case AreaTypeCode::Dupes: return "Dupes";
    case AreaTypeCode::Netmail: return "Netmail";
    case AreaTypeCode::Report: return "Report";
    case AreaTypeCode::Prototype: return "Prototype";
    case AreaTypeCode::Storage: return "Storage";
    case AreaTypeCode::EMail: return "EMail";
    case AreaTypeCode::Newsgroup: return "Newsgroup";
    default: return "Unknown";
  }
}

int AreasCommand(BatchContext& ctx) {
  BatchArgs args(ctx.args, {});
  if (!args.Positional().empty()) throw EBatchUsage("areas takes no arguments");
  // Loading counts the flags of every area from its index; nothing is written.
  BatchStore config(ctx);
  for (TArea* area : config->Areas().Areas()) {
    ctx.out << JsonLine()
                   .Str("name", area->Name)
                   .Int("type", area->AreaType)
                   .Str("typeName", TypeName(area->AreaType))
                   .Str("fileName", area->FileName)
                   .Int("count", area->Count)
                   .Int("unread", area->UnreadCount)
                   .Text()
            << "\n";
  }
  return 0;
}

BatchCommand cmd("areas", "areas", AreasCommand);

}  // namespace
}  // namespace velmaris::batch
