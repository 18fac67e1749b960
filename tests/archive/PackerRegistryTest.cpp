// The packer list in the registry: round trip, value layout, defaults and
// damaged values; the standard packers.
#include <gtest/gtest.h>

#include "archive/Packer.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

constexpr const char* kRoot = "software\\Brimvale\\Velmaris";
constexpr const char* kPackers = "software\\Brimvale\\Velmaris\\Packers";

std::unique_ptr<TPacker> MakePacker(const std::string& pack, const std::string& unpack,
                                    int32_t offset, std::array<int32_t, 8> sig) {
  auto p = std::make_unique<TPacker>();
  p->SetPack(pack);
  p->SetUnPack(unpack);
  p->Offset = offset;
  for (int i = 0; i < 8; ++i) p->SetSignature(i, sig[size_t(i)]);
  return p;
}

void ExpectSame(const TPckList& a, const TPckList& b) {
  ASSERT_EQ(a.GetCount(), b.GetCount());
  for (int i = 0; i < a.GetCount(); ++i) {
    SCOPED_TRACE(a.GetString(i));
    EXPECT_EQ(a.GetString(i), b.GetString(i));
    const TPacker* x = a.GetPacker(i);
    const TPacker* y = b.GetPacker(i);
    EXPECT_EQ(x->GetPack(), y->GetPack());
    EXPECT_EQ(x->GetUnPack(), y->GetUnPack());
    EXPECT_EQ(x->Offset, y->Offset);
    for (int s = 0; s < 8; ++s) EXPECT_EQ(x->GetSignature(s), y->GetSignature(s)) << s;
  }
}

class PackerRegistry : public ::testing::Test {
 protected:
  TempDir dir;
  std::string file = dir / "Velmaris.reg";
};

TEST_F(PackerRegistry, RoundTripThroughTheFile) {
  TPckList saved;
  saved.AddStandardPackers();
  saved.AddPacker("My \"Zip\"", MakePacker("\"/opt/my zip/zip\" -j", "C:\\TOOLS\\UNZIP.EXE -o",
                                           2048, {0, 255, -1, 0x7F, 0x80, 1, -1, 0}));
  saved.AddPacker("Blank", std::make_unique<TPacker>());
  {
    platform::Registry store(file);
    TWinRegistry reg(kRoot, store);
    saved.SaveToRegistry(reg, "Packers");
    reg.Flush();
  }
  platform::Registry store(file);
  TWinRegistry reg(kRoot, store);
  TPckList loaded;
  loaded.LoadFromRegistry(reg, "Packers");
  ExpectSame(saved, loaded);
  EXPECT_EQ(loaded.GetString(0), "ARJ");
  EXPECT_EQ(loaded.GetString(6), "Blank");
}

// A packer's command line an earlier version stored with a word in the ANSI
// page: read word by word, its quoted program path stays whole and names
// the program; saving it unchanged keeps the stored bytes.
TEST_F(PackerRegistry, AnOlderQuotedCommandLineKeepsItsProgramPath) {
  const std::string program = dir / "Мои архиваторы/zip";
  dir.Write("Мои архиваторы/zip", "#!/bin/sh\n");
  const std::string stored = "\"" + program + "\" -j -q \xD2\xE5\xEA\xF1\xF2";  // "Текст"
  {
    platform::Registry store(file);
    TWinRegistry reg(kRoot, store);
    reg.WriteInteger("Packers", "Count", 1);
    reg.WriteString("Packers\\Packer1", "Name", "ZIP");
    reg.WriteString("Packers\\Packer1", "Pack", stored);
  }
  platform::Registry store(file);
  TWinRegistry reg(kRoot, store);
  TPckList list;
  list.LoadFromRegistry(reg, "Packers");
  ASSERT_EQ(list.GetCount(), 1);
  EXPECT_EQ(list.GetPacker(0)->GetPack(), "\"" + program + "\" -j -q Текст");
  EXPECT_EQ(platform::SplitCommandLine(list.GetPacker(0)->GetPack()).front(), program);
  list.SaveToRegistry(reg, "Packers");
  reg.Flush();
  EXPECT_EQ(platform::Registry(file).ReadString(std::string(kPackers) + "\\Packer1", "Pack"),
            stored);
}

TEST_F(PackerRegistry, ValueLayout) {
  TPckList list;
  list.AddPacker("ARJ", MakeStandardPacker(StandardPackers()[0]));
  list.AddPacker("Odd", MakePacker("p", "u", 7, {-1, 0, 1, 255, 256, -2, 0x12345678, -1}));
  platform::Registry store(file);
  {
    TWinRegistry reg(kRoot, store);
    list.SaveToRegistry(reg, "Packers");
  }
  EXPECT_EQ(store.ReadDWord(kPackers, "Count"), 2u);
  const std::string k1 = std::string(kPackers) + "\\Packer1";
  EXPECT_EQ(store.ValueNames(k1),
            (std::vector<std::string>{"Name", "Pack", "UnPack", "Offset", "Signature"}));
  EXPECT_EQ(store.ReadString(k1, "Name"), "ARJ");
  EXPECT_EQ(store.ReadString(k1, "UnPack"), "Integrated UnARJ");
  EXPECT_EQ(store.ReadDWord(k1, "Offset"), 0u);
  const std::vector<uint8_t> arjSig = {0x60, 0,   0,   0,   0xEA, 0,   0,   0,    //
                                       255,  255, 255, 255, 255,  255, 255, 255,  //
                                       255,  255, 255, 255, 255,  255, 255, 255,  //
                                       255,  255, 255, 255, 255,  255, 255, 255};
  EXPECT_EQ(store.ReadBinary(k1, "Signature"), arjSig);
  const std::string k2 = std::string(kPackers) + "\\Packer2";
  const std::vector<uint8_t> oddSig = {255,  255,  255,  255,  0,    0,   0,   0,    //
                                       1,    0,    0,    0,    255,  0,   0,   0,    //
                                       0,    1,    0,    0,    0xFE, 255, 255, 255,  //
                                       0x78, 0x56, 0x34, 0x12, 255,  255, 255, 255};
  EXPECT_EQ(store.ReadBinary(k2, "Signature"), oddSig);
  EXPECT_EQ(store.ReadDWord(k2, "Offset"), 7u);
}

