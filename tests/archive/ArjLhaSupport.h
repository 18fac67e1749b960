// Helpers of the ARJ and LHA tests: sample contents, the shared extraction
// fixture (a sample tree, the batch driver and the reference tools), a bit
// writer for hand-made streams, an -lh1- encoder (the real tools no longer
// write that method) and an LHA level-0 header writer.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ArchiveFixtures.h"
#include "archive/LzhufDecoder.h"
#include "archive/arxBase.h"
#include "support/TempDir.h"

namespace velmaris::test {

// Long runs and repeated blocks, so matches overlap their source.
inline std::string SampleRuns(size_t n) {
  std::string s;
  int i = 0;
  while (s.size() < n) {
    s.append(static_cast<size_t>(1 + (i * 37) % 300), static_cast<char>('A' + i % 26));
    s += RandomBytes(static_cast<size_t>(i % 17), static_cast<uint32_t>(i));
    ++i;
  }
  s.resize(n);
  return s;
}

struct BatchResult {
  int status = 0;
  std::string output;  // stdout and stderr
};

inline BatchResult RunUnpack(const std::string& archive, const std::string& dir,
                             const std::string& extra = "") {
  BatchResult r;
  r.status = RunShell(
      ShellQuote(VELMARIS_BATCH) + " unpack " + Sh(archive) + " " + Sh(dir) + " " + extra + " 2>&1",
      &r.output);
  return r;
}

using Files = std::vector<std::pair<std::string, std::string>>;

// Every regular file below dir, relative name -> contents.
inline Files Tree(const std::string& dir) {
  Files files;
  if (!std::filesystem::exists(dir)) return files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    files.emplace_back(std::filesystem::relative(e.path(), dir).string(),
                       ReadFileBytes(e.path().string()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The sample tree of a suite, made once, with scratch directories beside it.
class ExtractSuite : public ::testing::Test {
 protected:
  static constexpr const char* kSampleNames = "text.txt rand.bin runs.dat empty.txt d1/d2/deep.txt";

  static void SetUpTestSuite() {
    dir_ = new TempDir();
    src_ = dir_->Path() + "src/";
    WriteFileBytes(src_ + "text.txt", SampleText(90000));
    WriteFileBytes(src_ + "rand.bin", RandomBytes(40000));
    WriteFileBytes(src_ + "runs.dat", SampleRuns(120000));
    WriteFileBytes(src_ + "empty.txt", "");
    WriteFileBytes(src_ + "d1/d2/deep.txt", SampleText(5000, 3));
    files_ = Tree(src_);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  // Runs `command ARCHIVE names` in the sample tree once per archive name.
  static std::string Make(const std::string& name, const std::string& command,
                          const std::string& names = kSampleNames) {
    const std::string arc = dir_->Path() + name;
    if (!std::filesystem::exists(arc)) {
      EXPECT_EQ(RunShell("cd " + Sh(src_) + " && " + command + " " + Sh(arc) + " " + names +
                         " >/dev/null 2>&1"),
                0)
          << command;
    }
    return arc;
  }
  // What a reference tool extracts: `command ARCHIVE` run in an empty directory.
  static Files ToolTree(const std::string& arc, const std::string& command) {
    const std::string out = Fresh("tool-" + std::filesystem::path(arc).filename().string());
    std::filesystem::create_directories(out);
    RunShell("cd " + Sh(out) + " && " + command + " " + Sh(arc) + " >/dev/null 2>&1");
    return Tree(out);
  }
  static std::string Fresh(const std::string& name) {
    const std::string out = dir_->Path() + name + "/";
    std::filesystem::remove_all(out);
    return out;
  }
  static std::string Write(const std::string& name, const std::string& bytes) {
    WriteFileBytes(dir_->Path() + name, bytes);
    return dir_->Path() + name;
  }
  // Unpacks into a fresh directory named after the archive; success expected.
  static BatchResult ExpectUnpacked(const std::string& arc, const Files& expected,
                                    const std::string& extra = "") {
    const std::string out = Fresh("out-" + std::filesystem::path(arc).filename().string());
    BatchResult r = RunUnpack(arc, out, extra);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Tree(out), expected);
    return r;
  }
  // Unpacks into a fresh directory; a failure with the code expected, and
  // what is left behind is returned.
  static Files ExpectRefused(const std::string& arc, int code, const std::string& extra = "") {
    const std::string out = Fresh("out-" + std::filesystem::path(arc).filename().string());
    const BatchResult r = RunUnpack(arc, out, extra);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find(std::to_string(code)), std::string::npos) << r.output;
    return Tree(out);
  }
  // Flips bits at several places of the data [begin, end) of an archive of
  // the single file `expected`, and cuts the data short in the middle. Each
  // damage is caught, leaving nothing, or did not touch what the file
  // decodes to (a bit the decoder never reads). Adds to *runs and *caught.
  static void ExpectDamageCaught(const std::string& tag, const std::string& good, size_t begin,
                                 size_t end, const Files& expected, int* runs, int* caught) {
    for (double at : {0.0, 0.001, 0.1, 0.5, 0.9}) {
      for (uint8_t mask : {0x01, 0x80, 0xFF}) {
        SCOPED_TRACE(tag + " at " + std::to_string(at) + " mask " + std::to_string(mask));
        std::string bad = good;
        const size_t pos = begin + static_cast<size_t>(at * static_cast<double>(end - begin - 2));
        bad[pos] = static_cast<char>(bad[pos] ^ mask);
        const std::string arc = Write("bad-" + tag + "-" + std::to_string((*runs)++), bad);
        const std::string out = Fresh("out-bad");
        const BatchResult r = RunUnpack(arc, out);
        if (r.status == 0)
          EXPECT_EQ(Tree(out), expected);
        else
          EXPECT_TRUE(Tree(out).empty()) << r.output;
        *caught += r.status != 0;
      }
    }
    const std::string out = Fresh("out-cut");
    const BatchResult r = RunUnpack(Write("cut-" + tag, good.substr(0, (begin + end) / 2)), out);
    EXPECT_NE(r.status, 0) << tag << ": " << r.output;
    EXPECT_TRUE(Tree(out).empty()) << tag;
  }

  static inline TempDir* dir_ = nullptr;
  static inline std::string src_;
  static inline Files files_;
};

// Most-significant-bit-first bit writer, as the LZH family reads.
class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1));
      if (++n_ == 8) {
        out_ += static_cast<char>(acc_);
        acc_ = 0;
        n_ = 0;
      }
    }
  }
  std::string Finish() {
    if (n_) Put(0, 8 - n_);
    return out_;
  }

 private:
  std::string out_;
  uint8_t acc_ = 0;
  int n_ = 0;
};

