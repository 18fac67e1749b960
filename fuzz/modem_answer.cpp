// Feeds the input as a modem's answer, in pieces, to the result-line reader,
// and as a phone number to the translation: the reader's buffer stays
// bounded, and no translated number holds anything but dial characters.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mailer/HayesModem.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::string pending;
  for (size_t pos = 0; pos < text.size(); pos += 7) {
    pending.append(text.substr(pos, 7));
    uint32_t rate = 0;
    while (TakeResult(pending, &rate) != ModemResult::None) {
    }
    if (pending.size() > kMaxResultLine) std::abort();
  }

  TDialLocation location;
  location.OutsideLine = "9,";
  const TTranslatedNumber t = TranslateAddress(std::string(text), location);
  for (char c : t.dialable) {
    if (std::string_view("0123456789*#,WPT!@").find(c) == std::string_view::npos) std::abort();
  }
  return 0;
}
