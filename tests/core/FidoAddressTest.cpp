#include "core/FidoAddress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace velmaris::test {
namespace {

const TFidoAddr kPreset{9, 9, 9, 9};

struct ParseCase {
  const char* text;
  bool parses;
  TFidoAddr want;  // when it parses
};

const ParseCase kParseCases[] = {
    {"2:5020/1", true, {2, 5020, 1, 0}},
    {"2:5020/1.7", true, {2, 5020, 1, 7}},
    {"2:5020/1.0", true, {2, 5020, 1, 0}},
    {"2:5020/1 and more text", true, {2, 5020, 1, 0}},
    {"2:5020/1@fidonet", true, {2, 5020, 1, 0}},
    {"2:5020/1.7@fidonet", true, {2, 5020, 1, 7}},
    {"2:5020/1.7.9", true, {2, 5020, 1, 7}},
    {"0:0/0", true, {0, 0, 0, 0}},
    {"002:05020/0001.007", true, {2, 5020, 1, 7}},
    {"65535:65535/65535.65535", true, {65535, 65535, 65535, 65535}},
    {"2:5020/1.", false, {}},
    {"2:5020/1.x", false, {}},
    {"2:5020", false, {}},
    {"2:5020/", false, {}},
    {"5020/1", false, {}},
    {" 2:5020/1", false, {}},
    {"2 :5020/1", false, {}},
    {"2: 5020/1", false, {}},
    {"2:5020/ 1", false, {}},
    {"", false, {}},
    {":5020/1", false, {}},
    {"2:/1", false, {}},
    {"z2:5020/1", false, {}},
    {"-2:5020/1", false, {}},
    // Numbers above 16 bits are refused instead of being cut to 16 bits.
    {"65536:5020/1", false, {}},
    {"2:70000/1", false, {}},
    {"2:5020/65536", false, {}},
    {"2:5020/1.65536", false, {}},
    {"2:5020/1.99999999999999999999", false, {}},
};

TEST(FidoAddressTest, ParseTable) {
  for (const auto& c : kParseCases) {
    SCOPED_TRACE(c.text);
    TFidoAddr a = kPreset;
    StrToFidoAddress(c.text, a);
    EXPECT_EQ(a, c.parses ? c.want : kPreset);
    EXPECT_EQ(ParseFidoAddress(c.text).has_value(), c.parses);
  }
}

TEST(FidoAddressTest, Ordering) {
  // Each address sorts strictly after the one before it.
  const std::vector<TFidoAddr> sorted = {
      {0, 0, 0, 0},    {1, 65535, 65535, 65535}, {2, 0, 0, 0},    {2, 5020, 0, 0}, {2, 5020, 1, 0},
      {2, 5020, 1, 1}, {2, 5020, 1, 65535},      {2, 5020, 2, 0}, {2, 5021, 0, 0}, {3, 0, 0, 0},
  };
  for (std::size_t i = 0; i < sorted.size(); ++i)
    for (std::size_t j = 0; j < sorted.size(); ++j) {
      SCOPED_TRACE(FidoAddressToStr(sorted[i]) + " vs " + FidoAddressToStr(sorted[j]));
      EXPECT_EQ(FidoAddressGreater(sorted[i], sorted[j]), i > j);
      EXPECT_EQ(SameFidoAddress(sorted[i], sorted[j]), i == j);
      EXPECT_EQ(sorted[i] < sorted[j], i < j);
    }
  std::vector<TFidoAddr> shuffled(sorted.rbegin(), sorted.rend());
  std::sort(shuffled.begin(), shuffled.end());
  EXPECT_EQ(shuffled, sorted);
}

TEST(FidoAddressTest, RecordBytes) {
  std::uint8_t buf[kFidoAddrRecordSize + 1] = {};
  buf[kFidoAddrRecordSize] = 0xEE;
  const TFidoAddr a{2, 5020, 0x1234, 0xFFFE};
  EncodeFidoAddr(a, buf);
  const std::uint8_t want[] = {0x02, 0x00, 0x9C, 0x13, 0x34, 0x12, 0xFE, 0xFF, 0xEE};
  EXPECT_TRUE(std::equal(std::begin(want), std::end(want), buf));
  EXPECT_EQ(DecodeFidoAddr(buf), a);
}

struct Recorder {
  std::vector<std::string> texts;  // Text4D seen by each event
  void Attach(TFidonetAddress& f) {
    f.OnChange = [this](TFidonetAddress& sender) { texts.push_back(sender.Text4D()); };
  }
};

TEST(FidonetAddressTest, SetTextAndEvents) {
  TFidonetAddress f;
  Recorder r;
  r.Attach(f);

  f.SetText("2:5020/1.7");
  EXPECT_EQ(f.Address(), (TFidoAddr{2, 5020, 1, 7}));
  EXPECT_EQ(f.Text3D(), "2:5020/1");
  EXPECT_EQ(f.Text4D(), "2:5020/1.7");
  EXPECT_EQ(f.GetText(), "2:5020/1.7");

  f.SetText("2:5020/1.7");  // same as Text4D: nothing happens
  EXPECT_EQ(r.texts.size(), 1u);

  f.SetText("rubbish");  // fires, texts rewritten from the kept address
  EXPECT_EQ(f.Address(), (TFidoAddr{2, 5020, 1, 7}));
  EXPECT_EQ(r.texts.size(), 2u);
  EXPECT_EQ(f.Text4D(), "2:5020/1.7");

  f.SetText("2:5020/1.0");  // differs from Text4D as text, same meaning as point 0
  EXPECT_EQ(f.Address(), (TFidoAddr{2, 5020, 1, 0}));
  EXPECT_EQ(f.Text4D(), "2:5020/1");
  EXPECT_EQ(f.Text3D(), "2:5020/1");

  EXPECT_EQ(r.texts, (std::vector<std::string>{"2:5020/1.7", "2:5020/1.7", "2:5020/1"}));
}

TEST(FidonetAddressTest, SettersFireOnlyOnChange) {
  TFidonetAddress f;
  Recorder r;
  r.Attach(f);

  f.SetAddress(TFidoAddr{});  // equal: no event
  f.SetPoint(0);
  EXPECT_TRUE(r.texts.empty());

  f.SetAddress(TFidoAddr{2, 5020, 1, 0});
  f.SetAddress(TFidoAddr{2, 5020, 1, 0});
  f.SetPoint(3);
  f.SetPoint(3);
  EXPECT_TRUE(f.IsEqual(TFidoAddr{2, 5020, 1, 3}));
  f.Clear();
  f.Clear();  // Clear always fires
  EXPECT_EQ(r.texts, (std::vector<std::string>{"2:5020/1", "2:5020/1.3", "0:0/0", "0:0/0"}));
  EXPECT_EQ(f.GetText(), "");
}

}  // namespace
}  // namespace velmaris::test
