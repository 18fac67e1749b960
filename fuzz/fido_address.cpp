// Parses the input as a FidoNet address; what parses must format into a text
// that parses to the same address, and the object form must keep its texts.

#include "core/FidoAddress.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const TFidoAddr preset{1, 2, 3, 4};
  TFidoAddr a = preset;
  StrToFidoAddress(text, a);
  const auto parsed = ParseFidoAddress(text);
  if (parsed) {
    if (a != *parsed) std::abort();
    const auto again = ParseFidoAddress(FidoAddressToStr(*parsed));
    if (!again || *again != *parsed) std::abort();
  } else if (a != preset) {
    std::abort();
  }

  TFidonetAddress f;
  f.SetText(text);
  if (f.Text4D() != FidoAddressToStr(f.Address())) std::abort();
  return 0;
}
