// Which packer claims a file: signatures with offsets and wildcards, list
// order, files that cannot be read; which unpack commands name an integrated
// extractor.
#include <gtest/gtest.h>

#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/Packer.h"
#include "archive/Unpacker.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

constexpr int32_t X = -1;

struct Entry {
  const char* name;
  int32_t offset;
  std::array<int32_t, 8> sig;
};

// Fills the list: an entry named "std" adds the five standard packers there.
void Fill(TPckList& list, const std::vector<Entry>& entries) {
  for (const auto& s : entries) {
    if (std::string(s.name) == "std") {
      for (const auto& standard : StandardPackers())
        list.AddPacker(standard.name, MakeStandardPacker(standard));
      continue;
    }
    auto p = std::make_unique<TPacker>();
    p->Offset = s.offset;
    for (int i = 0; i < 8; ++i) p->SetSignature(i, s.sig[size_t(i)]);
    list.AddPacker(s.name, std::move(p));
  }
}

std::string Bytes(std::initializer_list<int> b, size_t padTo = 0) {
  std::string s;
  for (int c : b) s.push_back(char(c));
  if (s.size() < padTo) s.resize(padTo, '\0');
  return s;
}

TEST(PackerSignature, FirstMatchingPackerInListOrder) {
  const Entry std_{"std", 0, {}};
  const Entry any{"Any", 0, {X, X, X, X, X, X, X, X}};
  const Entry at10{"At10", 10, {'A', 'B', 'C', 'D', X, X, X, X}};
  const Entry at2048{"At2048", 2048, {'Z', X, X, X, X, X, X, X}};
  const Entry negative{"Negative", -4, {X, X, X, X, X, X, X, X}};
  const Entry wide{"Wide", 0, {256, X, X, X, X, X, X, X}};
  const std::string tenPad(10, 'x');
  struct Case {
    const char* what;
    std::vector<Entry> packers;
    std::string file;
    const char* winner;  // "" = none
  } cases[] = {
      {"arj header", {std_}, Bytes({0x60, 0xEA, 0x2A, 0}, 40), "ARJ"},
      {"arj, exactly 8 bytes", {std_}, Bytes({0x60, 0xEA}, 8), "ARJ"},
      {"arj, 7 bytes", {std_}, Bytes({0x60, 0xEA}, 7), ""},
      {"empty file", {std_}, "", ""},
      {"zip", {std_}, Bytes({'P', 'K', 3, 4}, 30), "PKZip"},
      {"lha level 0", {std_}, Bytes({0x22, 0, '-', 'l', 'h', '5', '-'}, 30), "LHArc"},
      {"lha, 'z' method", {std_}, Bytes({0x22, 0, '-', 'l', 'z', '4', '-'}, 30), ""},
      {"lha, no closing dash", {std_}, Bytes({0x22, 0, '-', 'l', 'h', '5', 'x'}, 30), ""},
      {"arc", {std_}, Bytes({0x1A, 8, '0'}, 30), "PKArc"},
      {"rar", {std_}, Bytes({'R', 'a', 'r', '!', 0x1A, 7, 0}, 30), "RAR"},
      {"rar, lower case", {std_}, Bytes({'r', 'a', 'r', '!', 0x1A, 7, 0}, 30), ""},
      {"text", {std_}, "just some plain text here", ""},
      {"offset, 8 bytes there", {at10}, tenPad + "ABCD" + "1234", "At10"},
      {"offset, 7 bytes there", {at10}, tenPad + "ABCD" + "123", ""},
      {"offset, other bytes", {at10}, tenPad + "ABCE" + "1234", ""},
      {"largest offset", {at2048}, std::string(2048, 'a') + "Z" + std::string(7, 'b'), "At2048"},
      {"wildcards, 8 bytes", {any}, "12345678", "Any"},
      {"wildcards, 7 bytes", {any}, "1234567", ""},
      {"wildcard first wins", {any, std_}, Bytes({'P', 'K', 3, 4}, 30), "Any"},
      {"wildcard last", {std_, any}, Bytes({'P', 'K', 3, 4}, 30), "PKZip"},
      {"wildcard catches the rest", {std_, any}, "no archive at all", "Any"},
      {"negative offset", {negative}, "12345678abcdefgh", ""},
      {"value beyond a byte", {wide}, Bytes({0}, 8), ""},
  };
  TempDir t;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPckList list;
    Fill(list, c.packers);
    t.Write("f.bin", c.file);
    TPacker* found = list.FindPackerForFile(t / "f.bin");
    if (!*c.winner) {
      EXPECT_EQ(found, nullptr) << list.GetString(list.IndexOf(found));
    } else {
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(list.GetString(list.IndexOf(found)), c.winner);
    }
  }
}

TEST(PackerSignature, FilesThatCannotBeReadMatchNothing) {
  TempDir t;
  TPckList list;
  Fill(list, {{"Any", 0, {X, X, X, X, X, X, X, X}}});
  ASSERT_EQ(::mkfifo((t / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((t / "dir").c_str(), 0700), 0);
  EXPECT_EQ(list.FindPackerForFile(t / "missing"), nullptr);
  EXPECT_EQ(list.FindPackerForFile(t / "dir"), nullptr);
  EXPECT_EQ(list.FindPackerForFile(t / "fifo"), nullptr);  // and does not block
  EXPECT_EQ(list.FindPackerForHandle(-1), nullptr);

  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  ASSERT_EQ(::write(pipeFds[1], "12345678", 8), 8);
  EXPECT_EQ(list.FindPackerForHandle(pipeFds[0]), nullptr);  // no seek on a pipe
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
}

TEST(PackerSignature, TheTestLeavesTheFilePosition) {
  TempDir t;
  t.Write("a.zip", Bytes({'P', 'K', 3, 4}, 64));
  TPckList list;
  Fill(list, {{"std", 0, {}}});
  const int fd = ::open((t / "a.zip").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::lseek(fd, 17, SEEK_SET), 17);
  EXPECT_EQ(list.FindPackerForHandle(fd), list.PackerByName("pkzip"));
  EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 17);
  ::close(fd);
}

TEST(PackerSignature, IntegratedUnpackCommands) {
  struct Case {
    const char* command;
    int kind;
  } cases[] = {
      {"Integrated UnZIP", ekUnZIP},
      {"integrated unzip", ekUnZIP},
      {"INTEGRATED UnRar", ekUnRAR},
      {"  Integrated   UnLHA  ", ekUnLHA},
      {"\"Integrated\" \"UnZIP\"", ekUnZIP},
      {"Integrated UnZIP -x", ekUnZIP},
      {"Integrated UnZIPX", -1},
      {"Integrated Foo", -1},
      {"Integrated", -1},
      {"IntegratedUnZIP", -1},
      {"UnZIP Integrated", -1},
      {"unzip -o -j", -1},
      {"", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    TPacker p;
    p.SetUnPack(c.command);
    EXPECT_EQ(p.IntegratedKind(), c.kind);
    EXPECT_EQ(p.GetLongNameFlags(), c.kind >= 0 ? 4u : 0u);
  }
  // The ready entries of the properties window are all recognised.
  const int kinds[] = {ekUnZIP, ekUnARJ, ekUnARC, ekUnLHA, ekUnRAR};
  ASSERT_EQ(IntegratedUnpackCommands().size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    TPacker p;
    p.SetUnPack(IntegratedUnpackCommands()[i]);
    EXPECT_EQ(p.IntegratedKind(), kinds[i]) << IntegratedUnpackCommands()[i];
  }
}

}  // namespace
}  // namespace velmaris::test
