// The help viewer: every context the windows name has a shipped page, a page
// in the start directory's help folder takes its place, and a request through
// the platform reaches the installed viewer.
#include <gtest/gtest.h>

#include <QDir>
#include <QPushButton>
#include <QUrl>

#include "QtTestApp.h"
#include "app/HelpViewer.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "support/TempDir.h"
#include "widgets/SpeedbarSetup.h"

namespace velmaris {
namespace {

using test::App;
using namespace platform;

struct ShippedPage {
  int context;
  QString heading;
};

TEST(HelpPagesTest, EveryNamedContextHasAShippedPageWithItsHeading) {
  App();
  test::TempDir dir;
  const std::string helpFile = dir.Path() + "Tervik.hlp";
  const std::vector<ShippedPage> pages = {
      {kHelpContents, "Содержание"},
      {kHelpMainWindow, "Главное окно"},
      {kHelpMessageList, "Список сообщений"},
      {kHelpAddressBook, "Адресная книга"},
      {kHelpFilter, "Фильтры"},
      {kHelpAreaManager, "Менеджер арий"},
      {kHelpMailer, "Окно мейлера"},
      {kHelpFileRequest, "файловых запросов"},
      {kHelpSettings, "Настройки"},
      {kHelpSpeedBar, "панели кнопок"},
      {kHelpEditor, "Редактор сообщений"},
      {kHelpSearch, "Поиск сообщений"},
      {kHelpNodelist, "Обработка нодлиста"},
      {kHelpNodelistBrowser, "Обзор нодлиста"},
      {kHelpUnpack, "Автоматическая распаковка"},
  };
  THelpViewer viewer;
  for (const ShippedPage& page : pages) {
    SCOPED_TRACE(page.context);
    viewer.ShowTopic(helpFile, page.context);
    EXPECT_EQ(viewer.source().scheme(), "qrc");
    EXPECT_TRUE(viewer.toPlainText().contains(page.heading));
    EXPECT_FALSE(viewer.toPlainText().contains("не найден"));
  }
  // The contents page links every other page.
  viewer.ShowTopic(helpFile, kHelpContents);
  const QString html = viewer.toHtml();
  for (const ShippedPage& page : pages) {
    if (page.context == kHelpContents) continue;
    EXPECT_TRUE(html.contains(QStringLiteral("%1.html").arg(page.context))) << page.context;
  }
}

TEST(HelpPagesTest, TheSpeedBarPageNamesTheButtonThatEndsCustomisingAsItReads) {
  App();
  test::TempDir dir;
  TSpeedbarSetupWindow setup;
  const QString close = setup.findChild<QPushButton*>("CloseBtn")->text().remove('&');
  THelpViewer viewer;
  viewer.ShowTopic(dir.Path() + "Tervik.hlp", kHelpSpeedBar);
  const QString page = viewer.toPlainText();
  EXPECT_TRUE(page.contains(QStringLiteral("«%1» завершает настройку").arg(close)))
      << page.toStdString();
  EXPECT_FALSE(page.contains("«Закрыть»"));
}

TEST(HelpPagesTest, APageInTheStartDirectoryComesFirstAndAnUnknownContextSaysSo) {
  App();
  test::TempDir dir;
  const std::string helpFile = dir.Path() + "Tervik.hlp";
  MakeDirs(dir.Path() + "Tervik/");
  WriteFileAtomic(dir.Path() + "Tervik/8000.html", "<p>Own editor page</p>");
  THelpViewer viewer;
  viewer.ShowTopic(helpFile, kHelpEditor);
  EXPECT_EQ(viewer.toPlainText(), "Own editor page");
  viewer.ShowTopic(helpFile, 4711);
  EXPECT_TRUE(viewer.toPlainText().startsWith("Раздел справки 4711 не найден"));
}

TEST(HelpPagesTest, ARequestReachesTheInstalledViewerAndIsRememberedWithoutOne) {
  std::vector<int> shown;
  HelpViewerFn before = SetHelpViewer([&](int context) { shown.push_back(context); });
  ShowHelp(kHelpMailer);
  ShowHelp(0);
  SetHelpViewer(nullptr);
  ShowHelp(kHelpEditor);
  SetHelpViewer(before);
  EXPECT_EQ(shown, std::vector<int>{kHelpMailer});
  EXPECT_EQ(LastHelpContext(), kHelpEditor);
}

}  // namespace
}  // namespace velmaris
