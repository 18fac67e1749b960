#include "app/PluginBrowser.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/forms/FormText.h"
#include "widgets/TextOrder.h"

namespace velmaris {

namespace {

constexpr int kImageRole = Qt::UserRole + 1;

}  // namespace

TPluginBrowser::TPluginBrowser(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName("PluginBrowser");
  setWindowTitle(QStringLiteral("Запущенные плагины"));
  resize(420, 360);
  tree_ = new QTreeWidget(this);
  tree_->setObjectName("PluginTree");
  tree_->setHeaderHidden(true);
  tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree_->setSortingEnabled(true);
  tree_->sortByColumn(0, Qt::AscendingOrder);
  auto* status = new QStatusBar(this);
  status->setObjectName("StatusBar");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(tree_);
  layout->addWidget(status);
  // The "Services" node shows an open folder while it is expanded.
  connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    if (item->data(0, kImageRole).toInt() == plugin::BrowserImage::ServicesClosed)
      SetImage(item, plugin::BrowserImage::ServicesOpen);
  });
  connect(tree_, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
    if (item->data(0, kImageRole).toInt() == plugin::BrowserImage::ServicesOpen)
      SetImage(item, plugin::BrowserImage::ServicesClosed);
  });
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

void TPluginBrowser::SetImage(QTreeWidgetItem* item, int image) {
  static const QStyle::StandardPixmap icons[] = {
      QStyle::SP_CommandLink, QStyle::SP_ComputerIcon, QStyle::SP_DirClosedIcon,
      QStyle::SP_DirOpenIcon, QStyle::SP_FileDialogInfoView};
  item->setData(0, kImageRole, image);
  if (image >= 0 && image < 5) item->setIcon(0, style()->standardIcon(icons[image]));
}

void TPluginBrowser::AddNode(QTreeWidgetItem* parent, const plugin::TBrowserNode& node) {
  auto* item = parent ? new TTextOrderItem(parent) : new TTextOrderItem(tree_);
  item->setText(0, AnsiText(node.Text));
  SetImage(item, node.Image);
  for (const plugin::TBrowserNode& child : node.Children) AddNode(item, child);
}

void TPluginBrowser::Rebuild(const std::vector<plugin::TBrowserNode>& nodes) {
  tree_->setUpdatesEnabled(false);
  tree_->clear();
  for (const plugin::TBrowserNode& node : nodes) AddNode(nullptr, node);
  tree_->setUpdatesEnabled(true);
}

}  // namespace velmaris
