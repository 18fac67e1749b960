// The search over many areas: the criteria page (the areas to search and
// the mask's conditions, edited in the window's own TSearchRequest as they
// change) and the results page (progress and the hit lines). The search
// itself (app/logic/AreaSearch.h) runs on the main thread and keeps the
// window alive by processing pending messages. A double click or Enter on a
// hit hands its area and message to OnOpenHit.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/logic/AreaSearch.h"
#include "core/PubLst.h"
#include "core/SearchRequest.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace velmaris {

class TAnimatedSymbol;
class TAreaList;
class TEZBetterListBox;

class TSearchAssistent : public QWidget, public TObject, private TSearchView {
  Q_OBJECT

 public:
  // the hit (its area by name: areas may have moved or gone since), the
  // request (its text condition tells the message window what to find in
  // the message)
  using OpenHitEvent = std::function<void(const TSearchHit& hit, const TSearchRequest&)>;

  explicit TSearchAssistent(TAreaList& areas, QWidget* parent = nullptr);
  ~TSearchAssistent() override;

  TSearchRequest& Request() { return request_; }
  // The area names, one row per area of the list (the main window's rebuild).
  void SetAreaNames(const QStringList& names);
  TEZBetterListBox* SearchAreas() const { return searchAreas_; }
  bool Searching() const { return searching_; }
  const std::vector<TSearchHit>& Hits() const { return hits_; }
  void OkbtnClick();
  void NewActionClick();
  void AbortClick();
  // Opens the hit at the row of Results (nothing for a row without one).
  void OpenHit(int row);

  OpenHitEvent OnOpenHit;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildCriteria();
  QWidget* BuildResults();
  void AddTextRow(QWidget* page, QGridLayout* grid, int row, const char* apply,
                  const char* edit, const char* caseName, const char* substr, const QString& caption,
                  bool TSearchRequest::*applyField, TSearchString TSearchRequest::*condition);
  void AddFlagRow(QWidget* page, QGridLayout* grid, int row, const char* tested,
                  const char* state, const QString& caption, uint32_t bit);
  void ShowCriteriaPage();
  void RunSearch();

  // TSearchView
  void AreaLabel(const std::string& text) override;
  void MailLabel(const std::string& text) override;
  void AreaProgress(int position, int max) override;
  void MailProgress(int position, int max) override;
  void AddHit(const TSearchHit& hit) override;
  void ProcessMessages() override;

  TAreaList& areas_;
  TSearchRequest request_;
  TAreaSearch search_;
  std::vector<TSearchHit> hits_;
  bool searching_ = false;

  QTabWidget* display_ = nullptr;
  TEZBetterListBox* searchAreas_ = nullptr;
  QLabel* areaLabel_ = nullptr;
  QLabel* mailLabel_ = nullptr;
  QProgressBar* areaProgress_ = nullptr;
  QProgressBar* mailProgress_ = nullptr;
  QListWidget* results_ = nullptr;
  TAnimatedSymbol* animate_ = nullptr;
  QPushButton* okbtn_ = nullptr;
  QPushButton* newAction_ = nullptr;
  QPushButton* abort_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace velmaris
