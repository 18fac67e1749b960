#include "processing/PacketHeader.h"

#include "core/ByteOrder.h"
#include "core/KQMail.h"

#include <algorithm>

#include "core/MsgHeader.h"

namespace velmaris {

namespace {
using O = PacketHeaderOffset;

uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
}  // namespace

void TPacketHeader::Encode(uint8_t* out) const {
  PutLE16(out + O::OrigNode, OrigNode);
  PutLE16(out + O::DestNode, DestNode);
  PutLE16(out + O::Year, Year);
  PutLE16(out + O::Month, Month);
  PutLE16(out + O::Day, Day);
  PutLE16(out + O::Hour, Hour);
  PutLE16(out + O::Minute, Minute);
  PutLE16(out + O::Second, Second);
  PutLE16(out + O::Baud, Baud);
  PutLE16(out + O::PacketType, PacketType);
  PutLE16(out + O::OrigNet, OrigNet);
  PutLE16(out + O::DestNet, DestNet);
  out[O::ProductCodeLow] = ProductCodeLow;
  out[O::RevisionMajor] = RevisionMajor;
  std::copy(Password.begin(), Password.end(), out + O::Password);
  PutLE16(out + O::QOrigZone, QOrigZone);
  PutLE16(out + O::QDestZone, QDestZone);
  PutLE16(out + O::AuxNet, AuxNet);
  PutLE16(out + O::CapabilityCopy, CapabilityCopy);
  out[O::ProductCodeHigh] = ProductCodeHigh;
  out[O::RevisionMinor] = RevisionMinor;
  PutLE16(out + O::Capability, Capability);
  PutLE16(out + O::OrigZone, OrigZone);
  PutLE16(out + O::DestZone, DestZone);
  PutLE16(out + O::OrigPoint, OrigPoint);
  PutLE16(out + O::DestPoint, DestPoint);
  PutLE32(out + O::ProductData, ProductData);
}

std::array<uint8_t, kPacketHeaderSize> TPacketHeader::Encode() const {
  std::array<uint8_t, kPacketHeaderSize> out{};
  Encode(out.data());
  return out;
}

TPacketHeader TPacketHeader::Decode(const uint8_t* in) {
  TPacketHeader h;
  h.OrigNode = GetLE16(in + O::OrigNode);
  h.DestNode = GetLE16(in + O::DestNode);
  h.Year = GetLE16(in + O::Year);
  h.Month = GetLE16(in + O::Month);
  h.Day = GetLE16(in + O::Day);
  h.Hour = GetLE16(in + O::Hour);
  h.Minute = GetLE16(in + O::Minute);
  h.Second = GetLE16(in + O::Second);
  h.Baud = GetLE16(in + O::Baud);
  h.PacketType = GetLE16(in + O::PacketType);
  h.OrigNet = GetLE16(in + O::OrigNet);
  h.DestNet = GetLE16(in + O::DestNet);
  h.ProductCodeLow = in[O::ProductCodeLow];
  h.RevisionMajor = in[O::RevisionMajor];
  std::copy(in + O::Password, in + O::Password + kPacketPasswordSize, h.Password.begin());
  h.QOrigZone = GetLE16(in + O::QOrigZone);
  h.QDestZone = GetLE16(in + O::QDestZone);
  h.AuxNet = GetLE16(in + O::AuxNet);
  h.CapabilityCopy = GetLE16(in + O::CapabilityCopy);
  h.ProductCodeHigh = in[O::ProductCodeHigh];
  h.RevisionMinor = in[O::RevisionMinor];
  h.Capability = GetLE16(in + O::Capability);
  h.OrigZone = GetLE16(in + O::OrigZone);
  h.DestZone = GetLE16(in + O::DestZone);
  h.OrigPoint = GetLE16(in + O::OrigPoint);
  h.DestPoint = GetLE16(in + O::DestPoint);
  h.ProductData = GetLE32(in + O::ProductData);
  return h;
}

TPacketHeader TPacketHeader::ForLink(const TFidoAddr& own, const TFidoAddr& uplink,
                                     std::string_view password, TDateTime when) {
  TPacketHeader h;
  const TDateTimeParts t = DecodeDateTime(when);
  h.OrigNode = own.Node;
  h.DestNode = uplink.Node;
  h.Year = static_cast<uint16_t>(t.Year);
  h.Month = static_cast<uint16_t>(t.Month - 1);
  h.Day = static_cast<uint16_t>(t.Day);
  h.Hour = static_cast<uint16_t>(t.Hour);
  h.Minute = static_cast<uint16_t>(t.Minute);
  h.Second = static_cast<uint16_t>(t.Second);
  h.Baud = 0;
  h.PacketType = kPacketType2;
  h.OrigNet = own.Net;
  h.DestNet = uplink.Net;
  h.ProductCodeLow = kOwnProductCodeLow;
  h.RevisionMajor = 0;
  h.SetPassword(password);
  h.QOrigZone = own.Zone;
  h.QDestZone = uplink.Zone;
  h.AuxNet = 0;
  h.CapabilityCopy = Swap16(kCapabilityType2Plus);
  h.ProductCodeHigh = 0;
  h.RevisionMinor = 0;
  h.Capability = kCapabilityType2Plus;
  h.OrigZone = own.Zone;
  h.DestZone = uplink.Zone;
  h.OrigPoint = own.Point;
  h.DestPoint = uplink.Point;
  h.ProductData = 0;
  return h;
}

bool TPacketHeader::IsType2Plus() const {
  return Capability == Swap16(CapabilityCopy) && (Capability & kCapabilityType2Plus) != 0;
}

TFidoAddr TPacketHeader::OrigAddress() const {
  TFidoAddr a{QOrigZone, OrigNet, OrigNode, 0};
  if (IsType2Plus()) {
    if (OrigZone != 0) a.Zone = OrigZone;
    a.Point = OrigPoint;
    if (a.Net == 0xFFFF && a.Point != 0 && AuxNet != 0) a.Net = AuxNet;
  }
  return a;
}

TFidoAddr TPacketHeader::DestAddress() const {
  TFidoAddr a{QDestZone, DestNet, DestNode, 0};
  if (IsType2Plus()) {
    if (DestZone != 0) a.Zone = DestZone;
    a.Point = DestPoint;
  }
  return a;
}

std::string TPacketHeader::PasswordText() const {
  std::string s;
  for (uint8_t c : Password) {
    if (c == 0) break;
    s.push_back(static_cast<char>(c));
  }
  return s;
}

void TPacketHeader::SetPassword(std::string_view password) {
  Password.fill(0);
  const size_t n = std::min(password.size(), kPacketPasswordSize);
  for (size_t i = 0; i < n; ++i) Password[i] = static_cast<uint8_t>(password[i]);
}

const char* GetProgramId() { return kProgramId; }

}  // namespace velmaris
