// The streamed form of a tree's nodes (the tree view's "Data" property),
// little-endian: a u32 count of top-level nodes, then every node in
// pre-order as a u32 record size S (80 + text length) and S bytes:
//    0  4  ImageIndex        25  4  Color          41 32  font name (length byte + 31)
//    4  4  SelectedIndex     29  1  ParentColor    73  2  reserved (zero)
//    8  4  StateIndex        30  1  ParentFont     75  4  font colour
//   12  4  OverlayIndex      31  4  reserved       79 1+n text (length byte + n)
//   16  1  Checked           35  4  font height
//   17  4  Data              39  1  font pitch
//   21  4  child count       40  1  font style set
// The children of a node follow its record. Texts are cut to 255 bytes,
// font names to 31. Reading checks every size and count against the bytes
// left and raises ETreeStreamError on damage.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmaris {

class ETreeStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TTreeStreamNode {
  int32_t imageIndex = -1, selectedIndex = -1, stateIndex = -1, overlayIndex = -1;
  bool checked = false;
  uint32_t data = 0;
  uint32_t color = 0;
  bool parentColor = true, parentFont = true;
  int32_t fontHeight = 0;
  uint8_t fontPitch = 0, fontStyle = 0;
  std::string fontName;
  uint32_t fontColor = 0;
  std::string text;
  std::vector<TTreeStreamNode> children;
  bool operator==(const TTreeStreamNode&) const = default;
};

std::string EncodeTreeNodes(const std::vector<TTreeStreamNode>& roots);
std::vector<TTreeStreamNode> DecodeTreeNodes(const std::string& bytes);

}  // namespace velmaris
