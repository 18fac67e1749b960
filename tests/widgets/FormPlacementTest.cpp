// Form placement storage: saving on close and restoring on show in an INI
// file and in the registry, bounds kept on a screen smaller than stored,
// linked speed bar layouts, and when nothing is saved.
#include "widgets/FormPlacement.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "support/TempDir.h"
#include "widgets/IniStorages.h"
#include "widgets/SpeedBar.h"

namespace velmaris::test {
namespace {

struct Form {
  QWidget window;
  TFormPlacement* placement = new TFormPlacement(&window);
  explicit Form(const std::string& file) {
    placement->SetIniFileName(file);
    placement->SetIniSection("TestForm");
    placement->Loaded();
  }
};

QRect Available() { return QGuiApplication::primaryScreen()->availableGeometry(); }

TEST(FormPlacement, SavesOnCloseAndRestoresOnShow) {
  TempDir dir;
  const std::string file = dir / "Forms.ini";
  {
    Form f(file);
    f.window.show();
    f.window.setGeometry(50, 60, 300, 200);
    f.window.close();
    EXPECT_TRUE(f.placement->Saved());
  }
  const TScreenInfo screen = CurrentScreenInfo();
  const std::string suffix = GetScreenSuffix(screen.width, screen.height);
  const std::string text = dir.Read("Forms.ini");
  EXPECT_NE(text.find("NormPos" + suffix + "=50,60,350,260\nNormPos=50,60,350,260"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("ShowCmd=1\n"), std::string::npos);
  EXPECT_NE(text.find("Visible=0\n"), std::string::npos);
  Form g(file);
  g.window.show();
  EXPECT_EQ(g.window.geometry(), QRect(50, 60, 300, 200));
  EXPECT_TRUE(g.placement->Restored());
}

TEST(FormPlacement, BoundsLargerThanTheScreenAreKeptOnIt) {
  TempDir dir;
  const int ppi = CurrentScreenInfo().pixelsPerInch;
  const QRect screen = Available();
  dir.Write("Forms.ini", "[TestForm]\nFlags=0\nShowCmd=1\nPixelsPerInch=" + std::to_string(ppi) +
                             "\nNormPos(4000x3000)=-900,-900,3100,2100\nNormPos=" +
                             std::to_string(screen.right() - 50) + ",40,4100,3040\n");
  Form f(dir / "Forms.ini");
  f.window.show();
  EXPECT_TRUE(screen.contains(f.window.frameGeometry()));
  EXPECT_EQ(f.window.frameGeometry().size(), screen.size());
}

TEST(FormPlacement, StoredStateAndDamagedValues) {
  TempDir dir;
  const int ppi = CurrentScreenInfo().pixelsPerInch;
  struct Case {
    const char* name;
    std::string values;
    QRect geometry;
    bool maximized;
  };
  const Case cases[] = {
      {"Maximized",
       "ShowCmd=3\nPixelsPerInch=" + std::to_string(ppi) + "\nNormPos=10,20,210,170\n",
       {10, 20, 200, 150},
       true},
      {"OtherPixelsPerInch",
       "ShowCmd=1\nPixelsPerInch=" + std::to_string(ppi + 24) + "\nNormPos=10,20,210,170\n",
       {70, 80, 160, 120},
       false},
      {"BadWords", "ShowCmd=1\nNormPos=10,x,210\n", {10, 80, 200, 120}, false},
  };
  for (const Case& c : cases) {
    dir.Write("F.ini", "[TestForm]\n" + c.values);
    Form f(dir / "F.ini");
    f.window.setGeometry(70, 80, 160, 120);
    f.window.show();
    EXPECT_EQ(f.window.isMaximized(), c.maximized) << c.name;
    EXPECT_EQ(f.window.isMaximized() ? f.window.normalGeometry() : f.window.geometry(), c.geometry)
        << c.name;
  }
}

TEST(FormPlacement, FixedSizeFormKeepsItsSize) {
  TempDir dir;
  dir.Write("F.ini", "[TestForm]\nNormPos=10,20,510,420\n");
  Form f(dir / "F.ini");
  f.window.setFixedSize(150, 100);
  f.window.show();
  EXPECT_EQ(f.window.geometry(), QRect(10, 20, 150, 100));
}

TEST(FormPlacement, SizeLimits) {
  TempDir dir;
  Form f(dir / "F.ini");
  f.window.resize(300, 200);
  TWinMinMaxInfo info;
  info.MinTrackWidth = 200;
  info.MaxTrackHeight = 400;
  f.placement->SetMinMaxInfo(info);
  EXPECT_EQ(f.window.minimumWidth(), 200);
  EXPECT_EQ(f.window.maximumHeight(), 400);
  f.placement->SetPreventResize(true);
  EXPECT_EQ(f.window.minimumSize(), QSize(300, 200));
  EXPECT_EQ(f.window.maximumSize(), QSize(300, 200));
}

TEST(FormPlacement, NothingIsSavedBeforeARestore) {
  TempDir dir;
  {
    Form f(dir / "F.ini");
    f.placement->Active = false;
    f.window.show();
    f.window.close();  // inactive: no save on close
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(dir / "F.ini")));
  {
    Form f(dir / "F.ini");  // never shown: no restore, so no save on destruction
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(dir / "F.ini")));
  {
    Form f(dir / "F.ini");
    f.window.show();
    f.window.setGeometry(30, 30, 200, 100);
  }  // destroyed while open: saved, marked visible
  EXPECT_NE(dir.Read("F.ini").find("NormPos=30,30,230,130\n"), std::string::npos);
  EXPECT_NE(dir.Read("F.ini").find("Visible=1"), std::string::npos);
}

TEST(FormPlacement, AFailedSaveIsReported) {
  TempDir dir;
  dir.Write("file", "");
  platform::ScriptedPrompter prompter;
  platform::SetPrompter(&prompter);
  {
    TIniFile ini(dir / "file/F.ini");  // its folder is a file
    ini.WriteString("S", "K", "V");
  }
  platform::SetPrompter(nullptr);
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, platform::MsgKind::Warning);
  EXPECT_EQ(questions[0].text.rfind("The settings could not be saved: ", 0), 0u);
}

