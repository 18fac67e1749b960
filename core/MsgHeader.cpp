#include "core/MsgHeader.h"

#include <cstring>

#include "core/ByteOrder.h"

namespace velmaris {

namespace {

void PutAddr(uint8_t* p, const TFidoAddr& a) {
  PutLE16(p, a.Zone);
  PutLE16(p + 2, a.Net);
  PutLE16(p + 4, a.Node);
  PutLE16(p + 6, a.Point);
}

TFidoAddr GetAddr(const uint8_t* p) {
  TFidoAddr a{};
  a.Zone = GetLE16(p);
  a.Net = GetLE16(p + 2);
  a.Node = GetLE16(p + 4);
  a.Point = GetLE16(p + 6);
  return a;
}

template <size_t N>
void PutStr(uint8_t* p, const TShortStr<N>& s) {
  size_t len = s.Length <= N ? s.Length : N;
  p[0] = static_cast<uint8_t>(len);
  std::memcpy(p + 1, s.Chars.data(), len);
  std::memset(p + 1 + len, 0, N - len);
}

template <size_t N>
TShortStr<N> GetStr(const uint8_t* p) {
  TShortStr<N> s;
  size_t len = p[0] <= N ? p[0] : N;
  s.Length = static_cast<uint8_t>(len);
  std::memcpy(s.Chars.data(), p + 1, len);
  return s;
}

}  // namespace

void TMsgHeader::Encode(uint8_t* out) const {
  using O = MsgHeaderOffset;
  PutLE32(out + O::Reserved0, Reserved0);
  PutAddr(out + O::OrigAddr, OrigAddr);
  PutAddr(out + O::DestAddr, DestAddr);
  PutLE32(out + O::MsgIdCrc, MsgIdCrc);
  PutLE32(out + O::ReplyCrc, ReplyCrc);
  PutStr(out + O::FromName, FromName);
  PutStr(out + O::ToName, ToName);
  PutStr(out + O::Subject, Subject);
  PutStr(out + O::AreaName, AreaName);
  PutLE32(out + O::Created, static_cast<uint32_t>(Created));
  PutLE32(out + O::Tossed, static_cast<uint32_t>(Tossed));
  PutLE32(out + O::Reserved232, Reserved232);
  PutLE32(out + O::MsgIdNumber, MsgIdNumber);
  PutLE32(out + O::ReplyNumber, ReplyNumber);
  PutLE16(out + O::TextOffset, TextOffset);
  PutLE32(out + O::BodyLength, BodyLength);
  PutLE32(out + O::BodyOffset, BodyOffset);
  PutLE16(out + O::Flags, Flags);
}

std::array<uint8_t, kMsgHeaderSize> TMsgHeader::Encode() const {
  std::array<uint8_t, kMsgHeaderSize> out{};
  Encode(out.data());
  return out;
}

TMsgHeader TMsgHeader::Decode(const uint8_t* in) {
  using O = MsgHeaderOffset;
  TMsgHeader h;
  h.Reserved0 = GetLE32(in + O::Reserved0);
  h.OrigAddr = GetAddr(in + O::OrigAddr);
  h.DestAddr = GetAddr(in + O::DestAddr);
  h.MsgIdCrc = GetLE32(in + O::MsgIdCrc);
  h.ReplyCrc = GetLE32(in + O::ReplyCrc);
  h.FromName = GetStr<35>(in + O::FromName);
  h.ToName = GetStr<35>(in + O::ToName);
  h.Subject = GetStr<71>(in + O::Subject);
  h.AreaName = GetStr<51>(in + O::AreaName);
  h.Created = static_cast<int32_t>(GetLE32(in + O::Created));
  h.Tossed = static_cast<int32_t>(GetLE32(in + O::Tossed));
  h.Reserved232 = GetLE32(in + O::Reserved232);
  h.MsgIdNumber = GetLE32(in + O::MsgIdNumber);
  h.ReplyNumber = GetLE32(in + O::ReplyNumber);
  h.TextOffset = GetLE16(in + O::TextOffset);
  h.BodyLength = GetLE32(in + O::BodyLength);
  h.BodyOffset = GetLE32(in + O::BodyOffset);
  h.Flags = GetLE16(in + O::Flags);
  return h;
}

bool TMsgHeader::operator==(const TMsgHeader& other) const { return Encode() == other.Encode(); }

}  // namespace velmaris
