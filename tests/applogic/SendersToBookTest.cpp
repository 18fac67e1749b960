#include "app/logic/SendersToBook.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/AddressBook.h"
#include "core/Area.h"
#include "core/AreaFixtures.h"
#include "core/MailFixtures.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

TEST(SendersToBookTest, EachSenderAndAddressIsAddedOnce) {
  test::TempDir dir;
  test::ShellScope shell;
  TArea area(dir.Path(), "RU.TEST", "RU.TEST");
  std::vector<std::unique_ptr<TMail>> mails;
  auto add = [&](const char* from, TFidoAddr orig, const char* subject) {
    test::MailSpec mailSpec;
    mailSpec.from = from;
    mailSpec.orig = orig;
    mailSpec.subject = subject;
    mails.push_back(test::MakeSpecMail(mailSpec));
  };
  add("Ivan Petrov", {2, 5020, 1, 7}, "One");
  add("Ivan Petrov", {2, 5020, 1, 7}, "Two");
  add("ivan petrov", {2, 5020, 1, 7}, "Three");
  add("Ivan Petrov", {2, 5020, 2, 0}, "Moved");
  add("Olga", {2, 5030, 1, 0}, "Hello");
  ASSERT_TRUE(area.Lock(true));
  ASSERT_TRUE(area.StoreMails(std::move(mails)));
  area.Unlock();

  TGroup book;
  auto known = std::make_unique<TFriend>();
  known->SetName("OLGA");
  known->Address().SetText("2:5030/1");
  book.AddFriend(std::move(known));
  EXPECT_EQ(AddSendersToAddressBook(area, {0, 1, 2, 3, 4, 99}, book), 2);
  ASSERT_EQ(book.GetCount(), 3);
  const TFriend& first = *book.GetFriend(1);
  EXPECT_EQ(first.GetName(), "Ivan Petrov");
  EXPECT_EQ(first.Address().Text4D(), "2:5020/1.7");
  EXPECT_EQ(first.Comments, (std::vector<std::string>{"Sent a message to All", "about \"One\"",
                                                      "in area RU.TEST"}));
  EXPECT_EQ(book.GetFriend(2)->Address().Text4D(), "2:5020/2");

  // The book keeps its texts in the ANSI page: an echo whose tag is kept as
  // UTF-8 is named there by its letters.
  TArea utf8(dir.Path(), "RU.ТЕСТ", "RU.ТЕСТ");
  test::MailSpec mailSpec;
  mailSpec.from = "Petr";
  mailSpec.orig = {2, 5020, 3, 0};
  ASSERT_TRUE(utf8.Lock(true));
  ASSERT_TRUE(utf8.StoreMail(test::MakeSpecMail(mailSpec)));
  utf8.Unlock();
  EXPECT_EQ(AddSendersToAddressBook(utf8, {0}, book), 1);
  ASSERT_EQ(book.GetCount(), 4);
  EXPECT_EQ(book.GetFriend(3)->Comments.back(), "in area RU.\xD2\xC5\xD1\xD2");
}

}  // namespace
}  // namespace velmaris
