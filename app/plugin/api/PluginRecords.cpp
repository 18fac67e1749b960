#include "app/plugin/api/PluginRecords.h"

#include <algorithm>
#include <cstring>

#include "core/ByteOrder.h"

namespace velmaris::plugin {

namespace {

// Writes into a block of fixed size; fields outside it are dropped.
struct Writer {
  Bytes& out;
  void U8(size_t at, uint8_t v) {
    if (at < out.size()) out[at] = v;
  }
  void U16(size_t at, uint16_t v) {
    if (at + 2 <= out.size()) PutLE16(&out[at], v);
  }
  void U32(size_t at, uint32_t v) {
    if (at + 4 <= out.size()) PutLE32(&out[at], v);
  }
  void Short(size_t at, size_t max, const std::string& text) {
    const size_t n = std::min(text.size(), max);
    U8(at, static_cast<uint8_t>(n));
    for (size_t i = 0; i < n; ++i) U8(at + 1 + i, static_cast<uint8_t>(text[i]));
  }
  void Addr(size_t at, const TPluginAddr& a) {
    U16(at, a.Zone);
    U16(at + 2, a.Net);
    U16(at + 4, a.Node);
    U16(at + 6, a.Point);
  }
};

// Reads a block whose size the caller has checked to hold every field.
struct Reader {
  const uint8_t* p;
  uint16_t U16(size_t at) const { return GetLE16(p + at); }
  uint32_t U32(size_t at) const { return GetLE32(p + at); }
  std::string Short(size_t at, size_t max) const {
    const size_t n = std::min<size_t>(p[at], max);
    return std::string(reinterpret_cast<const char*>(p + at + 1), n);
  }
  TPluginAddr Addr(size_t at) const { return {U16(at), U16(at + 2), U16(at + 4), U16(at + 6)}; }
};

void AppendU32(Bytes& out, uint32_t v) {
  out.resize(out.size() + 4);
  PutLE32(&out[out.size() - 4], v);
}

}  // namespace

Bytes TPluginInfo::Encode() const {
  Bytes out(kSize);
  Writer w{out};
  w.Short(0, 255, Name);
  w.Short(256, 255, Copyright);
  w.Short(512, 255, Description);
  w.U32(768, Version);
  w.U32(772, Revision);
  w.U32(776, ApiRequired);
  w.U32(780, ApiSupported);
  return out;
}

std::optional<TPluginInfo> TPluginInfo::Decode(const uint8_t* data, size_t size) {
  if (size < kSize) return std::nullopt;
  const Reader r{data};
  return TPluginInfo{r.Short(0, 255),  r.Short(256, 255), r.Short(512, 255), r.U32(768),
                     r.U32(772),       r.U32(776),        r.U32(780)};
}

Bytes TPluginService::Encode() const {
  Bytes out(kSize);
  Writer w{out};
  w.U32(0, Category);
  w.Short(4, 255, Caption);
  w.Short(260, 255, Description);
  w.U32(516, Command);
  w.U32(520, Thread);
  w.U32(524, Owner);
  return out;
}

std::optional<TPluginService> TPluginService::Decode(const uint8_t* data, size_t size) {
  if (size < kSize) return std::nullopt;
  const Reader r{data};
  return TPluginService{r.U32(0), r.Short(4, 255), r.Short(260, 255),
                        r.U32(516), r.U32(520), r.U32(524)};
}

Bytes TPluginUplink::Encode() const {
  Bytes out(kSize);
  Writer w{out};
  w.Short(0, 255, Name);
  w.Short(256, 255, Sysop);
  w.Addr(512, Uplink);
  w.Addr(520, Own);
  return out;
}

std::optional<TPluginUplink> TPluginUplink::Decode(const uint8_t* data, size_t size) {
  if (size < kSize) return std::nullopt;
  const Reader r{data};
  return TPluginUplink{r.Short(0, 255), r.Short(256, 255), r.Addr(512), r.Addr(520)};
}

Bytes TAreaCreation::Encode() const {
  Bytes out(kMinSize);
  Writer w{out};
  w.Short(0, 255, Name);
  w.Short(256, 255, Uplink);
  w.U8(512, Type);
  return out;
}

std::optional<TAreaCreation> TAreaCreation::Decode(const uint8_t* data, size_t size) {
  if (size < kMinSize) return std::nullopt;
  const Reader r{data};
  return TAreaCreation{r.Short(0, 255), r.Short(256, 255), data[512]};
}

Bytes TNewMessage::Encode() const {
  Bytes out(kTextOffset);
  Writer w{out};
  w.Short(0, 35, To);
  w.Short(36, 35, From);
  w.Short(72, 71, Subject);
  w.Short(144, 71, Origin);
  w.Addr(216, Dest);
  w.Addr(224, Orig);
  w.U16(232, Attribute);
  for (const std::string& line : Lines) {
    out.insert(out.end(), line.begin(), line.end());
    out.push_back('\r');
  }
  out.push_back(0);
  return out;
}

std::optional<TNewMessage> TNewMessage::Decode(const uint8_t* data, size_t size) {
  if (size <= kTextOffset) return std::nullopt;
  const Reader r{data};
  TNewMessage m;
  m.To = r.Short(0, 35);
  m.From = r.Short(36, 35);
  m.Subject = r.Short(72, 71);
  m.Origin = r.Short(144, 71);
  m.Dest = r.Addr(216);
  m.Orig = r.Addr(224);
  m.Attribute = r.U16(232);
  const std::string text = DecodeString(data + kTextOffset, size - kTextOffset);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t cr = text.find('\r', pos);
    if (cr == std::string::npos) cr = text.size();
    m.Lines.push_back(text.substr(pos, cr - pos));
    pos = cr + 1;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  return m;
}

Bytes EncodeAreaList(const std::vector<TAreaEntry>& areas) {
  Bytes out;
  AppendU32(out, static_cast<uint32_t>(areas.size()));
  for (const TAreaEntry& a : areas) {
    out.insert(out.end(), a.Name.begin(), a.Name.end());
    out.push_back(0);
    out.push_back(a.Type);
  }
  return out;
}

std::optional<std::vector<TAreaEntry>> DecodeAreaList(const uint8_t* data, size_t size) {
  if (size < 4) return std::nullopt;
  const uint32_t count = Reader{data}.U32(0);
  if (count > (size - 4) / 2) return std::nullopt;
  std::vector<TAreaEntry> areas;
  size_t pos = 4;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(data + pos, 0, size - pos));
    if (!zero || static_cast<size_t>(zero - data) + 1 >= size) return std::nullopt;
    const size_t len = static_cast<size_t>(zero - (data + pos));
    areas.push_back({std::string(reinterpret_cast<const char*>(data + pos), len), zero[1]});
    pos += len + 2;
  }
  return areas;
}