TEST_F(PackerRegistry, MissingAndDamagedValues) {
  platform::Registry store(file);
  const std::string k = std::string(kPackers) + "\\Packer";
  struct Case {
    const char* what;
    std::vector<uint8_t> sig;  // empty: no value
    std::array<int32_t, 8> expect;
  } cases[] = {
      {"no signature", {}, {-1, -1, -1, -1, -1, -1, -1, -1}},
      {"two values", {0x1A, 0, 0, 0, 0x08, 0, 0, 0}, {0x1A, 8, -1, -1, -1, -1, -1, -1}},
      {"cut inside a value", {0x1A, 0, 0, 0, 0x08, 0}, {0x1A, -1, -1, -1, -1, -1, -1, -1}},
      {"too long", std::vector<uint8_t>(36, 0), {-1, -1, -1, -1, -1, -1, -1, -1}},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string key = k + std::to_string(++n);
    store.CreateKey(key);
    if (!c.sig.empty()) store.WriteBinary(key, "Signature", c.sig);
  }
  store.WriteDWord(kPackers, "Count", uint32_t(n));
  TWinRegistry reg(kRoot, store);
  TPckList list;
  list.LoadFromRegistry(reg, "Packers");
  ASSERT_EQ(list.GetCount(), n);
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(list.GetString(i), "?");
    EXPECT_EQ(list.GetPacker(i)->GetPack(), "");
    EXPECT_EQ(list.GetPacker(i)->GetUnPack(), "");
    EXPECT_EQ(list.GetPacker(i)->Offset, 0);
    for (int s = 0; s < 8; ++s)
      EXPECT_EQ(list.GetPacker(i)->GetSignature(s), cases[i].expect[size_t(s)]) << s;
  }
}

TEST_F(PackerRegistry, CountsAndFaultyTypes) {
  platform::Registry store(file);
  TWinRegistry reg(kRoot, store);
  TPckList list;
  list.AddStandardPackers();
  TPacker* before = list.GetPacker(0);

  // A negative count is an empty list.
  store.WriteDWord(kPackers, "Count", 0xFFFFFFFFu);
  list.LoadFromRegistry(reg, "Packers");
  EXPECT_EQ(list.GetCount(), 0);
  // Packers taken before the reload stay usable.
  EXPECT_EQ(before->GetUnPack(), "Integrated UnARJ");

  // A value of the wrong type leaves the list as it was.
  list.AddStandardPackers();
  store.WriteDWord(kPackers, "Count", 1);
  store.WriteDWord(std::string(kPackers) + "\\Packer1", "Pack", 5);
  EXPECT_THROW(list.LoadFromRegistry(reg, "Packers"), platform::ERegistry);
  EXPECT_EQ(list.GetCount(), 5);

  // An absurd count is bounded.
  store.DeleteKey(std::string(kPackers) + "\\Packer1");
  store.WriteDWord(kPackers, "Count", 5000000);
  list.LoadFromRegistry(reg, "Packers");
  EXPECT_EQ(list.GetCount(), 1000);
}

TEST(PackerList, StandardPackersAreAddedOnce) {
  TPckList list;
  int changes = 0;
  list.OnChange = [&](TPubLst&) { ++changes; };
  list.AddPacker("pkzip", MakePacker("zip -9", "unzip -o", 0, {'P', 'K', -1, -1, -1, -1, -1, -1}));
  changes = 0;
  EXPECT_EQ(list.AddStandardPackers(), 4);
  EXPECT_EQ(changes, 1);
  const std::vector<std::string> names = {"pkzip", "ARJ", "LHArc", "PKArc", "RAR"};
  ASSERT_EQ(list.GetCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.GetString(i), names[size_t(i)]);
  EXPECT_EQ(list.PackerByName("PKZIP")->GetPack(), "zip -9");  // kept as it was
  EXPECT_EQ(list.AddStandardPackers(), 0);
  EXPECT_EQ(list.GetCount(), 5);
}

TEST(PackerList, ActivateIntegrated) {
  TPckList list;
  list.AddPacker("LHArc", MakePacker("lha a", "lha x", 0, {-1, -1, -1, -1, -1, -1, -1, -1}));
  TPacker* lha = list.ActivateIntegrated("LHArc");
  ASSERT_EQ(lha, list.PackerByName("LHArc"));
  EXPECT_EQ(lha->GetUnPack(), "Integrated UnLHA");
  EXPECT_EQ(lha->GetPack(), "lha a");  // only the unpack command changes
  EXPECT_EQ(lha->GetSignature(2), -1);

  TPacker* rar = list.ActivateIntegrated("RAR");
  ASSERT_NE(rar, nullptr);
  EXPECT_EQ(list.GetCount(), 2);
  EXPECT_EQ(list.GetString(1), "RAR");
  EXPECT_EQ(rar->GetUnPack(), "Integrated UnRAR");
  EXPECT_EQ(rar->GetSignature(0), 'R');
  EXPECT_EQ(list.ActivateIntegrated("Foo"), nullptr);
  EXPECT_EQ(list.GetCount(), 2);
}

}  // namespace
}  // namespace velmaris::test
