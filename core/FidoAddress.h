#pragma once
// FidoNet addresses: zone:net/node.point as four unsigned 16-bit numbers.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmaris {

// One address. Ordered by zone, then net, node and point (the member order).
struct TFidoAddr {
  std::uint16_t Zone = 0;
  std::uint16_t Net = 0;
  std::uint16_t Node = 0;
  std::uint16_t Point = 0;

  friend bool operator==(const TFidoAddr&, const TFidoAddr&) = default;
  friend std::strong_ordering operator<=>(const TFidoAddr&, const TFidoAddr&) = default;
};

// "zone:net/node", followed by ".point" only when the point is not 0.
std::string FidoAddressToStr(const TFidoAddr& address);

// Parses "zone:net/node" with an optional ".point". Whatever follows the node
// (or the point) that is not a full stop is ignored: "2:5020/1 x" is
// 2:5020/1.0. Nothing is skipped before the zone, no zone is assumed, and a
// number above 65535 does not parse. Returns nothing for malformed text.
std::optional<TFidoAddr> ParseFidoAddress(std::string_view text);

// The error text for an address field that does not hold a full address.
std::string BadAddressText(const std::string& text);

// ParseFidoAddress into address; malformed text leaves address unchanged.
void StrToFidoAddress(std::string_view text, TFidoAddr& address);

bool SameFidoAddress(const TFidoAddr& a, const TFidoAddr& b);

// True when a sorts strictly after b.
bool FidoAddressGreater(const TFidoAddr& a, const TFidoAddr& b);

// The 8-byte record form used inside file records: zone, net, node, point,
// each little-endian.
inline constexpr std::size_t kFidoAddrRecordSize = 8;
void EncodeFidoAddr(const TFidoAddr& address, std::uint8_t* out);
TFidoAddr DecodeFidoAddr(const std::uint8_t* in);

// An address as an object with its two display texts and a change event.
// After every change made through the setters both texts describe Address().
class TFidonetAddress {
 public:
  using TChangeEvent = std::function<void(TFidonetAddress& sender)>;

  TFidonetAddress();
  virtual ~TFidonetAddress() = default;
  TFidonetAddress(const TFidonetAddress&) = default;
  TFidonetAddress& operator=(const TFidonetAddress&) = default;

  // Fired after every change, when assigned.
  TChangeEvent OnChange;

  const TFidoAddr& Address() const { return FAddress; }
  // Zone, net and node; the point left out.
  const std::string& Text3D() const { return FText3D; }
  // The full text; equal to Text3D() when the point is 0.
  const std::string& Text4D() const { return FText4D; }

  // Text4D(), or "" for the empty address 0:0/0.0.
  std::string GetText() const;
  bool IsEmpty() const;
  bool IsEqual(const TFidoAddr& address) const;

  // Sets all parts to 0 and announces the change, even when already empty.
  void Clear();
  // Store and announce only when different.
  void SetAddress(const TFidoAddr& address);
  void SetPoint(std::uint16_t point);
  // When text differs from Text4D() (exact comparison): parses it and
  // announces the change; malformed text keeps the address but still
  // announces, which rewrites both texts from the kept address.
  void SetText(std::string_view text);

 protected:
  // UpdateTexts, then OnChange.
  virtual void Changed();
  void UpdateTexts();

 private:
  std::string FText3D;
  TFidoAddr FAddress;
  std::string FText4D;
};

}  // namespace velmaris
