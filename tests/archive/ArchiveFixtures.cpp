#include "ArchiveFixtures.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

#include "archive/arxBase.h"
#include "core/ByteOrder.h"
#include "support/TempDir.h"

namespace velmaris::test {

namespace {

void Put16(std::string& s, uint32_t v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void Put16(std::string& s, std::initializer_list<uint32_t> values) {
  for (uint32_t v : values) Put16(s, v);
}
void Put32(std::string& s, std::initializer_list<uint32_t> values) {
  for (uint32_t v : values) Put32(s, v);
}

uint32_t Reverse(uint32_t code, int len) {
  uint32_t r = 0;
  for (int i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

// LSB-first bit packing as the ZIP methods read it.
struct BitWriter {
  std::string out;
  uint64_t acc = 0;
  int n = 0;
  void Put(uint32_t v, int bits) {
    acc |= uint64_t(v & ((1u << bits) - 1)) << n;
    n += bits;
    while (n >= 8) {
      out += char(acc & 0xFF);
      acc >>= 8;
      n -= 8;
    }
  }
  // A code given most significant bit first, sent first.
  void PutCode(uint32_t code, int len) { Put(Reverse(code, len), len); }
  std::string Finish() {
    if (n) out += char(acc & 0xFF);
    acc = 0;
    n = 0;
    return out;
  }
};

}  // namespace

uint32_t Crc32Of(const std::string& s) {
  return velmaris::Crc32Update(0xFFFFFFFF, reinterpret_cast<const uint8_t*>(s.data()), s.size()) ^
         0xFFFFFFFF;
}

ZipFixtureEntry StoredEntry(const std::string& name, const std::string& content) {
  ZipFixtureEntry e;
  e.name = name;
  e.data = content;
  e.crc = Crc32Of(content);
  e.usize = uint32_t(content.size());
  return e;
}

std::string BuildZip(const std::vector<ZipFixtureEntry>& entries, const std::string& comment) {
  std::string out, central;
  const uint32_t dosTime =
      (uint32_t((2001 - 1980) << 9 | 5 << 5 | 17) << 16) | (12 << 11 | 30 << 5);
  for (const auto& e : entries) {
    const uint32_t offset = uint32_t(out.size());
    Put32(out, 0x04034B50);
    Put16(out, {20, e.flags, e.method});
    Put32(out, {dosTime, e.crc, uint32_t(e.data.size()), e.usize});
    Put16(out, {uint32_t(e.name.size()), uint32_t(e.extra.size())});
    out += e.name;
    out += e.extra;
    out += e.data;
    Put32(central, 0x02014B50);
    Put16(central, {20, 20, e.flags, e.method});
    Put32(central, {dosTime, e.crc, uint32_t(e.data.size()), e.usize});
    Put16(central, {uint32_t(e.name.size()), uint32_t(e.extra.size()), 0, 0, 0});
    Put32(central, {e.extAttr, offset});
    central += e.name;
    central += e.extra;
  }
  const uint32_t cdOffset = uint32_t(out.size());
  out += central;
  Put32(out, 0x06054B50);
  Put16(out, {0, 0, uint32_t(entries.size()), uint32_t(entries.size())});
  Put32(out, {uint32_t(central.size()), cdOffset});
  Put16(out, uint32_t(comment.size()));
  out += comment;
  return out;
}

// ---------------------------------------------------------------- shrink

// LZW with codes of 9 to 13 bits; the code size grows by the control
// sequence 256,1 before the first code that needs it. With partialClear,
// the sequence 256,2 frees every code that is no other code's prefix when
// the table is full, as PKZIP does; without, the table stays full.
std::string ShrinkEncode(const std::string& in, bool partialClear) {
  BitWriter bw;
  if (in.empty()) return {};
  constexpr int kCodes = 8192;
  std::vector<int> prefix(kCodes, -1);
  std::vector<uint8_t> suffix(kCodes, 0);
  std::map<std::pair<int, int>, int> dict;
  int codeSize = 9;
  int nextFree = 257;
  auto emit = [&](int code) {
    while (code >= (1 << codeSize)) {
      bw.Put(256, codeSize);
      bw.Put(1, codeSize);
      ++codeSize;
    }
    bw.Put(uint32_t(code), codeSize);
  };
  auto add = [&](int p, uint8_t c) {
    if (nextFree >= kCodes) return -1;
    const int code = nextFree;
    prefix[size_t(code)] = p;
    suffix[size_t(code)] = c;
    dict[{p, c}] = code;
    while (nextFree < kCodes && prefix[size_t(nextFree)] != -1) ++nextFree;
    return code;
  };
  int w = uint8_t(in[0]);
  for (size_t i = 1; i <= in.size(); ++i) {
    if (i < in.size()) {
      auto it = dict.find({w, uint8_t(in[i])});
      if (it != dict.end()) {
        w = it->second;
        continue;
      }
    }
    emit(w);
    if (i == in.size()) break;
    // The decoder makes the entry (w, next byte) when it reads the next
    // code, so a clear sent now comes before that entry on both sides.
    if (partialClear && nextFree >= kCodes) {
      bw.Put(256, codeSize);
      bw.Put(2, codeSize);
      std::vector<bool> hasChild(kCodes, false);
      for (int c = 257; c < kCodes; ++c)
        if (prefix[size_t(c)] > 256) hasChild[size_t(prefix[size_t(c)])] = true;
      for (int c = 257; c < kCodes; ++c)
        if (prefix[size_t(c)] != -1 && !hasChild[size_t(c)]) {
          dict.erase({prefix[size_t(c)], suffix[size_t(c)]});
          prefix[size_t(c)] = -1;
        }
      nextFree = 257;
      while (nextFree < kCodes && prefix[size_t(nextFree)] != -1) ++nextFree;
    }
    add(w, uint8_t(in[i]));
    w = uint8_t(in[i]);
  }
  return bw.Finish();
}

// ---------------------------------------------------------------- reduce

std::string ReduceEncode(const std::string& in, int factor, bool followerSets) {
  const unsigned mask = 0xFFu >> factor;
  const size_t maxDist = size_t(256) << factor;
  const size_t maxLen = mask + 255 + 3;
  // The byte sequence of the expander: literals, 90 00, and 90 V [L] D.
  std::vector<uint8_t> seq;
  for (size_t i = 0; i < in.size();) {
    size_t bestLen = 0, bestDist = 0;
    for (size_t d = 1; d <= maxDist && d <= i; ++d) {
      size_t l = 0;
      while (l < maxLen && i + l < in.size() && in[i + l] == in[i + l - d]) ++l;
      // V = 0 would mean a literal 0x90: a match of length 3 needs a far
      // distance.
      if (l >= 3 && l > bestLen && !(l == 3 && d <= 256)) {
        bestLen = l;
        bestDist = d;
      }
    }
    if (bestLen >= 3) {
      const unsigned dd = unsigned(bestDist - 1), hi = dd >> 8, lo = dd & 0xFF;
      const unsigned l = unsigned(bestLen - 3);
      seq.push_back(0x90);
      if (l < mask) {
        seq.push_back(uint8_t((hi << (8 - factor)) | l));
      } else {
        seq.push_back(uint8_t((hi << (8 - factor)) | mask));
        seq.push_back(uint8_t(l - mask));
      }
      seq.push_back(uint8_t(lo));
      i += bestLen;
    } else {
      const uint8_t c = uint8_t(in[i++]);
      seq.push_back(c);
      if (c == 0x90) seq.push_back(0);
    }
  }
  // Follower sets: the most frequent successors of each byte, at most 32.
  std::vector<std::vector<uint8_t>> sets(256);
  if (followerSets) {
    std::vector<std::map<uint8_t, int>> freq(256);
    uint8_t last = 0;
    for (uint8_t c : seq) {
      ++freq[last][c];
      last = c;
    }
    for (int x = 0; x < 256; ++x) {
      std::vector<std::pair<int, uint8_t>> v;
      for (auto& [c, n] : freq[size_t(x)]) v.push_back({-n, c});
      std::sort(v.begin(), v.end());
      for (size_t k = 0; k < v.size() && k < 32; ++k) sets[size_t(x)].push_back(v[k].second);
    }
  }
  BitWriter bw;
  for (int x = 255; x >= 0; --x) {
    bw.Put(uint32_t(sets[size_t(x)].size()), 6);
    for (uint8_t c : sets[size_t(x)]) bw.Put(c, 8);
  }
  auto bitsFor = [](size_t n) {
    int b = 1;
    while ((size_t(1) << b) < n) ++b;
    return b;
  };
  uint8_t last = 0;
  for (uint8_t c : seq) {
    const auto& s = sets[last];
    if (s.empty()) {
      bw.Put(c, 8);
    } else {
      auto it = std::find(s.begin(), s.end(), c);
      if (it == s.end()) {
        bw.Put(1, 1);
        bw.Put(c, 8);
      } else {
        bw.Put(0, 1);
        bw.Put(uint32_t(it - s.begin()), bitsFor(s.size()));
      }
    }
    last = c;
  }
  return bw.Finish();
}

// ---------------------------------------------------------------- implode

namespace {

struct SfTree {
  std::vector<uint8_t> lens;
  std::vector<uint16_t> codes;  // most significant bit first, lens[i] bits
};

// Codes from bit lengths: lengths sorted ascending (stable); from the last
// one back, the code grows by 1 << (16 - length).
SfTree MakeTree(const std::vector<uint8_t>& lens) {
  SfTree t;
  t.lens = lens;
  t.codes.assign(lens.size(), 0);
  std::vector<size_t> order(lens.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return lens[a] < lens[b]; });
  uint32_t code = 0, inc = 0;
  unsigned last = 0;
  for (size_t i = order.size(); i-- > 0;) {
    code += inc;
    const unsigned len = lens[order[i]];
    if (len != last) {
      last = len;
      inc = 1u << (16 - len);
    }
    t.codes[order[i]] = uint16_t(code >> (16 - len));
  }
  return t;
}

void PutTree(BitWriter& bw, const std::vector<uint8_t>& lens) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < lens.size();) {
    size_t n = 1;
    while (i + n < lens.size() && lens[i + n] == lens[i] && n < 16) ++n;
    bytes.push_back(uint8_t(((n - 1) << 4) | (lens[i] - 1)));
    i += n;
  }
  bw.Put(uint32_t(bytes.size() - 1), 8);
  for (uint8_t b : bytes) bw.Put(b, 8);
}

}  // namespace

std::string ImplodeEncode(const std::string& in, bool bigDict, bool literalTree) {
  // Literal tree: 96..127 seven bits, 192..255 nine bits, the rest eight.
  std::vector<uint8_t> litLens(256, 8);
  for (int i = 96; i < 128; ++i) litLens[size_t(i)] = 7;
  for (int i = 192; i < 256; ++i) litLens[size_t(i)] = 9;
  // Length tree: 0..1 three bits, 2..35 six, 36..63 seven.
  std::vector<uint8_t> lenLens(64, 7);
  lenLens[0] = lenLens[1] = 3;
  for (int i = 2; i < 36; ++i) lenLens[size_t(i)] = 6;
  // Distance tree: 0 one bit, 1 six bits, 2..63 seven.
  std::vector<uint8_t> distLens(64, 7);
  distLens[0] = 1;
  distLens[1] = 6;
  const SfTree lit = MakeTree(litLens), len = MakeTree(lenLens), dist = MakeTree(distLens);
  BitWriter bw;
  if (literalTree) PutTree(bw, litLens);
  PutTree(bw, lenLens);
  PutTree(bw, distLens);
  const unsigned lowBits = bigDict ? 7 : 6;
  const size_t window = bigDict ? 8192 : 4096;
  const size_t minMatch = literalTree ? 3 : 2;
  const size_t maxLen = 63 + minMatch + 255;
  auto at = [&](int64_t p) { return p < 0 ? '\0' : in[size_t(p)]; };  // zeros before the start
  for (size_t i = 0; i < in.size();) {
    size_t bestLen = 0, bestDist = 0;
    for (size_t d = 1; d <= window; ++d) {
      size_t l = 0;
      while (l < maxLen && i + l < in.size() && in[i + l] == at(int64_t(i + l) - int64_t(d))) ++l;
      if (l > bestLen) {
        bestLen = l;
        bestDist = d;
      }
      if (d > i + 64 && bestLen >= minMatch) break;  // far enough into the zeros
    }
    if (bestLen >= minMatch) {
      const unsigned dd = unsigned(bestDist - 1);
      bw.Put(0, 1);
      bw.Put(dd & ((1u << lowBits) - 1), int(lowBits));
      const unsigned hi = dd >> lowBits;
      bw.PutCode(dist.codes[hi], dist.lens[hi]);
      const unsigned l = unsigned(bestLen - minMatch);
      if (l >= 63) {
        bw.PutCode(len.codes[63], len.lens[63]);
        bw.Put(l - 63, 8);
      } else {
        bw.PutCode(len.codes[l], len.lens[l]);
      }
      i += bestLen;
    } else {
      const uint8_t c = uint8_t(in[i++]);
      bw.Put(1, 1);
      if (literalTree)
        bw.PutCode(lit.codes[c], lit.lens[c]);
      else
        bw.Put(c, 8);
    }
  }
  return bw.Finish();
}

// ---------------------------------------------------------------- executables

std::string BuildDosStub(size_t size) {
  std::string s(size, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  const size_t cblp = size % 512, cp = size / 512 + (cblp ? 1 : 0);
  s[2] = char(cblp & 0xFF);
  s[3] = char(cblp >> 8);
  s[4] = char(cp & 0xFF);
  s[5] = char(cp >> 8);
  return s;
}

std::string BuildPeWithStrings(const std::vector<std::string>& strings, size_t padTo) {
  std::string s(0x200, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  s[4] = 1;  // one page: the DOS image ends at 0 + last-page bytes
  s[0x3C] = 0x40;
  std::string pe = "PE";
  pe += '\0';
  pe += '\0';
  Put16(pe, {0x14C, 1});  // i386, one section
  Put32(pe, {0, 0, 0});
  Put16(pe, {224, 0x0102});  // optional header size, flags
  std::string opt(224, '\0');
  opt[0] = 0x0B;
  opt[1] = 0x01;
  opt[92] = 16;  // data directories
  // The string table block 1 (strings 0..15).
  std::string table;
  for (int i = 0; i < 16; ++i) {
    const std::string t = i >= 1 && size_t(i) <= strings.size() ? strings[size_t(i - 1)] : "";
    Put16(table, uint32_t(t.size()));
    for (char c : t) Put16(table, uint8_t(c));
  }
  std::string rsrc;
  auto dir = [&](uint32_t id, uint32_t target) {
    Put32(rsrc, {0, 0});
    Put16(rsrc, {0, 0, 0, 1});  // no named entries, one id entry
    Put32(rsrc, {id, target});
  };
  dir(6, 0x80000000u | 0x18);
  dir(1, 0x80000000u | 0x30);
  dir(0x409, 0x48);
  Put32(rsrc, {0x1000 + 0x58, uint32_t(table.size()), 0, 0});
  rsrc.resize(0x58, '\0');
  rsrc += table;
  // Resource directory entry (index 2) of the data directories.
  std::string dd;
  Put32(dd, {0x1000, uint32_t(rsrc.size())});
  opt.replace(96 + 16, 8, dd);
  std::string sec(".rsrc\0\0\0", 8);
  Put32(sec, {uint32_t(rsrc.size()), 0x1000, uint32_t(rsrc.size()), 0x200});
  sec.resize(40, '\0');
  const std::string head = pe + opt + sec;
  s.replace(0x40, head.size(), head);
  s += rsrc;
  if (s.size() < padTo) s.resize(padTo, '\0');
  return s;
}

// ---------------------------------------------------------------- files

std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream f(path, std::ios::binary);
  f << bytes;
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string SampleText(size_t size, unsigned seed) {
  static const char* const words[] = {"echo",   "mail",   "point", "node",    "zone",
                                      "packet", "tosser", "area",  "netmail", "FidoNet",
                                      "bundle", "uplink", "\n"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) {
    s += words[rng() % 13];
    s += rng() % 5 ? ' ' : '\n';
    if (rng() % 97 == 0) s += char(0x90);  // the reduce escape byte, now and then
  }
  s.resize(size);
  return s;
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = char(rng() & 0xFF);
  return s;
}

std::string FidoPacket(size_t size, unsigned seed) {
  std::string p(58, '\0');
  const uint8_t header[] = {0xD2, 0x04, 0x39, 0x30, 0xEA, 0x07, 0x0B, 0x00, 0x07, 0x00,
                            0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00};
  std::copy(std::begin(header), std::end(header), p.begin());
  std::mt19937 rng(seed);
  while (p.size() < size) {
    std::string m("\x02\x00\xD2\x04\x39\x30\xF4\x00\x14\x00\x01\x00\x00\x00", 14);
    m += std::string("07 Dec 26  22:30:00", 19) + '\0';
    m += std::string("Ivan Petrov") + '\0' + "Sysop" + '\0' + "Re: the bundle" + '\0';
    std::string text = "AREA:RU.FIDO\r\x01MSGID: 2:5020/1234.5 " + std::to_string(rng()) + "\r" +
                       SampleText(200 + rng() % 3000, rng());
    std::replace(text.begin(), text.end(), '\n', '\r');
    std::replace(text.begin(), text.end(), '\0', ' ');
    m += text + "\r--- Velmaris\r" + '\0';
    p += m;
  }
  return p + std::string(2, '\0');
}

std::string Base64Text(size_t size, unsigned seed) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string in = RandomBytes(size / 4 * 3, seed);
  std::string out;
  int column = 0;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(in[i])) << 16;
    if (i + 1 < in.size()) v |= uint32_t(uint8_t(in[i + 1])) << 8;
    if (i + 2 < in.size()) v |= uint8_t(in[i + 2]);
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += i + 1 < in.size() ? kDigits[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kDigits[v & 63] : '=';
    if ((column += 4) == 76) {
      out += '\r';
      column = 0;
    }
  }
  return out;
}

bool HaveTool(const std::string& name) {
  return RunShell("command -v " + name + " >/dev/null 2>&1") == 0;
}

std::string Sh(const std::string& s) { return ShellQuote(s); }

int MakeEncryptedZip(const std::string& command, const std::string& zipPath,
                     const std::vector<std::string>& wrongPasswords) {
  int status = -1;
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::remove(zipPath.c_str());
    status = RunShell(command);
    if (status != 0) return status;
    const std::string z = ReadFileBytes(zipPath);
    if (z.size() < 30) return status;
    const auto* p = reinterpret_cast<const uint8_t*>(z.data());
    const uint32_t flags = GetLE16(p + 6), time = GetLE16(p + 10), crc = GetLE32(p + 14);
    const size_t data = 30 + GetLE16(p + 26) + GetLE16(p + 28);
    if (!(flags & 1) || z.size() < data + 12) return status;
    bool chance = false;
    for (const auto& pw : wrongPasswords) {
      TZipCrypt c;
      chance = chance || ZipCheckHeader(c, pw, p + data, flags, time, crc);
    }
    if (!chance) return status;
  }
  return status;
}

}  // namespace velmaris::test
