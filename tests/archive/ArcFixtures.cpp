#include "ArcFixtures.h"

#include <filesystem>
#include <map>
#include <random>

#include "archive/ArcDecoders.h"
#include "core/Crc.h"
#include "support/TempDir.h"

namespace velmaris::test {

std::string DataForStored() {
  std::mt19937 rng(7);
  std::string d(3000, '\0');
  for (char& c : d) c = static_cast<char>(rng());
  return d;
}

std::string DataForPacked() {
  // Runs of distinct bytes with distinct lengths: after the run-length
  // coding no pair of bytes repeats, so LZW has nothing to gain.
  std::string d;
  for (int i = 0; i < 60; ++i) d.append(4 + i * 4, static_cast<char>(i * 7 + 3));
  return d;
}

std::string DataForSqueezed() {
  std::mt19937 rng(1);
  const std::string alphabet = "aaaaaaaabbbbccde";
  std::string d;
  while (d.size() < 5000) {
    d += alphabet[rng() % alphabet.size()];
  }
  return d;
}

std::string SqueezedText(size_t size, const std::string& ending) {
  std::mt19937 rng(static_cast<unsigned>(size));
  const std::string alphabet = "\r\r\r\n abcdefghij";
  std::string d;
  while (d.size() < size) d += alphabet[rng() % alphabet.size()];
  return d + ending;
}

std::string DataForCrunched() {
  std::string d;
  for (int i = 0; i < 300; ++i) d += "the quick brown fox jumps over the lazy dog ";
  d += std::string(40, static_cast<char>(0x90)) + "\x90tail";
  return d;
}

std::string DataWithClearCodes(size_t size) {
  // Words from a small vocabulary that is replaced every 60 KB: the tables of the
  // LZW coders fill up, the ratio drops at each change and they clear.
  std::mt19937 rng(11);
  std::string d;
  std::vector<std::string> words;
  size_t nextChange = 0;
  while (d.size() < size) {
    if (d.size() >= nextChange) {
      words.clear();
      for (int i = 0; i < 60; ++i) {
        std::string w;
        const int len = 3 + rng() % 8;
        for (int k = 0; k < len; ++k) w += static_cast<char>('a' + rng() % 26);
        words.push_back(w);
      }
      nextChange = d.size() + 60000;
    }
    d += words[rng() % words.size()];
    d += (rng() % 9 == 0) ? '\n' : ' ';
  }
  d.resize(size);
  return d;
}

std::string RunLengthEncode(const std::string& data) {
  std::string out;
  size_t i = 0;
  while (i < data.size()) {
    const char c = data[i];
    size_t run = 1;
    while (i + run < data.size() && data[i + run] == c && run < 255) ++run;
    if (static_cast<uint8_t>(c) == 0x90) {
      // The marker byte is never repeated: a repeat after 0x90 0x00 stands
      // for the byte before the marker.
      out += "\x90";
      out += '\0';
      run = 1;
    } else if (run >= 3) {
      out += c;
      out += "\x90";
      out += static_cast<char>(run);
    } else {
      run = 1;
      out += c;
    }
    i += run;
  }
  return out;
}

namespace {

// The string table of the old crunch: entries are placed where the hash of
// (predecessor, character) says, collisions chained and moved 101 on.
class CrunchTable {
 public:
  explicit CrunchTable(bool newHash) : newHash_(newHash), used_(4096), next_(4096) {
    for (unsigned c = 0; c < 256; ++c) literal_[c] = Add(0xFFFF, c);
  }
  int Add(unsigned pred, unsigned c) {
    if (count_ >= 4096) return -1;
    unsigned slot;
    if (newHash_) {
      slot = (((pred + c) & 0xFFFF) * 15073u) & 0xFFF;
    } else {
      uint32_t local = ((pred + c) | 0x0800) & 0xFFFF;
      local *= local;
      slot = (local >> 6) & 0xFFF;
    }
    if (used_[slot]) {
      while (next_[slot]) slot = next_[slot];
      unsigned free = (slot + 101) & 0xFFF;
      while (used_[free]) free = (free + 1) & 0xFFF;
      next_[slot] = static_cast<uint16_t>(free);
      slot = free;
    }
    used_[slot] = true;
    next_[slot] = 0;
    codes_[{pred, c}] = static_cast<int>(slot);
    ++count_;
    return static_cast<int>(slot);
  }
  int Find(unsigned pred, unsigned c) const {
    auto it = codes_.find({pred, c});
    return it == codes_.end() ? -1 : it->second;
  }
  int Literal(uint8_t c) const { return literal_[c]; }

