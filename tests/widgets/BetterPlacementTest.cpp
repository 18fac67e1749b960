// Form positions in the registry: round trip, window state, first start,
// bounds kept on the screen, values of the wrong type.
#include "widgets/BetterPlacement.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "support/TempDir.h"
#include "widgets/Placement.h"

namespace velmaris::test {
namespace {

const std::string kKey = "Software\\Brimvale\\Velmaris\\Placement\\MainWindow";

class BetterPlacementTest : public ::testing::Test {
 protected:
  BetterPlacementTest() : registry_(dir_ / "Velmaris.reg") { platform::SetRegistry(&registry_); }
  ~BetterPlacementTest() override { platform::SetRegistry(nullptr); }

  // A form with its placement, built and restored as the forms do it. Where
  // its frame goes is read once it is shown: a window placed inside a frame
  // the program expects has no frame of its own before.
  std::unique_ptr<QWidget> MakeForm(QRect designed = QRect(40, 50, 320, 240)) {
    auto form = std::make_unique<QWidget>();
    form->setObjectName("KQMainWindow");
    form->move(designed.topLeft());
    form->resize(designed.size());
    auto* placement = new TBetterPlacement(form.get(), "MainWindow");
    placement->Loaded();
    return form;
  }
  uint32_t Value(const std::string& name) { return registry_.ReadDWord(kKey, name); }

  TempDir dir_;
  platform::Registry registry_;
};

TEST_F(BetterPlacementTest, FirstStartKeepsDesignedBounds) {
  auto form = MakeForm();
  form->show();
  EXPECT_EQ(form->pos(), QPoint(40, 50));
  EXPECT_EQ(form->size(), QSize(320, 240));
  EXPECT_EQ(form->windowState(), Qt::WindowNoState);
  EXPECT_FALSE(registry_.KeyExists(kKey));
}

TEST_F(BetterPlacementTest, CloseSavesAndNextFormRestores) {
  {
    auto form = MakeForm();
    form->show();
    form->move(100, 120);
    form->resize(500, 300);
    form->close();
  }
  EXPECT_EQ(Value("Left"), 100u);
  EXPECT_EQ(Value("Top"), 120u);
  EXPECT_EQ(Value("Width"), 500u);
  EXPECT_EQ(Value("Height"), 300u);
  EXPECT_EQ(Value("State"), 1u);
  // The values reach the file at once.
  platform::Registry reread(dir_ / "Velmaris.reg");
  EXPECT_EQ(reread.ReadDWord(kKey, "Width"), 500u);

  auto again = MakeForm();
  EXPECT_EQ(again->pos(), QPoint(100, 120));
  EXPECT_EQ(again->size(), QSize(500, 300));
  EXPECT_FALSE(again->windowState().testFlag(Qt::WindowMaximized));
}

TEST(BetterPlacement, AFailedSaveOnCloseIsReportedAndTheFormCloses) {
  TempDir dir;
  dir.Write("file", "");
  platform::Registry registry(dir / "file/Velmaris.reg");  // its folder cannot be made
  platform::SetRegistry(&registry);
  platform::ScriptedPrompter prompter;
  platform::SetPrompter(&prompter);
  QWidget form;
  (new TBetterPlacement(&form, "MainWindow"))->Loaded();
  form.show();
  EXPECT_TRUE(form.close());
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, platform::MsgKind::Warning);
  EXPECT_EQ(questions[0].text.rfind("The window position could not be saved: ", 0), 0u);
  platform::SetPrompter(nullptr);
  platform::SetRegistry(nullptr);
}

TEST_F(BetterPlacementTest, MaximisedFormReopensMaximised) {
  {
    auto form = MakeForm();
    form->showMaximized();
    QApplication::processEvents();
    form->close();
  }
  EXPECT_EQ(Value("State"), 2u);
  auto again = MakeForm();
  EXPECT_TRUE(again->windowState().testFlag(Qt::WindowMaximized));
}

TEST_F(BetterPlacementTest, StoredStateValues) {
  for (auto [state, maximised, minimised] :
       {std::tuple{1u, false, false}, std::tuple{2u, true, false}, std::tuple{3u, false, true},
        std::tuple{7u, false, false}}) {
    registry_.WriteDWord(kKey, "State", state);
    auto form = MakeForm();
    EXPECT_EQ(form->windowState().testFlag(Qt::WindowMaximized), maximised) << state;
    EXPECT_EQ(form->windowState().testFlag(Qt::WindowMinimized), minimised) << state;
  }
}

TEST_F(BetterPlacementTest, StoredBoundsAreKeptOnTheScreen) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  registry_.WriteDWord(kKey, "Left", 999999);
  registry_.WriteDWord(kKey, "Top", static_cast<uint32_t>(-5000));
  registry_.WriteDWord(kKey, "Width", static_cast<uint32_t>(-20));
  registry_.WriteDWord(kKey, "Height", 1u << 30);
  auto form = MakeForm();
  form->show();
  const QRect r(form->pos(), form->size());
  EXPECT_TRUE(screen.contains(r)) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
  EXPECT_GE(form->width(), std::min(120, screen.width()));
  EXPECT_EQ(form->height(), screen.height());
}

TEST_F(BetterPlacementTest, ValuesOfAnotherTypeCountAsMissing) {
  registry_.WriteString(kKey, "Left", "100");
  registry_.WriteBinary(kKey, "Width", {1, 2, 3, 4});
  registry_.WriteDWord(kKey, "Top", 77);
  auto form = MakeForm();
  form->show();
  EXPECT_EQ(form->pos(), QPoint(40, 77));
  EXPECT_EQ(form->width(), 320);
}

TEST_F(BetterPlacementTest, SectionsAreSeparate) {
  {
    auto form = MakeForm();
    form->move(10, 20);
    form->close();
  }
  auto other = std::make_unique<QWidget>();
  other->move(5, 6);
  other->resize(200, 100);
  auto* placement = new TBetterPlacement(other.get(), "FrEd");
  placement->Loaded();
  other->show();
  EXPECT_EQ(other->pos(), QPoint(5, 6));
  EXPECT_EQ(placement->Form(), other.get());
}

TEST_F(BetterPlacementTest, OwnerInsideAFormPlacesTheForm) {
  QWidget form;
  auto* child = new QWidget(&form);
  TBetterPlacement placement(child, "AreaMan");
  EXPECT_EQ(placement.Form(), &form);
  EXPECT_EQ(placement.parent(), &form);
}

TEST(PlacementRegistry, ReadsDefaultsWithoutTheKey) {
  TempDir dir;
  platform::Registry registry(dir / "r.reg");
  platform::SetRegistry(&registry);
  PlacementRegistry reg("Software\\Brimvale\\Velmaris\\Placement\\");
  EXPECT_EQ(reg.ReadInteger("AddressBook", "Left", -3), -3);
  reg.WriteInteger("AddressBook", "Left", -7);
  EXPECT_EQ(reg.ReadInteger("addressbook", "LEFT", 0), -7);
  EXPECT_TRUE(registry.ValueExists("Software\\Brimvale\\Velmaris\\Placement\\AddressBook", "Left"));
  platform::SetRegistry(nullptr);
}

}  // namespace
}  // namespace velmaris::test
