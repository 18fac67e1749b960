#include "MainWindowFixture.h"

#include <QAction>
#include <QFontMetrics>
#include <QListWidget>
#include <QScreen>
#include <QTest>
#include <cstdlib>

#include "BarButtons.h"
#include "app/AddrBook.h"
#include "app/MsgWin.h"
#include "mailer/forms/FileReqEditor.h"
#include "processing/forms/AreaManagerWindow.h"
#include "widgets/SpeedBar.h"

namespace velmaris::test {
namespace {

using MainWindowLayoutTest = MainWindowFixture;

std::vector<int> Widths(TKQMainWindow& w) {
  std::vector<int> widths;
  const TBLBColumns& columns = w.AreaListBox()->Columns();
  for (int i = 0; i < columns.GetCount(); ++i) widths.push_back(columns.GetItem(i)->Width());
  return widths;
}

// Every shown column of the header holds its whole caption in the header's
// font (a frame and margins of 12 pixels around it), and the header has the
// list's font.
void ExpectCaptionsRead(const TCustomBetterListBox& list) {
  const TBLBColumns& columns = list.Columns();
  EXPECT_EQ(columns.Font(), list.font());
  const QFontMetrics metrics(columns.Font());
  for (int i = 0; i < columns.GetCount(); ++i) {
    const TBLBColumn& c = *columns.GetItem(i);
    if (c.Width() == 0) continue;
    EXPECT_GE(c.Width(), metrics.horizontalAdvance(c.Caption()) + 12)
        << c.Caption().toStdString() << " at " << columns.Font().pointSize() << " pt";
  }
}

void SetListFont(TKQMainWindow& w, SettingId id, int pointSize) {
  w.ConfigStore().SettingsModel().SetText(id, TFontDesc{"DejaVu Sans", pointSize, 0}.ToString());
}

TEST_F(MainWindowLayoutTest, ColumnHeadersFollowTheAreaListFontAndReadAtTheNextStart) {
  TKQMainWindow& w = Open();
  ExpectCaptionsRead(*w.AreaListBox());
  const std::vector<int> first = Widths(w);
  // A smaller font keeps the widths; larger ones widen only the columns that
  // no longer hold their captions.
  const struct {
    int pointSize;
    bool widens;
  } fonts[] = {{6, false}, {20, true}, {32, true}, {9, false}};
  for (const auto& f : fonts) {
    SCOPED_TRACE(f.pointSize);
    const std::vector<int> before = Widths(w);
    SetListFont(w, SettingId::ALFont, f.pointSize);
    EXPECT_EQ(w.AreaListBox()->font().pointSize(), f.pointSize);
    ExpectCaptionsRead(*w.AreaListBox());
    EXPECT_EQ(Widths(w) != before, f.widens);
  }
  EXPECT_EQ(Widths(w)[0], first[0]);  // "Эха" fits its 200 pixels at every size
  // A font chosen in the settings, a column hidden by the user, then the end.
  SetListFont(w, SettingId::ALFont, 24);
  w.AreaListBox()->Columns().GetItem(4)->SetWidth(0);
  const std::vector<int> chosen = Widths(w);
  window.reset();

  // At the next start the headers read at once: the widths saved after the
  // font change come back with it, the hidden column still hidden.
  TKQMainWindow& again = Open();
  EXPECT_EQ(again.AreaListBox()->font().pointSize(), 24);
  EXPECT_EQ(Widths(again), chosen);
  ExpectCaptionsRead(*again.AreaListBox());
}

TEST_F(MainWindowLayoutTest, MessageListHeadersFollowTheMessageListFont) {
  Prepare({{"FIDO.GER", Times(2, 0)}});
  TKQMainWindow& w = Open();
  TMessageListWindow* list = w.OpenMessageList(*Area("FIDO.GER"));
  ASSERT_NE(list, nullptr);
  ExpectCaptionsRead(*list->ListBox());
  for (int size : {22, 7, 30}) {
    SCOPED_TRACE(size);
    SetListFont(w, SettingId::MLFont, size);
    EXPECT_EQ(list->ListBox()->font().pointSize(), size);
    ExpectCaptionsRead(*list->ListBox());
  }
  // The area list keeps its own font.
  EXPECT_NE(w.AreaListBox()->font().pointSize(), 30);
}

TEST_F(MainWindowLayoutTest, ColumnWidthsAreSavedAtTheEndAndComeBack) {
  {
    TKQMainWindow& w = Open();
    const int widths[] = {250, 80, 90, 110, 120};
    for (int i = 0; i < 5; ++i) w.AreaListBox()->Columns().GetItem(i)->SetWidth(widths[i]);
    window.reset();
  }
  EXPECT_EQ(dir.Read("start/AreaList.ini"),
            "[Columns]\nWidth0=250\nWidth1=80\nWidth2=90\nWidth3=110\nWidth4=120\n");
  TKQMainWindow& again = Open();
  EXPECT_EQ(Widths(again), (std::vector<int>{250, 80, 90, 110, 120}));
}

TEST_F(MainWindowLayoutTest, FreshStartWritesTheDefaultWidths) {
  Open();
  window->Shutdown();
  EXPECT_EQ(dir.Read("start/AreaList.ini"),
            "[Columns]\nWidth0=200\nWidth1=100\nWidth2=100\nWidth3=100\nWidth4=100\n");
  // Shutdown runs once; the destructor does not write again.
  dir.Write("start/AreaList.ini", "kept");
  window.reset();
  EXPECT_EQ(dir.Read("start/AreaList.ini"), "kept");
}

TEST_F(MainWindowLayoutTest, StoredWidthsAreKeptInRange) {
  dir.Write("start/AreaList.ini",
            "[Columns]\r\nWidth0=-5\r\nWidth1=99999\r\nWidth2=abc\r\nWidth4=150\r\n");
  TKQMainWindow& w = Open();
  EXPECT_EQ(Widths(w), (std::vector<int>{0, 8192, 100, 100, 150}));
}

TEST_F(MainWindowLayoutTest, ConfigurationIsSavedAtTheEnd) {
  Prepare({{"FIDO.GER", Times(3, 0)}});
  Open();
  TArea* area = Area("FIDO.GER");
  ASSERT_NE(area, nullptr);
  area->LastRead = 2;
  area->MaxAge = 33;
  window.reset();
  TKQMainWindow& again = Open();
  (void)again;
  area = Area("FIDO.GER");
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->LastRead, 2);
  EXPECT_EQ(area->MaxAge, 33);
}

TEST_F(MainWindowLayoutTest, WindowPositionIsKeptInTheRegistry) {
  TKQMainWindow& w = Open();
  w.setWindowState(Qt::WindowNoState);
  w.show();
  w.setGeometry(40, 50, 700, 400);
  w.close();
  window.reset();
  const std::string reg = dir.Read("Velmaris.reg");
  // Below the program's key (whose letter case the configuration set first).
  const size_t key = reg.find("\\Brimvale\\Velmaris\\Placement\\MainWindow]\n");
  ASSERT_NE(key, std::string::npos) << reg;
  const std::string values = reg.substr(key, reg.find("\n\n", key) - key);
  EXPECT_NE(values.find("\"Width\"=dword:000002bc"), std::string::npos) << values;
  EXPECT_NE(values.find("\"Height\"=dword:00000190"), std::string::npos) << values;
  EXPECT_NE(values.find("\"State\"=dword:00000001"), std::string::npos) << values;
}

// With VELMARIS_SCREENSHOTS set, the window as a PNG in that folder.
void Shot(QWidget& widget, const char* name) {
  if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
    widget.grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
}

TAddrBook* OpenAddressBook(TKQMainWindow& w) {
  w.findChild<QAction*>("Adressbuch1")->trigger();
  TAddrBook* book = w.AddressBookWindow();
  if (book) book->show();
  return book;
}

TEST_F(MainWindowLayoutTest, TheAddressBookShowsItsSpeedBarAndWindowListAtItsOwnSize) {
  TKQMainWindow& w = Open();
  TAddrBook* book = OpenAddressBook(w);
  ASSERT_NE(book, nullptr);
  EXPECT_EQ(book->size(), QSize(560, 360));
  auto* list = book->findChild<QListWidget*>("WList");
  ASSERT_NE(list, nullptr);
  ASSERT_TRUE(list->isVisible());
  const QRect inBook(list->mapTo(book, QPoint(0, 0)), list->size());
  EXPECT_TRUE(book->rect().contains(inBook)) << inBook.x() << "," << inBook.width();
  EXPECT_GE(list->height(), 30);
  // The area list and the address book at least, under their captions.
  EXPECT_FALSE(list->findItems(QStringLiteral("Адресная книга"), Qt::MatchExactly).isEmpty());
  for (const char* name :
       {"SpeedAddAddr", "SpeedNewList", "SpeedProperties", "SpeedDelete", "SpeedWrite"}) {
    auto* item = book->findChild<TSpeedItem*>(name);
    ASSERT_NE(item, nullptr) << name;
    ASSERT_TRUE(item->Button()->isVisible()) << name;
    const QRect button(item->Button()->mapTo(book, QPoint(0, 0)), item->Button()->size());
    EXPECT_FALSE(button.intersects(inBook)) << name;
  }
  Shot(*book, "AddressBook");
  // The speed button runs the command.
  book->findChild<TSpeedItem*>("SpeedAddAddr")->ButtonClick();
  EXPECT_NE(book->SelectedFriend(), nullptr);
}

// A window narrowed as far as the user likes keeps every button of its
// speed bar whole, and stays on the screen.
TEST_F(MainWindowLayoutTest, NarrowedWindowsKeepEveryBarButtonWhole) {
  TKQMainWindow& w = Open();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  TAddrBook* book = OpenAddressBook(w);
  ASSERT_NE(book, nullptr);
  const struct {
    QWidget* window;
    int width;
    int buttons;
  } rows[] = {{&w, 500, 7}, {&w, 300, 7}, {book, 300, 5}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.window->objectName().toStdString() + " " + std::to_string(row.width));
    row.window->resize(row.width, row.window->height());
    for (int settle = 0; settle < 3; ++settle) QCoreApplication::processEvents();
    EXPECT_EQ(ExpectBarButtonsWhole(*row.window), row.buttons);
    EXPECT_TRUE(row.window->screen()->availableGeometry().contains(row.window->frameGeometry()));
  }
}

