#include "archive/LhaFormat.h"

#include <algorithm>
#include <vector>

#include "archive/arxBase.h"

namespace velmaris {

namespace {

constexpr size_t kBaseSize = 22;

// A stored directory: 0xFF and "\" separate its parts; the parts are joined
// with "/", trimmed of blanks at both ends, and end in "/".
std::string DirectoryName(const uint8_t* p, size_t n) {
  std::string dir;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = p[i];
    if (c == 0) break;
    dir += (c == 0xFF || c == '\\') ? '/' : static_cast<char>(c);
  }
  const size_t a = dir.find_first_not_of(' ');
  const size_t b = dir.find_last_not_of(' ');
  dir = a == std::string::npos ? std::string() : dir.substr(a, b - a + 1);
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// Names of levels 0 and 1 carry their directories with "\" (DOS) or "/".
std::string Slashes(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

// Walks a chain of extended headers whose first size is `next`, reading
// each through `read`. Takes the name, directory and attributes.
// `total` counts the bytes read.
TLhaRead WalkExtended(const std::function<size_t(uint8_t*, size_t)>& read, size_t next,
                      TLhaHeader& h, std::string& name, std::string& dir, uint64_t& total,
                      uint64_t limit) {
  std::vector<uint8_t> buf;
  while (next != 0) {
    if (next < 3) return TLhaRead::BadHeader;
    if (total + next > limit) return TLhaRead::BadHeader;
    buf.resize(next);
    if (read(buf.data(), next) != next) return TLhaRead::Short;
    total += next;
    const uint8_t type = buf[0];
    const uint8_t* data = buf.data() + 1;
    const size_t len = next - 3;
    switch (type) {
      case 0x01:  // file name
        name.assign(reinterpret_cast<const char*>(data), len);
        break;
      case 0x02:  // directory name
        dir = DirectoryName(data, len);
        break;
      case 0x40:  // MS-DOS attributes
        if (len >= 2) h.Attr = data[0];
        break;
      default: break;
    }
    next = GetLE16(buf.data() + next - 2);
  }
  return TLhaRead::Ok;
}

}  // namespace

char TLhaHeader::MethodChar() const {
  if (Method.size() != 5 || Method[0] != '-' || Method[1] != 'l' || Method[2] != 'h' ||
      Method[4] != '-')
    return 0;
  return Method[3];
}

TLhaRead ReadLhaHeader(const std::function<size_t(uint8_t*, size_t)>& read, TLhaHeader& h) {
  h = TLhaHeader();
  uint8_t b[kBaseSize];
  const size_t got = read(b, kBaseSize);
  if (got == 0 || b[0] == 0) return TLhaRead::End;
  if (got < kBaseSize) {
    // The padding of a transfer in blocks ends the archive; anything else is
    // a header cut off by the end of the file.
    const bool padding = std::all_of(b, b + got, [](uint8_t c) { return c == 0x1A; });
    return padding ? TLhaRead::End : TLhaRead::Short;
  }
  h.Method.assign(reinterpret_cast<const char*>(b + 2), 5);
  h.PackedSize = GetLE32(b + 7);
  h.OriginalSize = GetLE32(b + 11);
  h.Stamp = GetLE32(b + 15);
  h.Attr = b[19];
  h.Level = b[20];
  std::string name, dir;
  if (h.Level == 0 || h.Level == 1) {
    // b[0] counts the bytes after the first two; the name length byte is
    // b[21] and the name follows.
    const size_t size = b[0];
    if (size < 22) return TLhaRead::BadHeader;
    const size_t rest = size + 2 - kBaseSize;  // name, CRC and extension
    std::vector<uint8_t> r(rest);
    if (read(r.data(), rest) != rest) return TLhaRead::Short;
    const size_t nameLen = b[21];
    if (nameLen + 2 > rest) return TLhaRead::BadHeader;
    name.assign(reinterpret_cast<const char*>(r.data()), nameLen);
    name = Slashes(name);
    h.Crc = GetLE16(r.data() + nameLen);
    h.HeaderSize = size + 2;
    if (h.Level == 1) {
      // OS byte, then the size of the first extended header in the last two
      // bytes of the base header.
      if (nameLen + 5 > rest) return TLhaRead::BadHeader;
      const size_t next = GetLE16(r.data() + rest - 2);
      uint64_t ext = 0;
      const TLhaRead w = WalkExtended(read, next, h, name, dir, ext, h.PackedSize);
      if (w != TLhaRead::Ok) return w;
      // The packed size of level 1 includes the extended headers.
      h.PackedSize -= ext;
      h.HeaderSize += ext;
    }
  } else if (h.Level == 2) {
    const size_t total = GetLE16(b);
    if (total < 26) return TLhaRead::BadHeader;
    uint8_t more[4];
    if (read(more, 4) != 4) return TLhaRead::Short;
    // Bytes 21-22 hold the CRC-16, 23 the OS, 24-25 the size of the first
    // extended header.
    h.Crc = static_cast<uint16_t>(b[21] | (more[0] << 8));
    const size_t next = GetLE16(more + 2);
    uint64_t ext = 0;
    const TLhaRead w = WalkExtended(read, next, h, name, dir, ext, total - 26);
    if (w != TLhaRead::Ok) return w;
    // A padding byte may close the header.
    const uint64_t used = 26 + ext;
    if (used > total) return TLhaRead::BadHeader;
    std::vector<uint8_t> pad(total - used);
    if (!pad.empty() && read(pad.data(), pad.size()) != pad.size()) return TLhaRead::Short;
    h.HeaderSize = total;
  } else {
    return TLhaRead::BadHeader;
  }
  h.Name = dir + name;
  return TLhaRead::Ok;
}

}  // namespace velmaris