Bytes EncodeAreaNames(const std::vector<std::string>& names) {
  Bytes out;
  AppendU32(out, static_cast<uint32_t>(names.size()));
  for (const std::string& n : names) {
    out.insert(out.end(), n.begin(), n.end());
    out.push_back(0);
  }
  return out;
}

std::optional<std::vector<std::string>> DecodeAreaNames(const uint8_t* data, size_t size) {
  if (size < 4) return std::nullopt;
  const uint32_t count = Reader{data}.U32(0);
  if (count > size - 4) return std::nullopt;
  std::vector<std::string> names;
  size_t pos = 4;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(data + pos, 0, size - pos));
    if (!zero) return std::nullopt;
    const size_t len = static_cast<size_t>(zero - (data + pos));
    names.emplace_back(reinterpret_cast<const char*>(data + pos), len);
    pos += len + 1;
  }
  return names;
}

Bytes EncodeIndexes(const std::vector<uint32_t>& indexes) {
  Bytes out;
  for (uint32_t i : indexes) AppendU32(out, i);
  return out;
}

std::vector<uint32_t> DecodeIndexes(const uint8_t* data, size_t size) {
  std::vector<uint32_t> out;
  for (size_t at = 0; at + 4 <= size; at += 4) out.push_back(Reader{data}.U32(at));
  return out;
}

std::optional<std::vector<Bytes>> DecodeMsgList(const uint8_t* data, size_t size) {
  if (size < 4) return std::nullopt;
  const uint32_t count = Reader{data}.U32(0);
  if (count > (size - 4) / 256) return std::nullopt;
  std::vector<Bytes> headers;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* h = data + 4 + size_t{i} * 256;
    headers.emplace_back(h, h + 256);
  }
  return headers;
}

Bytes EncodeString(const std::string& text) {
  Bytes out(text.begin(), text.end());
  out.push_back(0);
  return out;
}

std::string DecodeString(const uint8_t* data, size_t size) {
  const void* zero = std::memchr(data, 0, size);
  const size_t len = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
  return std::string(reinterpret_cast<const char*>(data), len);
}

}  // namespace velmaris::plugin