TEST_F(MainWindowLayoutTest, AddressBookAndAreaManagerComeBackWhereTheyWereClosed) {
  const QRect bookPlace(70, 60, 600, 380), managerPlace(30, 40, 700, 420);
  {
    TKQMainWindow& w = Open();
    TAddrBook* book = OpenAddressBook(w);
    ASSERT_NE(book, nullptr);
    book->move(bookPlace.topLeft());
    book->resize(bookPlace.size());
    book->close();
    ASSERT_TRUE(PumpUntil([this] { return window->AddressBookWindow() == nullptr; }));
    // Reopened in the same run.
    book = OpenAddressBook(w);
    EXPECT_EQ(QRect(book->pos(), book->size()), bookPlace);
    book->close();

    TAreaManagerWindow* manager = w.EchoAreaManager();
    manager->show();
    manager->move(managerPlace.topLeft());
    manager->resize(managerPlace.size());
    Shot(*manager, "AreaManager");
    manager->close();
    window.reset();
  }
  // And after a restart.
  const QRect bookLast(90, 80, 580, 370), managerLast(20, 30, 720, 440);
  {
    TKQMainWindow& w = Open();
    TAddrBook* book = OpenAddressBook(w);
    EXPECT_EQ(QRect(book->pos(), book->size()), bookPlace);
    TAreaManagerWindow* manager = w.EchoAreaManager();
    manager->show();
    EXPECT_EQ(QRect(manager->pos(), manager->size()), managerPlace);
    // Both left open at the end of the program: their places are kept too.
    book->move(bookLast.topLeft());
    book->resize(bookLast.size());
    manager->move(managerLast.topLeft());
    manager->resize(managerLast.size());
    window.reset();
  }
  TKQMainWindow& w = Open();
  TAddrBook* book = OpenAddressBook(w);
  EXPECT_EQ(QRect(book->pos(), book->size()), bookLast);
  TAreaManagerWindow* manager = w.EchoAreaManager();
  manager->show();
  EXPECT_EQ(QRect(manager->pos(), manager->size()), managerLast);
  const std::string reg = dir.Read("Velmaris.reg");
  EXPECT_NE(reg.find("\\Placement\\AddressBook]"), std::string::npos);
  EXPECT_NE(reg.find("\\Placement\\AreaMan]"), std::string::npos);
}

