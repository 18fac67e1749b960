// The two removal assistants: TKillLinkAssistent removes an uplink with all
// its areas (NETMAIL excepted), TKillAreaAssistent deletes the listed areas
// with their messages. Both list what goes, delete it on their working page
// and end on a report page (the uplink assistant on a failure page when an
// area of the uplink stays), which names every listed area that stays and
// why. Execute is true when they ended on the report.
#pragma once

#include <vector>

#include "processing/AreaRemoval.h"
#include "processing/forms/AssistentFrame.h"

class QLabel;
class QListWidget;
class QProgressBar;

namespace velmaris {

class TConfigStore;
class TNetLink;
class TPckList;

class TKillLinkAssistent : public TAssistentFrame {
  Q_OBJECT

 public:
  enum Page { Intro, ListPage, WorkingPage, ReportPage, FailurePage };

  // packers: offered by the add-uplink assistant that opens when the last
  // uplink went.
  TKillLinkAssistent(TConfigStore& store, TNetLink* uplink, TPckList* packers,
                     QWidget* parent = nullptr);
  bool Execute();

  QLabel* Link;
  QListWidget* KillList;
  QProgressBar* Progress;

 protected:
  void NB_DELPageChanged() override;
  void DEL_CancelClick() override;
  void Reset() override;

 private:
  TConfigStore& store_;
  TNetLink* uplink_;
  TPckList* packers_;
  std::vector<TKeptArea> kept_;  // listed and not deleted
};

class TKillAreaAssistent : public TAssistentFrame {
  Q_OBJECT

 public:
  enum Page { Intro, ListPage, WorkingPage, ReportPage };

  explicit TKillAreaAssistent(TConfigStore& store, QWidget* parent = nullptr);
  bool Execute();

  QListWidget* KillList;  // filled by the caller
  QProgressBar* Progress;

 protected:
  void NB_DELPageChanged() override;
  void DEL_CancelClick() override;
  void Reset() override;

 private:
  TConfigStore& store_;
  std::vector<TKeptArea> kept_;  // listed and not deleted
};

}  // namespace velmaris
