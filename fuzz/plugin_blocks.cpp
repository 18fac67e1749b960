// Decodes the input as every block a plug-in writes and as one message
// frame. Nothing may read outside the input; what decodes must encode into
// bytes that decode to the same record.

#include <cstdint>
#include <cstdlib>

#include "app/plugin/api/PluginRecords.h"
#include "platform/MessageSocket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris::plugin;
  if (auto s = TPluginService::Decode(data, size)) {
    const Bytes b = s->Encode();
    if (TPluginService::Decode(b.data(), b.size()) != s) std::abort();
  }
  if (auto i = TPluginInfo::Decode(data, size)) {
    const Bytes b = i->Encode();
    if (TPluginInfo::Decode(b.data(), b.size()) != i) std::abort();
  }
  TPluginUplink::Decode(data, size);
  TAreaCreation::Decode(data, size);
  if (auto m = TNewMessage::Decode(data, size)) {
    for (const std::string& line : m->Lines)
      if (line.find('\r') != std::string::npos || line.find('\0') != std::string::npos) std::abort();
  }
  if (auto areas = DecodeAreaList(data, size)) {
    const Bytes b = EncodeAreaList(*areas);
    if (b.size() > size) std::abort();
  }
  DecodeAreaNames(data, size);
  DecodeMsgList(data, size);
  DecodeIndexes(data, size);
  DecodeString(data, size);
  if (auto f = velmaris::platform::TThreadMessage::Decode(data, size)) {
    const auto b = f->Encode();
    if (velmaris::platform::TThreadMessage::Decode(b.data(), b.size()) != f) std::abort();
  }
  return 0;
}