TEST_F(MainWindowLayoutTest, FileRequestEditorAndMessageListKeepTheirPlacesOverTheEnd) {
  Prepare({{"FIDO.GER", Times(2, 0)}});
  const QRect editorPlace(60, 70, 640, 460), listPlace(100, 40, 620, 450);
  {
    TKQMainWindow& w = Open();
    w.show();
    w.ShowFredClick();
    TFileReqEditor& editor = w.FileReqEditor();
    editor.move(editorPlace.topLeft());
    editor.resize(editorPlace.size());
    TMessageListWindow* list = w.OpenMessageList(*Area("FIDO.GER"));
    ASSERT_NE(list, nullptr);
    list->move(listPlace.topLeft());
    list->resize(listPlace.size());
    // The program ends with both shown: the main window closes, then goes.
    w.close();
    window.reset();
  }
  const std::string reg = dir.Read("Velmaris.reg");
  EXPECT_NE(reg.find("\\Placement\\FrEd]"), std::string::npos) << reg;
  EXPECT_NE(reg.find("\\Placement\\MessageReader]"), std::string::npos) << reg;
  TKQMainWindow& w = Open();
  w.ShowFredClick();
  EXPECT_EQ(QRect(w.FileReqEditor().pos(), w.FileReqEditor().size()), editorPlace);
  TMessageListWindow* list = w.OpenMessageList(*Area("FIDO.GER"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(QRect(list->pos(), list->size()), listPlace);
}

}  // namespace
}  // namespace velmaris::test
