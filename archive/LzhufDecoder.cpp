#include "archive/LzhufDecoder.h"

#include <cstring>

namespace velmaris {

namespace {

constexpr int kWindow = 4096;
constexpr int kMaxMatch = 60;
constexpr int kThreshold = 2;

// The fixed code of the upper six position bits, grouped by length: one
// value of 3 bits, three of 4, eight of 5, twelve of 6, twenty-four of 7
// and sixteen of 8. Codes are canonical (value order within each length).
struct TPositionCode {
  uint8_t upper[256];  // by the first 8 bits of the code
  uint8_t length[256];
  TPositionCode() {
    static const int counts[] = {1, 3, 8, 12, 24, 16};
    int value = 0, index = 0;
    for (int l = 3; l <= 8; ++l) {
      for (int k = 0; k < counts[l - 3]; ++k, ++value) {
        for (int r = 0; r < (1 << (8 - l)); ++r, ++index) {
          upper[index] = static_cast<uint8_t>(value);
          length[index] = static_cast<uint8_t>(l);
        }
      }
    }
  }
};

const TPositionCode& PositionCode() {
  static const TPositionCode code;
  return code;
}

}  // namespace

int LzhufPositionCodeLength(int upper) {
  static const int counts[] = {1, 3, 8, 12, 24, 16};
  int first = 0;
  for (int l = 3; l <= 8; ++l) {
    if (upper < first + counts[l - 3]) return l;
    first += counts[l - 3];
  }
  return 0;
}

TLzhufTree::TLzhufTree() {
  for (int i = 0; i < kSymbols; ++i) {
    Freq[i] = 1;
    Son[i] = static_cast<uint16_t>(i + kNodes);
    Parent[i + kNodes] = static_cast<uint16_t>(i);
  }
  for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
    Freq[j] = static_cast<uint16_t>(Freq[i] + Freq[i + 1]);
    Son[j] = static_cast<uint16_t>(i);
    Parent[i] = Parent[i + 1] = static_cast<uint16_t>(j);
  }
  Freq[kNodes] = 0xFFFF;  // sentinel that ends the sibling search
  Parent[kRoot] = 0;
}

// Halves every leaf frequency and builds the internal nodes anew, keeping
// the nodes ordered by frequency.
void TLzhufTree::Rebuild() {
  int j = 0;
  for (int i = 0; i < kNodes; ++i) {
    if (Son[i] >= kNodes) {
      Freq[j] = static_cast<uint16_t>((Freq[i] + 1) / 2);
      Son[j] = Son[i];
      ++j;
    }
  }
  for (int i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
    const uint16_t f = static_cast<uint16_t>(Freq[i] + Freq[i + 1]);
    int k = n - 1;
    while (f < Freq[k]) --k;
    ++k;
    std::memmove(&Freq[k + 1], &Freq[k], sizeof(uint16_t) * static_cast<size_t>(n - k));
    Freq[k] = f;
    std::memmove(&Son[k + 1], &Son[k], sizeof(uint16_t) * static_cast<size_t>(n - k));
    Son[k] = static_cast<uint16_t>(i);
  }
  for (int i = 0; i < kNodes; ++i) {
    const int k = Son[i];
    if (k >= kNodes) {
      Parent[k] = static_cast<uint16_t>(i);
    } else {
      Parent[k] = Parent[k + 1] = static_cast<uint16_t>(i);
    }
  }
}

void TLzhufTree::Update(int symbol) {
  if (Freq[kRoot] == kMaxFreq) Rebuild();
  int c = Parent[symbol + kNodes];
  do {
    const uint16_t k = ++Freq[c];
    int l = c + 1;
    if (k > Freq[l]) {
      // Move the node past every following node of lower frequency.
      while (k > Freq[++l]) {
      }
      --l;
      Freq[c] = Freq[l];
      Freq[l] = k;
      const int i = Son[c];
      Parent[i] = static_cast<uint16_t>(l);
      if (i < kNodes) Parent[i + 1] = static_cast<uint16_t>(l);
      const int j = Son[l];
      Son[l] = static_cast<uint16_t>(i);
      Parent[j] = static_cast<uint16_t>(c);
      if (j < kNodes) Parent[j + 1] = static_cast<uint16_t>(c);
      Son[c] = static_cast<uint16_t>(j);
      c = l;
    }
    c = Parent[c];
  } while (c != 0);
}

void TLzhufDecoder::Decode(TLzhSource& in, TLzhSink& out, uint64_t size,
                           const TLzhCancelCheck& cancel) {
  TLzhCancelSink sink(out, cancel);
  TLzhBitReader br(in);
  TLzhWindow win(13, sink);
  win.Preset(kWindow, ' ');
  TLzhufTree tree;
  const TPositionCode& pos = PositionCode();
  while (win.Produced() < size && !sink.Cancelled) {
    // Walk from the root to a leaf, one bit per level. The tree is built
    // here, never read from the input, so every walk ends at a leaf within
    // its depth.
    int c = tree.Son[TLzhufTree::kRoot];
    int depth = 0;
    while (c < TLzhufTree::kNodes) {
      c = tree.Son[c + static_cast<int>(br.Get(1))];
      if (++depth > TLzhufTree::kNodes) throw ELzhData(kLzhBadHuffmanCode, "adaptive tree broken");
    }
    c -= TLzhufTree::kNodes;
    tree.Update(c);
    if (c < 256) {
      win.Put(static_cast<uint8_t>(c));
      continue;
    }
    const uint64_t len = static_cast<uint64_t>(c - 256 + kThreshold + 1);
    br.Need(16);
    const uint32_t first = br.Peek(8);
    const int l = pos.length[first];
    // l bits of code and 6 plain bits.
    const uint32_t bits = br.Get(l + 6);
    const uint32_t dist = ((static_cast<uint32_t>(pos.upper[first]) << 6) | (bits & 0x3F)) + 1;
    if (len > kMaxMatch || len > size - win.Produced())
      throw ELzhData(kLzhBadHuffmanCode, "match runs past the end of the file");
    if (!win.Copy(dist, len))
      throw ELzhData(kLzhBadHuffmanCode, "match reaches before the start of the window");
  }
  win.Flush();
}

}  // namespace velmaris