 private:
  bool newHash_;
  std::vector<bool> used_;
  std::vector<uint16_t> next_;
  std::map<std::pair<unsigned, unsigned>, int> codes_;
  int literal_[256] = {};
  int count_ = 0;
};

}  // namespace

std::string CrunchEncode(const std::string& data, bool newHash) {
  CrunchTable table(newHash);
  std::vector<int> codes;
  if (!data.empty()) {
    int w = table.Literal(static_cast<uint8_t>(data[0]));
    for (size_t i = 1; i < data.size(); ++i) {
      const unsigned c = static_cast<uint8_t>(data[i]);
      const int wc = table.Find(static_cast<unsigned>(w), c);
      if (wc >= 0) {
        w = wc;
        continue;
      }
      codes.push_back(w);
      table.Add(static_cast<unsigned>(w), c);
      w = table.Literal(static_cast<uint8_t>(c));
    }
    codes.push_back(w);
  }
  std::string out;
  for (size_t i = 0; i < codes.size(); i += 2) {
    const int a = codes[i];
    if (i + 1 < codes.size()) {
      const int b = codes[i + 1];
      out += static_cast<char>(a >> 4);
      out += static_cast<char>(((a & 0xF) << 4) | (b >> 8));
      out += static_cast<char>(b & 0xFF);
    } else {
      out += static_cast<char>(a >> 4);
      out += static_cast<char>((a & 0xF) << 4);
    }
  }
  return out;
}

uint16_t Crc16Of(const std::string& data) { return Crc16ArcUpdate(0, data.data(), data.size()); }

std::string BuildArc(const std::vector<ArcFixtureEntry>& entries, bool endMark) {
  std::string out;
  for (const auto& e : entries) {
    ArcEntryHeader h;
    h.type = e.type;
    h.name = e.name;
    h.packedSize = static_cast<uint32_t>(e.packed.size());
    h.originalSize = static_cast<uint32_t>(e.original.size());
    h.dosDateTime = e.dosDateTime;
    h.crc = static_cast<uint16_t>(Crc16Of(e.original) ^ (e.badCrc ? 0x1234 : 0));
    out += EncodeArcHeader(h);
    if (e.type != kArcDirEnd) out += e.packed;
  }
  if (endMark) out += std::string("\x1A\x00", 2);
  return out;
}

std::string NomarchExtract(const std::string& archive, const std::string& member) {
  std::string out;
  RunShell("nomarch -p '" + archive + "' '" + member + "' 2>/dev/null", &out);
  return out;
}

std::string ArcToolExtract(const std::string& archive, const std::string& member) {
  TempDir dir;
  // arc takes no archive name over 84 characters, nor a long TMPDIR.
  const std::string rel = std::filesystem::path(archive).lexically_relative(dir.Path()).string();
  if (RunShell("cd '" + dir.Path() + "' && TMPDIR=. timeout 60 arc x '" + rel +
               "' >/dev/null 2>&1") != 0)
    return "<arc failed>";
  try {
    return dir.Read(member);
  } catch (const std::exception&) {
    return "<missing>";
  }
}

bool HaveArcTools() {
  return RunShell("command -v arc >/dev/null && command -v nomarch >/dev/null") == 0;
}

}  // namespace velmaris::test
