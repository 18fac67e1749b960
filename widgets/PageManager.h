// A step-by-step assistant over a notebook (one page shown at a time): the
// "Prior" and "Next" buttons move between pages, are enabled only where a
// page lies in their direction, and each page's proxy hears when its page is
// entered, left, shown and hidden. With UseHistory, "Prior" returns along the
// pages actually visited (at most ten).
//
// One page change: OnLeave(old), OnEnter(new), the notebook changes page
// (it may refuse), the history moves, the buttons are updated (checkButtons),
// and only when the new page shows: OnHide(old), OnShow(new), pageChanged.
//
// The manager listens to the buttons' clicked(); handlers the form connects
// to a button itself run as well, those connected earlier first.
#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QStackedWidget>
#include <functional>
#include <vector>

#include "widgets/logic/PageHistory.h"

namespace velmaris {

// The notebook: pages named by their objectName.
class TNotebook : public QStackedWidget {
  Q_OBJECT

 public:
  explicit TNotebook(QWidget* parent = nullptr);

  // Adds a page widget (a new empty one when none is given) under the name.
  QWidget* AddPage(const QString& name, QWidget* page = nullptr);
  QStringList Pages() const;
  int PageIndex() const { return currentIndex(); }
  // Shows the page unless OnPageChanging refuses.
  void SetPageIndex(int index);
  QString ActivePage() const;

  // (new page, allow in/out)
  std::function<void(int newPage, bool& allow)> OnPageChanging;

 signals:
  // OnPageChanged: another page is shown.
  void pageChanged();
};

class TPageManager;

class TPageProxy : public QObject {
  Q_OBJECT

 public:
  using TPageNotifyEvent = std::function<void(bool next)>;

  explicit TPageProxy(TPageManager* manager);
  ~TPageProxy() override;

  TPageManager* Manager() const { return manager_; }
  // A name that is not a page of the manager's notebook stores "".
  QString PageName() const { return pageName_; }
  void SetPageName(const QString& name);

  TPageNotifyEvent OnEnter, OnLeave, OnShow, OnHide;

 private:
  friend class TPageManager;
  TPageManager* manager_;
  QString pageName_;
};

class TPageManager : public QObject {
  Q_OBJECT

 public:
  // (current page, new page in/out; -1 for none)
  using TPageRequestEvent = std::function<void(int currentPage, int& newPage)>;

  explicit TPageManager(QObject* owner = nullptr);
  ~TPageManager() override;

  TNotebook* PageOwner() const { return notebook_; }
  void SetPageOwner(TNotebook* notebook);
  const std::vector<TPageProxy*>& PageProxies() const { return proxies_; }
  TPageProxy* ProxyOf(int page) const;
  QAbstractButton* PriorBtn() const { return buttons_[0]; }
  void SetPriorBtn(QAbstractButton* button) { SetButton(0, button); }
  QAbstractButton* NextBtn() const { return buttons_[1]; }
  void SetNextBtn(QAbstractButton* button) { SetButton(1, button); }
  bool SetStartPage = true;
  bool UseHistory() const { return useHistory_; }
  void SetUseHistory(bool on) { useHistory_ = on; }
  const TPageHistory& History() const { return history_; }

  TPageRequestEvent OnGetPriorPage;
  TPageRequestEvent OnGetNextPage;

  // Call once the form is built: shows the first proxy's page (SetStartPage),
  // starts the history and updates the buttons.
  void Loaded();
  virtual void ChangePage(bool next);
  virtual int GetPriorPageIndex(int page) const;
  virtual int GetNextPageIndex(int page) const;
  void SetPage(int newPage, bool next);
  int PageIndex() const { return notebook_ ? notebook_->PageIndex() : -1; }
  int PageCount() const { return notebook_ ? notebook_->count() : 0; }
  void UpdateButtons();

 signals:
  // OnCheckButtons: the buttons' enabling was updated.
  void checkButtons();
  // OnPageChanged: a page change succeeded.
  void pageChanged();

 private:
  friend class TPageProxy;
  void SetButton(int which, QAbstractButton* button);
  void SyncProxies();
  void Detach(TPageProxy* proxy);

  QPointer<TNotebook> notebook_;
  std::vector<TPageProxy*> proxies_;
  QPointer<QAbstractButton> buttons_[2];
  QMetaObject::Connection connections_[2];
  TPageHistory history_;
  bool useHistory_ = false;
  PageMove move_ = PageMove::Jump;
};

}  // namespace velmaris
