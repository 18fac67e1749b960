// The order of names and other texts in sorted lists and trees. The texts a
// control shows are the stored byte strings of the ANSI code page, so they
// sort as those bytes sort (platform::LessNoCase): without letter case, and
// with the Cyrillic letters that lie outside а..я right after the letter
// they follow (Анна, Егор, Ёлкин, Жанна; never ё before а or after я).
#pragma once

#include <QString>
#include <QTreeWidgetItem>
#include <string>
#include <string_view>

namespace velmaris {

// The bytes a shown text sorts by: the text in the ANSI code page.
std::string SortKeyOf(const QString& text);
// Whether sort key a comes before sort key b.
bool SortKeyLess(std::string_view a, std::string_view b);
// Whether shown text a comes before shown text b.
bool TextLess(const QString& a, const QString& b);

// A tree row that sorts by the text of the tree's sort column in that order.
class TTextOrderItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& other) const override;
};

}  // namespace velmaris
