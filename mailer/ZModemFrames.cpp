#include "mailer/ZModemFrames.h"

#include "core/Crc.h"

namespace velmaris {

namespace {

const char kHexDigits[] = "0123456789abcdef";

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string HeaderBytes(const TZHeader& h) {
  std::string b(5, '\0');
  b[0] = static_cast<char>(h.type);
  for (int i = 0; i < 4; ++i) b[1 + i] = static_cast<char>(h.arg >> (8 * i));
  return b;
}

void PutHex(std::string& out, uint8_t b) {
  out += kHexDigits[b >> 4];
  out += kHexDigits[b & 15];
}

bool AnnouncesData(uint8_t type) {
  return type == ZFILE || type == ZDATA || type == ZSINIT || type == ZCOMMAND;
}

}  // namespace

uint16_t ZCrc16(std::string_view bytes, int extra) {
  uint16_t reg = 0;
  for (char c : bytes) reg = Crc16Step(reg, static_cast<uint8_t>(c));
  if (extra >= 0) reg = Crc16Step(reg, static_cast<uint8_t>(extra));
  return Crc16Step(Crc16Step(reg, 0), 0);
}

uint32_t ZCrc32(std::string_view bytes, int extra) {
  uint32_t reg = Crc32Update(0xFFFFFFFFu, bytes.data(), bytes.size());
  if (extra >= 0) {
    const auto e = static_cast<uint8_t>(extra);
    reg = Crc32Update(reg, &e, 1);
  }
  return ~reg;
}

void TZEscaper::Put(std::string& out, uint8_t c) {
  const uint8_t low = c & 0x7F;
  const bool escape = low == kZDLE || low == 0x10 || low == kXON || low == 0x13 ||
                      (low == '\r' && (last_ & 0x7F) == '@') || (escapeCtl && low < 32);
  if (escape) {
    out += static_cast<char>(kZDLE);
    out += static_cast<char>(c ^ 0x40);
  } else {
    out += static_cast<char>(c);
  }
  last_ = c;
}

std::string HexHeader(const TZHeader& h) {
  const std::string b = HeaderBytes(h);
  std::string out = "**";
  out += static_cast<char>(kZDLE);
  out += 'B';
  for (char c : b) PutHex(out, static_cast<uint8_t>(c));
  const uint16_t crc = ZCrc16(b);
  PutHex(out, static_cast<uint8_t>(crc >> 8));
  PutHex(out, static_cast<uint8_t>(crc));
  out += "\r\n";
  if (h.type != ZFIN && h.type != ZACK) out += static_cast<char>(kXON);
  return out;
}

std::string BinaryHeader(const TZHeader& h, bool use32, TZEscaper& esc) {
  const std::string b = HeaderBytes(h);
  std::string out = "*";
  out += static_cast<char>(kZDLE);
  out += use32 ? 'C' : 'A';
  esc.Put(out, b);
  if (use32) {
    const uint32_t crc = ZCrc32(b);
    for (int i = 0; i < 4; ++i) esc.Put(out, static_cast<uint8_t>(crc >> (8 * i)));
  } else {
    const uint16_t crc = ZCrc16(b);
    esc.Put(out, static_cast<uint8_t>(crc >> 8));
    esc.Put(out, static_cast<uint8_t>(crc));
  }
  return out;
}

std::string Subpacket(std::string_view data, char frameEnd, bool use32, TZEscaper& esc) {
  std::string out;
  out.reserve(data.size() + data.size() / 16 + 16);
  esc.Put(out, data);
  out += static_cast<char>(kZDLE);
  out += frameEnd;
  if (use32) {
    const uint32_t crc = ZCrc32(data, static_cast<uint8_t>(frameEnd));
    for (int i = 0; i < 4; ++i) esc.Put(out, static_cast<uint8_t>(crc >> (8 * i)));
  } else {
    const uint16_t crc = ZCrc16(data, static_cast<uint8_t>(frameEnd));
    esc.Put(out, static_cast<uint8_t>(crc >> 8));
    esc.Put(out, static_cast<uint8_t>(crc));
  }
  if (frameEnd == ZCRCW) out += static_cast<char>(kXON);
  return out;
}

// ---------------------------------------------------------------------------

void TZParser::Reset() {
  state_ = Idle;
  escaped_ = false;
  buf_.clear();
  data_.clear();
  prevWasZdle_ = false;
  cans_ = 0;
  cancelled_ = false;
}

bool TZParser::Unescape(uint8_t c, uint8_t& out, bool& frameEnd) {
  frameEnd = false;
  if (!escaped_) {
    if (c == kZDLE) {
      escaped_ = true;
      return false;
    }
    const uint8_t low = c & 0x7F;
    if (low == kXON || low == 0x13) return false;  // flow control on the line
    out = c;
    return true;
  }
  if (c == kZDLE) return false;  // still escaped (a run of CANs)
  escaped_ = false;
  if (c >= 'h' && c <= 'k') {
    frameEnd = true;
    out = c;
    return true;
  }
  if (c == 'l') {
    out = 0x7F;
  } else if (c == 'm') {
    out = 0xFF;
  } else if ((c & 0x60) == 0x40) {
    out = c ^ 0x40;
  } else {
    frameEnd = true;  // not a valid escape: the frame is broken
    out = 0;
    return true;
  }
  return true;
}

bool TZParser::Step(uint8_t c) {
  if (cancelled_) return false;
  cans_ = c == kZDLE ? cans_ + 1 : 0;
  if (cans_ >= 5) {
    cancelled_ = true;
    state_ = Idle;
    event_ = TZEvent{TZEvent::Cancel, {}, {}, 0};
    return true;
  }
  switch (state_) {
    case Idle:
    case Pad:
      if (c == '*') {
        state_ = Pad;
      } else if (c == kZDLE && state_ == Pad) {
        state_ = Format;
      } else if (cans_ == 0 && (c == 'A' || c == 'B' || c == 'C') && prevWasZdle_) {
        state_ = Format;
        prevWasZdle_ = false;
        return Step(c);
      } else {
        state_ = Idle;
      }
      prevWasZdle_ = c == kZDLE;
      return false;
    case Format:
      prevWasZdle_ = false;
      format_ = static_cast<char>(c);
      escaped_ = false;
      buf_.clear();
      if (c == 'A') {
        need_ = 7;
      } else if (c == 'C') {
        need_ = 9;
      } else if (c == 'B') {
        need_ = 14;
      } else {
        state_ = c == '*' ? Pad : Idle;
        return false;
      }
      state_ = HeaderBytes;
      return false;
    case HeaderBytes:
      if (format_ == 'B') {
        if (HexValue(c) < 0) {
          state_ = c == '*' ? Pad : Idle;
          return false;
        }
        buf_ += static_cast<char>(c);
      } else {
        uint8_t b;
        bool end;
        if (!Unescape(c, b, end)) return false;
        if (end) {
          state_ = Idle;
          event_ = TZEvent{TZEvent::BadHeader, {}, {}, 0};
          return true;
        }
        buf_ += static_cast<char>(b);
      }
      return buf_.size() == need_ && HeaderDone();
    case SubData: {
      if (crlf_ > 0) {
        --crlf_;
        if ((c & 0x7F) == '\r' || (c & 0x7F) == '\n') return false;
        crlf_ = 0;
      }
      uint8_t b;
      bool end;
      if (!Unescape(c, b, end)) return false;
      if (end) {
        if (b < 'h' || b > 'k') {
          state_ = Idle;
          event_ = TZEvent{TZEvent::BadData, {}, std::move(data_), 0};
          data_.clear();
          return true;
        }
        frameEnd_ = static_cast<char>(b);
        buf_.clear();
        need_ = use32_ ? 4 : 2;
        state_ = SubCrc;
        return false;
      }
      if (data_.size() >= kZMaxSubpacket) {
        state_ = Idle;
        event_ = TZEvent{TZEvent::BadData, {}, std::move(data_), 0};
        data_.clear();
        return true;
      }
      data_ += static_cast<char>(b);
      return false;
    }
    case SubCrc: {
      uint8_t b;
      bool end;
      if (!Unescape(c, b, end)) return false;
      if (end) {
        state_ = Idle;
        event_ = TZEvent{TZEvent::BadData, {}, std::move(data_), 0};
        data_.clear();
        return true;
      }
      buf_ += static_cast<char>(b);
      return buf_.size() == need_ && SubpacketDone();
    }
  }
  return false;
}

bool TZParser::HeaderDone() {
  std::string bytes;
  bool ok;
  if (format_ == 'B') {
    for (size_t i = 0; i < buf_.size(); i += 2) {
      bytes += static_cast<char>(HexValue(static_cast<uint8_t>(buf_[i])) * 16 +
                                 HexValue(static_cast<uint8_t>(buf_[i + 1])));
    }
    const auto crc = static_cast<uint16_t>((static_cast<uint8_t>(bytes[5]) << 8) |
                                           static_cast<uint8_t>(bytes[6]));
    ok = ZCrc16(std::string_view(bytes).substr(0, 5)) == crc;
  } else if (format_ == 'A') {
    bytes = buf_;
    const auto crc = static_cast<uint16_t>((static_cast<uint8_t>(bytes[5]) << 8) |
                                           static_cast<uint8_t>(bytes[6]));
    ok = ZCrc16(std::string_view(bytes).substr(0, 5)) == crc;
  } else {
    bytes = buf_;
    uint32_t crc = 0;
    for (int i = 0; i < 4; ++i)
      crc |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[5 + i])) << (8 * i);
    ok = ZCrc32(std::string_view(bytes).substr(0, 5)) == crc;
  }
  state_ = Idle;
  if (!ok) {
    event_ = TZEvent{TZEvent::BadHeader, {}, {}, 0};
    return true;
  }
  TZHeader h;
  h.type = static_cast<uint8_t>(bytes[0]);
  for (int i = 0; i < 4; ++i)
    h.arg |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[1 + i])) << (8 * i);
  event_ = TZEvent{TZEvent::Header, h, {}, 0};
  if (AnnouncesData(h.type)) {
    use32_ = format_ == 'C';
    crlf_ = format_ == 'B' ? 2 : 0;
    data_.clear();
    escaped_ = false;
    state_ = SubData;
  }
  return true;
}

bool TZParser::SubpacketDone() {
  bool ok;
  if (use32_) {
    uint32_t crc = 0;
    for (int i = 0; i < 4; ++i)
      crc |= static_cast<uint32_t>(static_cast<uint8_t>(buf_[i])) << (8 * i);
    ok = ZCrc32(data_, static_cast<uint8_t>(frameEnd_)) == crc;
  } else {
    const auto crc =
        static_cast<uint16_t>((static_cast<uint8_t>(buf_[0]) << 8) | static_cast<uint8_t>(buf_[1]));
    ok = ZCrc16(data_, static_cast<uint8_t>(frameEnd_)) == crc;
  }
  event_ = TZEvent{ok ? TZEvent::Data : TZEvent::BadData, {}, std::move(data_), frameEnd_};
  data_.clear();
  escaped_ = false;
  // More subpackets follow ZCRCG and ZCRCQ; a header follows the others.
  state_ = ok && (frameEnd_ == ZCRCG || frameEnd_ == ZCRCQ) ? SubData : Idle;
  crlf_ = 0;
  return true;
}

}  // namespace velmaris
