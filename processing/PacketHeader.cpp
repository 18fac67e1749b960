#include "processing/PacketHeader.h"

#include "core/KQMail.h"

#include <algorithm>

#include "core/MsgHeader.h"

namespace velmaris {

namespace {
using O = PacketHeaderOffset;

uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
}  // namespace

void TPacketHeader::Encode(uint8_t* out) const {
  PutU16(out + O::OrigNode, OrigNode);
  PutU16(out + O::DestNode, DestNode);
  PutU16(out + O::Year, Year);
  PutU16(out + O::Month, Month);
  PutU16(out + O::Day, Day);
  PutU16(out + O::Hour, Hour);
  PutU16(out + O::Minute, Minute);
  PutU16(out + O::Second, Second);
  PutU16(out + O::Baud, Baud);
  PutU16(out + O::PacketType, PacketType);
  PutU16(out + O::OrigNet, OrigNet);
  PutU16(out + O::DestNet, DestNet);
  out[O::ProductCodeLow] = ProductCodeLow;
  out[O::RevisionMajor] = RevisionMajor;
  std::copy(Password.begin(), Password.end(), out + O::Password);
  PutU16(out + O::QOrigZone, QOrigZone);
  PutU16(out + O::QDestZone, QDestZone);
  PutU16(out + O::AuxNet, AuxNet);
  PutU16(out + O::CapabilityCopy, CapabilityCopy);
  out[O::ProductCodeHigh] = ProductCodeHigh;
  out[O::RevisionMinor] = RevisionMinor;
  PutU16(out + O::Capability, Capability);
  PutU16(out + O::OrigZone, OrigZone);
  PutU16(out + O::DestZone, DestZone);
  PutU16(out + O::OrigPoint, OrigPoint);
  PutU16(out + O::DestPoint, DestPoint);
  PutU32(out + O::ProductData, ProductData);
}

std::array<uint8_t, kPacketHeaderSize> TPacketHeader::Encode() const {
  std::array<uint8_t, kPacketHeaderSize> out{};
  Encode(out.data());
  return out;
}

TPacketHeader TPacketHeader::Decode(const uint8_t* in) {
  TPacketHeader h;
  h.OrigNode = GetU16(in + O::OrigNode);
  h.DestNode = GetU16(in + O::DestNode);
  h.Year = GetU16(in + O::Year);
  h.Month = GetU16(in + O::Month);
  h.Day = GetU16(in + O::Day);
  h.Hour = GetU16(in + O::Hour);
  h.Minute = GetU16(in + O::Minute);
  h.Second = GetU16(in + O::Second);
  h.Baud = GetU16(in + O::Baud);
  h.PacketType = GetU16(in + O::PacketType);
  h.OrigNet = GetU16(in + O::OrigNet);
  h.DestNet = GetU16(in + O::DestNet);
  h.ProductCodeLow = in[O::ProductCodeLow];
  h.RevisionMajor = in[O::RevisionMajor];
  std::copy(in + O::Password, in + O::Password + kPacketPasswordSize, h.Password.begin());
  h.QOrigZone = GetU16(in + O::QOrigZone);
  h.QDestZone = GetU16(in + O::QDestZone);
  h.AuxNet = GetU16(in + O::AuxNet);
  h.CapabilityCopy = GetU16(in + O::CapabilityCopy);
  h.ProductCodeHigh = in[O::ProductCodeHigh];
  h.RevisionMinor = in[O::RevisionMinor];
  h.Capability = GetU16(in + O::Capability);
  h.OrigZone = GetU16(in + O::OrigZone);
  h.DestZone = GetU16(in + O::DestZone);
  h.OrigPoint = GetU16(in + O::OrigPoint);
  h.DestPoint = GetU16(in + O::DestPoint);
  h.ProductData = GetU32(in + O::ProductData);
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
