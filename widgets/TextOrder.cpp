#include "widgets/TextOrder.h"

#include <QTreeWidget>

#include "core/forms/FormText.h"
#include "platform/CaseFold.h"

namespace velmaris {

std::string SortKeyOf(const QString& text) { return AnsiBytes(text); }

bool SortKeyLess(std::string_view a, std::string_view b) {
  return platform::LessNoCase(a, b, platform::AnsiCodePage());
}

bool TextLess(const QString& a, const QString& b) {
  return SortKeyLess(SortKeyOf(a), SortKeyOf(b));
}

bool TTextOrderItem::operator<(const QTreeWidgetItem& other) const {
  const QTreeWidget* tree = treeWidget();
  const int column = tree && tree->sortColumn() >= 0 ? tree->sortColumn() : 0;
  return TextLess(text(column), other.text(column));
}

}  // namespace velmaris
