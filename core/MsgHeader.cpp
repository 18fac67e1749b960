#include "core/MsgHeader.h"

#include <cstring>

namespace velmaris {

namespace {

void PutAddr(uint8_t* p, const TFidoAddr& a) {
  PutU16(p, a.Zone);
  PutU16(p + 2, a.Net);
  PutU16(p + 4, a.Node);
  PutU16(p + 6, a.Point);
}

TFidoAddr GetAddr(const uint8_t* p) {
  TFidoAddr a{};
  a.Zone = GetU16(p);
  a.Net = GetU16(p + 2);
  a.Node = GetU16(p + 4);
  a.Point = GetU16(p + 6);
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
  PutU32(out + O::Reserved0, Reserved0);
  PutAddr(out + O::OrigAddr, OrigAddr);
  PutAddr(out + O::DestAddr, DestAddr);
  PutU32(out + O::MsgIdCrc, MsgIdCrc);
  PutU32(out + O::ReplyCrc, ReplyCrc);
  PutStr(out + O::FromName, FromName);
  PutStr(out + O::ToName, ToName);
  PutStr(out + O::Subject, Subject);
  PutStr(out + O::AreaName, AreaName);
  PutU32(out + O::Created, static_cast<uint32_t>(Created));
  PutU32(out + O::Tossed, static_cast<uint32_t>(Tossed));
  PutU32(out + O::Reserved232, Reserved232);
  PutU32(out + O::MsgIdNumber, MsgIdNumber);
  PutU32(out + O::ReplyNumber, ReplyNumber);
  PutU16(out + O::TextOffset, TextOffset);
  PutU32(out + O::BodyLength, BodyLength);
  PutU32(out + O::BodyOffset, BodyOffset);
  PutU16(out + O::Flags, Flags);
}

std::array<uint8_t, kMsgHeaderSize> TMsgHeader::Encode() const {
  std::array<uint8_t, kMsgHeaderSize> out{};
  Encode(out.data());
  return out;
}

TMsgHeader TMsgHeader::Decode(const uint8_t* in) {
  using O = MsgHeaderOffset;
  TMsgHeader h;
  h.Reserved0 = GetU32(in + O::Reserved0);
  h.OrigAddr = GetAddr(in + O::OrigAddr);
  h.DestAddr = GetAddr(in + O::DestAddr);
  h.MsgIdCrc = GetU32(in + O::MsgIdCrc);
  h.ReplyCrc = GetU32(in + O::ReplyCrc);
  h.FromName = GetStr<35>(in + O::FromName);
  h.ToName = GetStr<35>(in + O::ToName);
  h.Subject = GetStr<71>(in + O::Subject);
  h.AreaName = GetStr<51>(in + O::AreaName);
  h.Created = static_cast<int32_t>(GetU32(in + O::Created));
  h.Tossed = static_cast<int32_t>(GetU32(in + O::Tossed));
  h.Reserved232 = GetU32(in + O::Reserved232);
  h.MsgIdNumber = GetU32(in + O::MsgIdNumber);
  h.ReplyNumber = GetU32(in + O::ReplyNumber);
  h.TextOffset = GetU16(in + O::TextOffset);
  h.BodyLength = GetU32(in + O::BodyLength);
  h.BodyOffset = GetU32(in + O::BodyOffset);
  h.Flags = GetU16(in + O::Flags);
  return h;
}

bool TMsgHeader::operator==(const TMsgHeader& other) const {
  return Encode() == other.Encode();
}

}  // namespace velmaris