TEST(FormPlacement, RegistryFormAndLinkedSpeedBar) {
  TempDir dir;
  platform::Registry registry(dir / "Velmaris.reg");
  platform::SetRegistry(&registry);
  {
    Form f("Software\\Brimvale\\Velmaris\\Forms");
    f.placement->UseRegistry = true;
    auto* bar = new TSpeedBar(&f.window);
    bar->setObjectName("SpeedBar1");
    bar->SetIniStorage(f.placement);
    f.window.show();
    f.window.setGeometry(40, 50, 300, 200);
    bar->SetAlign(TAlign::alBottom);
    f.window.close();
  }
  EXPECT_EQ(registry.ReadString("Software\\Brimvale\\Velmaris\\Forms\\TestForm", "NormPos"),
            "40,50,340,250");
  EXPECT_EQ(registry.ReadString("Software\\Brimvale\\Velmaris\\Forms\\TestForm\\QWidgetSpeedBar1",
                                "Position"),
            "2");
  {
    Form f("Software\\Brimvale\\Velmaris\\Forms");
    f.placement->UseRegistry = true;
    auto* bar = new TSpeedBar(&f.window);
    bar->setObjectName("SpeedBar1");
    bar->SetIniStorage(f.placement);
    f.window.show();
    EXPECT_EQ(f.window.geometry(), QRect(40, 50, 300, 200));
    EXPECT_EQ(bar->Align(), TAlign::alBottom);
    EXPECT_EQ(f.placement->ReadString("TestForm", "ShowCmd", ""), "1");
  }
  platform::SetRegistry(nullptr);
}

}  // namespace
}  // namespace velmaris::test
