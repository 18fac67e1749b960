#include "widgets/logic/TreeStream.h"

#include "core/ByteOrder.h"

namespace velmaris {

namespace {

constexpr size_t kFixed = 80;       // a record without its text
constexpr size_t kMaxDepth = 4096;  // deeper nesting is a damaged stream

void PutShortString(std::string& out, const std::string& s, size_t max, size_t width) {
  const size_t n = std::min(s.size(), max);
  out += static_cast<char>(n);
  out.append(s, 0, n);
  out.append(width - 1 - n, '\0');
}

void EncodeNode(std::string& out, const TTreeStreamNode& n) {
  const size_t textLen = std::min<size_t>(n.text.size(), 255);
  AppendLE32(out, static_cast<uint32_t>(kFixed + textLen));
  AppendLE32(out, static_cast<uint32_t>(n.imageIndex));
  AppendLE32(out, static_cast<uint32_t>(n.selectedIndex));
  AppendLE32(out, static_cast<uint32_t>(n.stateIndex));
  AppendLE32(out, static_cast<uint32_t>(n.overlayIndex));
  out += static_cast<char>(n.checked ? 1 : 0);
  AppendLE32(out, n.data);
  AppendLE32(out, static_cast<uint32_t>(n.children.size()));
  AppendLE32(out, n.color);
  out += static_cast<char>(n.parentColor ? 1 : 0);
  out += static_cast<char>(n.parentFont ? 1 : 0);
  AppendLE32(out, 0);
  AppendLE32(out, static_cast<uint32_t>(n.fontHeight));
  out += static_cast<char>(n.fontPitch);
  out += static_cast<char>(n.fontStyle);
  PutShortString(out, n.fontName, 31, 32);
  AppendLE16(out, 0);
  AppendLE32(out, n.fontColor);
  PutShortString(out, n.text, 255, textLen + 1);
  for (const TTreeStreamNode& c : n.children) EncodeNode(out, c);
}

class Reader {
 public:
  explicit Reader(const std::string& bytes)
      : p_(reinterpret_cast<const uint8_t*>(bytes.data())), size_(bytes.size()) {}

  uint32_t Get32() {
    Need(4);
    const uint32_t v = GetLE32(p_ + pos_);
    pos_ += 4;
    return v;
  }
  size_t Left() const { return size_ - pos_; }

  TTreeStreamNode Node(size_t depth) {
    if (depth > kMaxDepth) throw ETreeStreamError("Tree nodes nested too deep");
    const uint32_t size = Get32();
    if (size < kFixed) throw ETreeStreamError("Tree node record too short");
    Need(size);
    const uint8_t* r = p_ + pos_;
    TTreeStreamNode n;
    n.imageIndex = static_cast<int32_t>(GetLE32(r + 0));
    n.selectedIndex = static_cast<int32_t>(GetLE32(r + 4));
    n.stateIndex = static_cast<int32_t>(GetLE32(r + 8));
    n.overlayIndex = static_cast<int32_t>(GetLE32(r + 12));
    n.checked = r[16] != 0;
    n.data = GetLE32(r + 17);
    const uint32_t children = GetLE32(r + 21);
    n.color = GetLE32(r + 25);
    n.parentColor = r[29] != 0;
    n.parentFont = r[30] != 0;
    n.fontHeight = static_cast<int32_t>(GetLE32(r + 35));
    n.fontPitch = r[39];
    n.fontStyle = r[40];
    n.fontName.assign(reinterpret_cast<const char*>(r + 42), std::min<size_t>(r[41], 31));
    n.fontColor = GetLE32(r + 75);
    const size_t textLen = r[79];
    if (kFixed + textLen > size) throw ETreeStreamError("Tree node text runs past its record");
    n.text.assign(reinterpret_cast<const char*>(r + 80), textLen);
    pos_ += size;
    // Every child needs at least a size and a record.
    if (children > Left() / (4 + kFixed))
      throw ETreeStreamError("Tree node child count exceeds the stream");
    n.children.reserve(children);
    for (uint32_t i = 0; i < children; ++i) n.children.push_back(Node(depth + 1));
    return n;
  }

 private:
  void Need(size_t n) const {
    if (n > Left()) throw ETreeStreamError("Tree node stream ends early");
  }
  const uint8_t* p_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

std::string EncodeTreeNodes(const std::vector<TTreeStreamNode>& roots) {
  std::string out;
  AppendLE32(out, static_cast<uint32_t>(roots.size()));
  for (const TTreeStreamNode& n : roots) EncodeNode(out, n);
  return out;
}

std::vector<TTreeStreamNode> DecodeTreeNodes(const std::string& bytes) {
  Reader r(bytes);
  const uint32_t count = r.Get32();
  if (count > r.Left() / (4 + kFixed)) throw ETreeStreamError("Tree node count exceeds the stream");
  std::vector<TTreeStreamNode> out;
  out.reserve(count);
  for (uint32_t i = 0; i < count; ++i) out.push_back(r.Node(0));
  return out;
}

}  // namespace velmaris
