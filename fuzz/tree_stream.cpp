// The tree view's streamed nodes from arbitrary bytes: reading either
// succeeds or raises ETreeStreamError; what reads writes back to bytes that
// read to the same nodes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "widgets/logic/TreeStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    const auto nodes = velmaris::DecodeTreeNodes(bytes);
    if (velmaris::DecodeTreeNodes(velmaris::EncodeTreeNodes(nodes)) != nodes) std::abort();
  } catch (const velmaris::ETreeStreamError&) {
  }
  return 0;
}
