#include <QMenu>
#include <QTreeWidget>

#include "MainWindowFixture.h"
#include "app/MsgWin.h"
#include "app/PluginBrowser.h"
#include "app/plugin/PluginServer.h"
#include "platform/CodePage.h"
#include "support/TestPlugin.h"

namespace velmaris::test {
namespace {

using PluginWindowsTest = MainWindowFixture;

TEST_F(PluginWindowsTest, AServiceFillsThePluginsMenuAndTheBrowser) {
  Prepare({{"TEST.ECHO", {}}});
  TKQMainWindow& w = Open();
  const RuntimeDir runtime;
  const std::string folder = runtime.Path() + "run/";
  w.StartPluginHost(folder);
  ASSERT_NE(w.PluginHost(), nullptr);
  auto* plugins = w.findChild<QMenu*>("Plugins");
  {
    TestPlugin p(folder, "Area Counter");
    EXPECT_NE(p("connect"), "id 0x0");
    EXPECT_NE(p("register 1 501 Count areas"), "0x0");
    EXPECT_NE(p("register 0 500 Count all"), "0x0");
    ASSERT_TRUE(PumpUntil([&] { return w.PluginHost()->PluginServices().size() == 2; }));
    ASSERT_TRUE(plugins->menuAction()->isVisible());
    EXPECT_EQ(plugins->findChildren<QMenu*>().size(), 2);  // General and Area, once each
    auto* area = plugins->findChild<QMenu*>("Area");
    ASSERT_NE(area, nullptr);
    ASSERT_EQ(area->actions().size(), 1);
    EXPECT_EQ(area->actions()[0]->text(), "Count areas");

    area->actions()[0]->trigger();
    ASSERT_FALSE(prompter.Questions().empty());
    EXPECT_EQ(prompter.Questions().back().text, "No area selected!");
    w.AreaListBox()->SelectItem(3);
    area->actions()[0]->trigger();
    EXPECT_EQ(p("commands"), "1 0x501:14:TEST.ECHO/;");

    w.findChild<QAction*>("bersicht1")->trigger();
    TPluginBrowser* browser = w.PluginBrowser();
    ASSERT_TRUE(browser->isVisible());
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("Запущенные плагины"));
    QTreeWidget* tree = browser->findChild<QTreeWidget*>("PluginTree");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), "Area Counter");
    QTreeWidgetItem* services = nullptr;
    for (int i = 0; i < root->childCount(); ++i)
      if (root->child(i)->text(0).startsWith("Services")) services = root->child(i);
    ASSERT_NE(services, nullptr);
    EXPECT_EQ(services->text(0), "Services: 2");
    const qint64 closedIcon = services->icon(0).cacheKey();
    root->setExpanded(true);
    services->setExpanded(true);
    EXPECT_NE(services->icon(0).cacheKey(), closedIcon);
    if (const char* shot = std::getenv("VELMARIS_GRAB")) browser->grab().save(shot);
    browser->close();
    w.findChild<QAction*>("bersicht1")->trigger();  // opens again, still filled
    EXPECT_TRUE(browser->isVisible());
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(p("end"), "ok");
  }
  ASSERT_TRUE(PumpUntil([&] { return !plugins->menuAction()->isVisible(); }));
  EXPECT_EQ(w.PluginBrowser()->PluginTree()->topLevelItemCount(), 0);
}

TEST_F(PluginWindowsTest, AMessageListRunsItsServicesOnItsAreaAndSelection) {
  Prepare({{"TEST.ECHO", {0, 0, 0}}});
  TKQMainWindow& w = Open();
  const RuntimeDir runtime;
  const std::string folder = runtime.Path() + "run/";
  w.StartPluginHost(folder);
  TArea& area = *Area("TEST.ECHO");
  TMessageListWindow& m = *w.OpenMessageList(area);
  QMenu* plugins = m.Menu("Plugins");
  ASSERT_NE(plugins, nullptr);
  EXPECT_FALSE(plugins->menuAction()->isVisible());
  TestPlugin p(folder);
  EXPECT_NE(p("connect"), "id 0x0");
  EXPECT_NE(p("register 1 501 Area tool"), "0x0");
  EXPECT_NE(p("register 2 502 Message tool"), "0x0");
  ASSERT_TRUE(PumpUntil([&] { return plugins->findChild<QMenu*>("Msg") != nullptr; }));
  EXPECT_TRUE(plugins->menuAction()->isVisible());

  plugins->findChild<QMenu*>("Area")->actions()[0]->trigger();
  m.ListBox()->SelectItem(0);
  m.ListBox()->SelectItem(2);
  const std::vector<int32_t> selected = m.SelectedMessages();
  ASSERT_FALSE(selected.empty());
  plugins->findChild<QMenu*>("Msg")->actions()[0]->trigger();
  std::string indexes;
  for (int32_t i : selected) indexes += std::to_string(i) + "/";
  EXPECT_EQ(p("commands"), "2 0x501:14:TEST.ECHO/;0x502:" + std::to_string(4 * selected.size()) +
                               ":" + indexes + ";");
  EXPECT_EQ(p("current"), "0xA TEST.ECHO");  // the plug-in holds the area now
  EXPECT_EQ(p("close"), "0x0");
  ASSERT_TRUE(PumpUntil([&] { return !area.IsLocked(); }));
  EXPECT_EQ(p("end"), "ok");
  ASSERT_TRUE(PumpUntil([&] { return !plugins->menuAction()->isVisible(); }));
}

TEST(PluginBrowserTest, PluginsAndTheirLinesSortByNameWithYoAfterYe) {
  const auto ansi = [](const char* utf8) {
    return platform::FromUtf8(utf8, platform::AnsiCodePage());
  };
  std::vector<plugin::TBrowserNode> nodes;
  for (const char* name : {"Ёлка", "zip tool", "Жук", "Area Counter", "ёжик", "Яблоко", "Ежевика"})
    nodes.push_back({ansi(name), plugin::BrowserImage::Plugin, {}});
  nodes[1].Children = {{"Version: 1", plugin::BrowserImage::Info, {}},
                       {"copyright: none", plugin::BrowserImage::Info, {}},
                       {ansi("Description: Ёмкость"), plugin::BrowserImage::Info, {}},
                       {ansi("Description: Емкость"), plugin::BrowserImage::Info, {}}};
  TPluginBrowser browser;
  browser.Rebuild(nodes);
  QTreeWidget* tree = browser.PluginTree();
  const auto texts = [](auto count, auto item) {
    QStringList out;
    for (int i = 0; i < count; ++i) out << item(i)->text(0);
    return out;
  };
  EXPECT_EQ(texts(tree->topLevelItemCount(), [tree](int i) { return tree->topLevelItem(i); }),
            QStringList({"Area Counter", "zip tool", "Ежевика", "ёжик", "Ёлка", "Жук", "Яблоко"}));
  QTreeWidgetItem* zip = tree->topLevelItem(1);
  EXPECT_EQ(texts(zip->childCount(), [zip](int i) { return zip->child(i); }),
            QStringList(
                {"copyright: none", "Description: Емкость", "Description: Ёмкость", "Version: 1"}));
}

}  // namespace
}  // namespace velmaris::test
