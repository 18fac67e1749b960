#include "widgets/PageManager.h"

#include <algorithm>

namespace velmaris {

// ---- TNotebook ----

TNotebook::TNotebook(QWidget* parent) : QStackedWidget(parent) {
  connect(this, &QStackedWidget::currentChanged, this, &TNotebook::pageChanged);
}

QWidget* TNotebook::AddPage(const QString& name, QWidget* page) {
  if (!page) page = new QWidget;
  page->setObjectName(name);
  addWidget(page);
  return page;
}

QStringList TNotebook::Pages() const {
  QStringList names;
  for (int i = 0; i < count(); ++i) names << widget(i)->objectName();
  return names;
}

void TNotebook::SetPageIndex(int index) {
  if (index < 0 || index >= count() || index == currentIndex()) return;
  bool allow = true;
  if (OnPageChanging) OnPageChanging(index, allow);
  if (allow) setCurrentIndex(index);
}

QString TNotebook::ActivePage() const {
  return currentWidget() ? currentWidget()->objectName() : QString();
}

// ---- TPageProxy ----

TPageProxy::TPageProxy(TPageManager* manager) : QObject(manager), manager_(manager) {}

TPageProxy::~TPageProxy() {
  if (manager_) manager_->Detach(this);
}

void TPageProxy::SetPageName(const QString& name) {
  TNotebook* notebook = manager_ ? manager_->PageOwner() : nullptr;
  pageName_ = (!notebook || notebook->Pages().contains(name)) ? name : QString();
}

// ---- TPageManager ----

TPageManager::TPageManager(QObject* owner) : QObject(owner) {}

TPageManager::~TPageManager() {
  for (TPageProxy* proxy : proxies_) proxy->manager_ = nullptr;
  for (auto& c : connections_) QObject::disconnect(c);
}

void TPageManager::Detach(TPageProxy* proxy) {
  proxies_.erase(std::remove(proxies_.begin(), proxies_.end(), proxy), proxies_.end());
}

void TPageManager::SetPageOwner(TNotebook* notebook) {
  notebook_ = notebook;
  if (!notebook) return;
  SyncProxies();
  if (history_.Count() == 0 && notebook->PageIndex() >= 0) {
    history_.AddPageIndex(notebook->PageIndex());
  }
}

void TPageManager::SyncProxies() {
  const QStringList pages = notebook_->Pages();
  while (static_cast<int>(proxies_.size()) < pages.size()) {
    auto* proxy = new TPageProxy(this);
    proxies_.push_back(proxy);
    for (const QString& name : pages) {
      const bool used = std::any_of(proxies_.begin(), proxies_.end(),
                                    [&](TPageProxy* p) { return p->pageName_ == name; });
      if (!used) {
        proxy->pageName_ = name;
        break;
      }
    }
  }
  for (int i = static_cast<int>(proxies_.size()) - 1;
       i >= 0 && static_cast<int>(proxies_.size()) > pages.size(); --i) {
    if (!proxies_[i]->pageName_.isEmpty() && !pages.contains(proxies_[i]->pageName_)) {
      delete proxies_[i];
    }
  }
  std::stable_sort(proxies_.begin(), proxies_.end(), [&](TPageProxy* a, TPageProxy* b) {
    auto rank = [&](TPageProxy* p) {
      const qsizetype i = pages.indexOf(p->pageName_);
      return i < 0 ? pages.size() : i;
    };
    return rank(a) < rank(b);
  });
}

TPageProxy* TPageManager::ProxyOf(int page) const {
  if (!notebook_ || page < 0 || page >= notebook_->count()) return nullptr;
  const QString name = notebook_->widget(page)->objectName();
  for (TPageProxy* proxy : proxies_) {
    if (proxy->pageName_ == name) return proxy;
  }
  return nullptr;
}

void TPageManager::SetButton(int which, QAbstractButton* button) {
  QObject::disconnect(connections_[which]);
  buttons_[which] = button;
  if (button) {
    connections_[which] =
        connect(button, &QAbstractButton::clicked, this, [this, which] { ChangePage(which == 1); });
  }
  UpdateButtons();
}

void TPageManager::Loaded() {
  if (notebook_ && SetStartPage && !proxies_.empty() && !proxies_.front()->pageName_.isEmpty()) {
    const int first = notebook_->Pages().indexOf(proxies_.front()->pageName_);
    if (first >= 0) notebook_->setCurrentIndex(first);
  }
  if (notebook_ && history_.Count() == 0 && notebook_->PageIndex() >= 0) {
    history_.AddPageIndex(notebook_->PageIndex());
  }
  UpdateButtons();
}

int TPageManager::GetPriorPageIndex(int page) const {
  int result = PriorPageIndex(page, useHistory_, history_);
  if (OnGetPriorPage) OnGetPriorPage(page, result);
  return result;
}

int TPageManager::GetNextPageIndex(int page) const {
  int result = NextPageIndex(page, PageCount(), useHistory_, history_);
  if (OnGetNextPage) OnGetNextPage(page, result);
  return result;
}

void TPageManager::ChangePage(bool next) {
  const int page = PageIndex();
  const int target = next ? GetNextPageIndex(page) : GetPriorPageIndex(page);
  move_ = next ? PageMove::Forward : PageMove::Back;
  SetPage(target, next);
  move_ = PageMove::Jump;
}

void TPageManager::SetPage(int newPage, bool next) {
  if (!notebook_ || newPage < 0 || newPage >= notebook_->count()) return;
  const int oldPage = notebook_->PageIndex();
  TPageProxy* oldProxy = ProxyOf(oldPage);
  TPageProxy* newProxy = ProxyOf(newPage);
  if (oldProxy && oldProxy->OnLeave) oldProxy->OnLeave(next);
  if (newProxy && newProxy->OnEnter) newProxy->OnEnter(next);
  notebook_->SetPageIndex(newPage);
  if (notebook_->PageIndex() != oldPage) {
    RecordPageChange(history_, useHistory_, move_, notebook_->PageIndex());
  }
  move_ = PageMove::Jump;
  UpdateButtons();
  if (notebook_->PageIndex() != newPage) return;
  if (oldProxy && oldProxy->OnHide) oldProxy->OnHide(next);
  if (newProxy && newProxy->OnShow) newProxy->OnShow(next);
  emit pageChanged();
}

void TPageManager::UpdateButtons() {
  const int page = PageIndex();
  if (buttons_[0]) buttons_[0]->setEnabled(GetPriorPageIndex(page) >= 0);
  if (buttons_[1]) buttons_[1]->setEnabled(GetNextPageIndex(page) >= 0);
  emit checkButtons();
}

}  // namespace velmaris