// An -lh1- encoder: greedy matches of 3 to 60 bytes within 4096 bytes back
// (also into the blanks the window starts with), the adaptive tree of the
// decoder and the fixed code of the upper position bits.
inline std::string EncodeLh1(const std::string& data) {
  constexpr int kPreset = 4036;  // blanks the encoder may refer to
  std::string buf(kPreset, ' ');
  buf += data;
  BitWriter bw;
  TLzhufTree tree;
  // Canonical codes of the 64 upper position values.
  uint32_t codes[64];
  int lens[64];
  uint32_t code = 0;
  int prev = 3;
  for (int v = 0; v < 64; ++v) {
    lens[v] = LzhufPositionCodeLength(v);
    if (v) code = (code + 1) << (lens[v] - prev);
    prev = lens[v];
    codes[v] = code;
  }
  auto putSymbol = [&](int c) {
    std::vector<int> bits;
    int k = tree.Parent[c + TLzhufTree::kNodes];
    while (k != TLzhufTree::kRoot) {
      const int p = tree.Parent[k];
      bits.push_back(k - tree.Son[p]);
      k = p;
    }
    for (auto it = bits.rbegin(); it != bits.rend(); ++it) bw.Put(static_cast<uint32_t>(*it), 1);
    tree.Update(c);
  };
  // Hash chains over three bytes, at most 64 candidates per position.
  std::vector<int> head(1 << 15, -1), prevPos(buf.size(), -1);
  auto hashAt = [&](size_t p) {
    return ((static_cast<uint8_t>(buf[p]) << 10) ^ (static_cast<uint8_t>(buf[p + 1]) << 5) ^
            static_cast<uint8_t>(buf[p + 2])) &
           0x7FFF;
  };
  auto insert = [&](size_t p) {
    if (p + 3 > buf.size()) return;
    const int h = hashAt(p);
    prevPos[p] = head[h];
    head[h] = static_cast<int>(p);
  };
  for (size_t p = kPreset >= 64 ? kPreset - 64 : 0; p < kPreset; ++p) insert(p);
  size_t i = kPreset;
  while (i < buf.size()) {
    size_t bestLen = 0, bestDist = 0;
    const size_t maxLen = std::min<size_t>(60, buf.size() - i);
    if (maxLen >= 3) {
      int cand = head[hashAt(i)];
      for (int n = 0; cand >= 0 && n < 64; ++n, cand = prevPos[static_cast<size_t>(cand)]) {
        const size_t d = i - static_cast<size_t>(cand);
        if (d > 4096) break;
        size_t l = 0;
        while (l < maxLen && buf[static_cast<size_t>(cand) + l] == buf[i + l]) ++l;
        if (l > bestLen) {
          bestLen = l;
          bestDist = d;
          if (l == maxLen) break;
        }
      }
    }
    if (bestLen >= 3) {
      putSymbol(static_cast<int>(253 + bestLen));
      const uint32_t p = static_cast<uint32_t>(bestDist - 1);
      bw.Put(codes[p >> 6], lens[p >> 6]);
      bw.Put(p & 0x3F, 6);
      for (size_t k = 0; k < bestLen; ++k) insert(i + k);
      i += bestLen;
    } else {
      putSymbol(static_cast<uint8_t>(buf[i]));
      insert(i);
      ++i;
    }
  }
  return bw.Finish();
}

// One LHA level-0 entry (header and data); the end mark is not included.
inline std::string LhaLevel0Entry(const std::string& method, const std::string& name,
                                  const std::string& packed, const std::string& original) {
  std::string h;
  auto le16 = [&](uint32_t v) {
    h += static_cast<char>(v & 0xFF);
    h += static_cast<char>((v >> 8) & 0xFF);
  };
  auto le32 = [&](uint32_t v) {
    le16(v & 0xFFFF);
    le16(v >> 16);
  };
  h += method;
  le32(static_cast<uint32_t>(packed.size()));
  le32(static_cast<uint32_t>(original.size()));
  le32(0x5A8C6000);  // 2025-04-12 12:00
  h += static_cast<char>(0x20);
  h += static_cast<char>(0);
  h += static_cast<char>(name.size());
  h += name;
  le16(Crc16ArcUpdate(0, reinterpret_cast<const uint8_t*>(original.data()), original.size()));
  uint8_t sum = 0;
  for (char c : h) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  std::string entry;
  entry += static_cast<char>(h.size());
  entry += static_cast<char>(sum);
  return entry + h + packed;
}

}  // namespace velmaris::test
