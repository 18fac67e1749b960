// "areas": one line per area of the configuration (separators left out):
// name, type (number and name), file name (the name on disk, as its UTF-8
// characters), message count and unread count;
// an area whose index is damaged adds "damage" (counting the records that
// could be read), is named on stderr, and the command exits with 1.
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
  BatchStore config(ctx, BatchAccess::Read);
  int rc = 0;
  for (TArea* area : config->Areas().Areas()) {
    JsonLine line;
    line.Str("name", area->Name)
        .Int("type", area->AreaType)
        .Str("typeName", TypeName(area->AreaType))
        .Utf8("fileName", area->FileName)
        .Int("count", area->Count)
        .Int("unread", area->UnreadCount);
    if (!area->IndexDamage.empty()) {
      line.Str("damage", area->IndexDamage);
      ctx.err << "velmaris-batch: area " << area->Name << ": " << area->IndexDamage << "\n";
      rc = 1;
    }
    ctx.out << line.Text() << "\n";
  }
  return rc;
}

BatchCommand cmd("areas", "areas", AreasCommand);

}  // namespace
}  // namespace velmaris::batch
