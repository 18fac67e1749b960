#include "mailer/HydraFrames.h"

#include "core/Crc.h"

namespace velmaris {

namespace {

const char* const kOptionNames[] = {"XON", "TLN", "CTL", "HIC", "HI8", "BRK",
                                    "ASC", "UUE", "C32", "DEV", "FPT"};
const char kHex[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool UsesCrc32(char format, uint32_t options) { return format != 'c' && (options & hoC32); }

std::string WithChecksum(char type, std::string_view data, bool crc32) {
  std::string out(data);
  out += type;
  if (crc32) {
    const uint32_t crc = Crc32OfBuffer(out.data(), out.size());
    for (int i = 0; i < 4; ++i) out += static_cast<char>(crc >> (8 * i));
  } else {
    const uint16_t crc = static_cast<uint16_t>(~Crc16ReflectedOfBuffer(out.data(), out.size()));
    out += static_cast<char>(crc);
    out += static_cast<char>(crc >> 8);
  }
  return out;
}

// The escape rule of the binary and 7-bit encodings.
class Escaper {
 public:
  explicit Escaper(uint32_t options) : options_(options) {}
  void Put(std::string& out, uint8_t c) {
    const uint8_t cmp = (options_ & hoHIC) ? (c & 0x7F) : c;
    const bool escape = cmp == kHydraDLE || ((options_ & hoXON) && (cmp == 0x11 || cmp == 0x13)) ||
                        ((options_ & hoTLN) && cmp == '\r' && last_ == '@') ||
                        ((options_ & hoCTL) && (cmp < 32 || cmp == 127));
    if (escape) {
      out += static_cast<char>(kHydraDLE);
      out += static_cast<char>(c ^ 0x40);
    } else {
      out += static_cast<char>(c);
    }
    last_ = cmp;
  }

 private:
  uint32_t options_;
  uint8_t last_ = 0;
};

std::string EncodeHex(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    const auto c = static_cast<uint8_t>(ch);
    if (c & 0x80) {
      out += '\\';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (c < 32 || c == 127) {
      out += static_cast<char>(kHydraDLE);
      out += static_cast<char>(c ^ 0x40);
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string EncodeAsc(std::string_view bytes, Escaper& esc) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char ch : bytes) {
    bits |= static_cast<uint32_t>(static_cast<uint8_t>(ch)) << count;
    count += 8;
    while (count >= 7) {
      esc.Put(out, bits & 0x7F);
      bits >>= 7;
      count -= 7;
    }
  }
  if (count > 0) esc.Put(out, bits & 0x7F);
  return out;
}

std::string EncodeUue(std::string_view bytes) {
  std::string out;
  auto put = [&](uint32_t v) { out += static_cast<char>((v & 0x3F) + '!'); };
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const auto a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]),
               c = static_cast<uint8_t>(bytes[i + 2]);
    put(a >> 2);
    put(((a << 4) & 0x30) | (b >> 4));
    put(((b << 2) & 0x3C) | (c >> 6));
    put(c);
  }
  if (i < bytes.size()) {
    const auto a = static_cast<uint8_t>(bytes[i]);
    const uint8_t b = i + 1 < bytes.size() ? static_cast<uint8_t>(bytes[i + 1]) : 0;
    put(a >> 2);
    put(((a << 4) & 0x30) | (b >> 4));
    if (i + 1 < bytes.size()) put((b << 2) & 0x3C);
  }
  return out;
}

bool DecodeHex(const std::string& raw, std::string& out) {
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      out += raw[i];
      continue;
    }
    if (i + 1 < raw.size() && raw[i + 1] == '\\') {
      out += '\\';
      ++i;
      continue;
    }
    if (i + 2 >= raw.size()) return false;
    const int hi = HexValue(raw[i + 1]), lo = HexValue(raw[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

void DecodeAsc(const std::string& raw, std::string& out) {
  uint32_t bits = 0;
  int count = 0;
  for (char ch : raw) {
    bits |= static_cast<uint32_t>(ch & 0x7F) << count;
    count += 7;
    if (count >= 8) {
      out += static_cast<char>(bits & 0xFF);
      bits >>= 8;
      count -= 8;
    }
  }
}

bool DecodeUue(const std::string& raw, std::string& out) {
  uint32_t v[4];
  for (size_t i = 0; i < raw.size(); i += 4) {
    const size_t n = std::min<size_t>(4, raw.size() - i);
    if (n == 1) return false;
    for (size_t k = 0; k < n; ++k) {
      const int c = static_cast<uint8_t>(raw[i + k]) - '!';
      if (c < 0 || c > 63) return false;
      v[k] = static_cast<uint32_t>(c);
    }
    out += static_cast<char>((v[0] << 2) | (v[1] >> 4));
    if (n >= 3) out += static_cast<char>(((v[1] << 4) & 0xF0) | (v[2] >> 2));
    if (n == 4) out += static_cast<char>(((v[2] << 6) & 0xC0) | v[3]);
  }
  return true;
}

}  // namespace

std::string HydraOptionNames(uint32_t options) {
  std::string out;
  for (int bit = 0; bit < 11; ++bit) {
    if (!(options & (1u << bit))) continue;
    if (!out.empty()) out += ',';
    out += kOptionNames[bit];
  }
  return out;
}

uint32_t HydraOptionBits(std::string_view names) {
  uint32_t bits = 0;
  while (!names.empty()) {
    const size_t comma = names.find(',');
    const std::string_view name = names.substr(0, comma);
    for (int bit = 0; bit < 11; ++bit) {
      if (name == kOptionNames[bit]) bits |= 1u << bit;
    }
    if (comma == std::string_view::npos) break;
    names.remove_prefix(comma + 1);
  }
  return bits;
}

std::string HydraPacket(char type, std::string_view data, uint32_t options) {
  char format = 'b';
  if (type == hpStart || type == hpInit || type == hpInitAck || type == hpEnd || type == hpIdle) {
    format = 'c';
  } else if (options & hoHI8) {
    format = (options & hoCTL) && (options & hoUUE) ? 'e' : (options & hoASC) ? 'd' : 'c';
  }
  const std::string payload = WithChecksum(type, data, UsesCrc32(format, options));
  std::string out;
  out += static_cast<char>(kHydraDLE);
  out += format;
  Escaper esc(options);
  switch (format) {
    case 'b':
      for (char c : payload) esc.Put(out, static_cast<uint8_t>(c));
      break;
    case 'c': out += EncodeHex(payload); break;
    case 'd': out += EncodeAsc(payload, esc); break;
    default: out += EncodeUue(payload); break;
  }
  out += static_cast<char>(kHydraDLE);
  out += 'a';
  if (format != 'b' && type != hpData) out += "\r\n";
  return out;
}

void THydraParser::Feed(std::string_view bytes, uint32_t options,
                        std::vector<THydraReceived>& out) {
  for (char ch : bytes) {
    if (cancelled_) return;
    const auto c = static_cast<uint8_t>(ch);
    dles_ = c == kHydraDLE ? dles_ + 1 : 0;
    if (dles_ >= 5) {
      cancelled_ = true;
      return;
    }
    if (escaped_) {
      if (c == kHydraDLE) continue;  // a run of DLEs: still escaped
      escaped_ = false;
      if (c >= 'b' && c <= 'e') {  // a new packet starts
        if (format_) ++bad_;
        format_ = static_cast<char>(c);
        raw_.clear();
        continue;
      }
      if (!format_) continue;
      if (c == 'a') {
        Finish(options, out);
        continue;
      }
      raw_ += static_cast<char>(c ^ 0x40);
    } else if (c == kHydraDLE) {
      escaped_ = true;
      continue;
    } else if (!format_) {
      continue;
    } else if (format_ == 'b' || format_ == 'd') {
      const uint8_t cmp = (options & hoHIC) ? (c & 0x7F) : c;
      if ((options & hoXON) && (cmp == 0x11 || cmp == 0x13)) continue;
      raw_ += static_cast<char>(c);
    } else if (c >= 32 && c != 127) {
      raw_ += static_cast<char>(c);
    }
    if (raw_.size() > 3 * kHydraMaxPacket) {
      ++bad_;
      format_ = 0;
      raw_.clear();
    }
  }
}

void THydraParser::Finish(uint32_t options, std::vector<THydraReceived>& out) {
  const char format = format_;
  format_ = 0;
  std::string bytes;
  bool ok = true;
  switch (format) {
    case 'b': bytes = std::move(raw_); break;
    case 'c': ok = DecodeHex(raw_, bytes); break;
    case 'd': DecodeAsc(raw_, bytes); break;
    default: ok = DecodeUue(raw_, bytes); break;
  }
  raw_.clear();
  const bool crc32 = UsesCrc32(format, options);
  const size_t crcLen = crc32 ? 4 : 2;
  if (!ok || bytes.size() < crcLen + 1 || bytes.size() > kHydraMaxPacket) {
    ++bad_;
    return;
  }
  const std::string_view body(bytes.data(), bytes.size() - crcLen);
  if (WithChecksum(body.back(), body.substr(0, body.size() - 1), crc32) != bytes) {
    ++bad_;
    return;
  }
  out.push_back({body.back(), std::string(body.substr(0, body.size() - 1))});
}

void PutLong(std::string& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
}

int32_t GetLong(std::string_view data, size_t at) {
  if (at + 4 > data.size()) return 0;
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<uint32_t>(static_cast<uint8_t>(data[at + i])) << (8 * i);
  return static_cast<int32_t>(v);
}

}  // namespace velmaris
