// Tree rows that sort by name as the lists do: by the ANSI bytes without
// case, ё right after е, by whichever column the tree sorts.
#include "widgets/TextOrder.h"

#include <gtest/gtest.h>

#include <QTreeWidget>

namespace velmaris::test {
namespace {

QStringList Column(const QTreeWidget& tree, int column) {
  QStringList out;
  for (int i = 0; i < tree.topLevelItemCount(); ++i) out << tree.topLevelItem(i)->text(column);
  return out;
}

TEST(TextOrderItem, SortsByTheSortColumnBothWays) {
  QTreeWidget tree;
  tree.setColumnCount(2);
  const char* rows[][2] = {{"1", "Жанна"}, {"2", "ёжик"}, {"3", "bob"},
                           {"4", "Ёлкин"}, {"5", "Егор"}, {"6", "Яна"},
                           {"7", "Анна"},  {"8", "Ежов"}, {"9", "Alice"}};
  for (const auto& row : rows)
    new TTextOrderItem(&tree, {QString::fromUtf8(row[0]), QString::fromUtf8(row[1])});
  const QStringList ascending = {"Alice", "bob",   "Анна",  "Егор", "Ежов",
                                 "ёжик",  "Ёлкин", "Жанна", "Яна"};
  tree.sortItems(1, Qt::AscendingOrder);
  EXPECT_EQ(Column(tree, 1), ascending);
  tree.sortItems(1, Qt::DescendingOrder);
  QStringList descending = ascending;
  std::reverse(descending.begin(), descending.end());
  EXPECT_EQ(Column(tree, 1), descending);
  tree.sortItems(0, Qt::AscendingOrder);
  EXPECT_EQ(Column(tree, 0), QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
}

TEST(TextOrderItem, ASortedTreePlacesNewAndRenamedRows) {
  QTreeWidget tree;
  tree.setSortingEnabled(true);
  tree.sortByColumn(0, Qt::AscendingOrder);
  for (const char* name : {"Жанна", "Анна", "Яна"})
    new TTextOrderItem(&tree, {QString::fromUtf8(name)});
  auto* added = new TTextOrderItem(&tree);
  added->setText(0, QStringLiteral("Ёлкин"));
  EXPECT_EQ(Column(tree, 0), QStringList({"Анна", "Ёлкин", "Жанна", "Яна"}));
  tree.topLevelItem(3)->setText(0, QStringLiteral("Ежов"));
  EXPECT_EQ(Column(tree, 0), QStringList({"Анна", "Ежов", "Ёлкин", "Жанна"}));
}

}  // namespace
}  // namespace velmaris::test
