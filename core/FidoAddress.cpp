#include "core/FidoAddress.h"

namespace velmaris {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the run of digits at pos (one at least) as a 16-bit number. Leading
// zeros are allowed; a value above 65535 fails.
bool ReadNumber(std::string_view text, std::size_t& pos, std::uint16_t& value) {
  if (pos >= text.size() || !IsDigit(text[pos])) return false;
  std::uint32_t v = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    v = v * 10 + static_cast<std::uint32_t>(text[pos] - '0');
    if (v > 0xFFFF) return false;
    ++pos;
  }
  value = static_cast<std::uint16_t>(v);
  return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

std::string FidoAddressToStr(const TFidoAddr& address) {
  std::string s = std::to_string(address.Zone) + ':' + std::to_string(address.Net) + '/' +
                  std::to_string(address.Node);
  if (address.Point != 0) s += '.' + std::to_string(address.Point);
  return s;
}

std::string BadAddressText(const std::string& text) {
  return "\"" + text + "\" is no valid FidoNet address!";
}

std::optional<TFidoAddr> ParseFidoAddress(std::string_view text) {
  TFidoAddr a;
  std::size_t pos = 0;
  if (!ReadNumber(text, pos, a.Zone) || !Expect(text, pos, ':') || !ReadNumber(text, pos, a.Net) ||
      !Expect(text, pos, '/') || !ReadNumber(text, pos, a.Node))
    return std::nullopt;
  if (Expect(text, pos, '.') && !ReadNumber(text, pos, a.Point)) return std::nullopt;
  return a;
}

void StrToFidoAddress(std::string_view text, TFidoAddr& address) {
  if (const auto parsed = ParseFidoAddress(text)) address = *parsed;
}

bool SameFidoAddress(const TFidoAddr& a, const TFidoAddr& b) { return a == b; }

bool FidoAddressGreater(const TFidoAddr& a, const TFidoAddr& b) { return a > b; }

void EncodeFidoAddr(const TFidoAddr& address, std::uint8_t* out) {
  const std::uint16_t parts[4] = {address.Zone, address.Net, address.Node, address.Point};
  for (int i = 0; i < 4; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(parts[i]);
    out[2 * i + 1] = static_cast<std::uint8_t>(parts[i] >> 8);
  }
}

TFidoAddr DecodeFidoAddr(const std::uint8_t* in) {
  auto word = [in](int i) { return static_cast<std::uint16_t>(in[2 * i] | (in[2 * i + 1] << 8)); };
  return TFidoAddr{word(0), word(1), word(2), word(3)};
}

TFidonetAddress::TFidonetAddress() { UpdateTexts(); }

std::string TFidonetAddress::GetText() const { return IsEmpty() ? std::string() : FText4D; }

bool TFidonetAddress::IsEmpty() const { return FAddress == TFidoAddr{}; }

bool TFidonetAddress::IsEqual(const TFidoAddr& address) const {
  return SameFidoAddress(FAddress, address);
}

void TFidonetAddress::Clear() {
  FAddress = TFidoAddr{};
  Changed();
}

void TFidonetAddress::SetAddress(const TFidoAddr& address) {
  if (SameFidoAddress(address, FAddress)) return;
  FAddress = address;
  Changed();
}

void TFidonetAddress::SetPoint(std::uint16_t point) {
  if (point == FAddress.Point) return;
  FAddress.Point = point;
  Changed();
}

void TFidonetAddress::SetText(std::string_view text) {
  if (text == FText4D) return;
  StrToFidoAddress(text, FAddress);
  Changed();
}

void TFidonetAddress::Changed() {
  UpdateTexts();
  if (OnChange) OnChange(*this);
}

void TFidonetAddress::UpdateTexts() {
  FText3D = FidoAddressToStr(TFidoAddr{FAddress.Zone, FAddress.Net, FAddress.Node, 0});
  FText4D = FAddress.Point != 0 ? FidoAddressToStr(FAddress) : FText3D;
}

}  // namespace velmaris
