#include "processing/forms/KillAssistents.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ConfigStore.h"
#include "core/NetLink.h"
#include "core/forms/FormText.h"
#include "processing/AreaRemoval.h"
#include "processing/forms/AddLinkAssistent.h"
#include "widgets/ModalHook.h"
#include "widgets/PageManager.h"

namespace velmaris {

namespace {

const QString kFailureText = QStringLiteral("Не все эхи удалось удалить, аплинк оставлен.");
const QString kDoneText = QStringLiteral("Готово.");
const QString kNotAllDeletedText = QStringLiteral("Не все арии удалены, остались:");

std::vector<std::string> Names(const QListWidget& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.count(); ++i) names.push_back(AreaNameOfItem(*list.item(i)));
  return names;
}

// The working pages move on by themselves; nothing leads back to them.
void OneWayFrom(TPageManager& manager, int workingPage) {
  manager.OnGetNextPage = [workingPage](int page, int& next) {
    if (page >= workingPage) next = -1;
  };
  manager.OnGetPriorPage = [workingPage](int page, int& prior) {
    if (page >= workingPage) prior = -1;
  };
}

// The first lines of a last page, then a line for each area that was
// listed and stays, with the reason.
QString WithKeptAreas(const QString& heading, const std::vector<TKeptArea>& kept) {
  QString text = heading;
  for (const TKeptArea& area : kept) {
    text +=
        QLatin1Char('\n') + AreaNameText(area.name) +
        (area.reason == TKeptArea::Reason::InUse ? QStringLiteral(" — используется, удалить нельзя")
                                                 : QStringLiteral(" — не найдена"));
  }
  return text;
}

}  // namespace

// --- TKillLinkAssistent ---------------------------------------------------------------

TKillLinkAssistent::TKillLinkAssistent(TConfigStore& store, TNetLink* uplink, TPckList* packers,
                                       QWidget* parent)
    : TAssistentFrame("TKillLinkAssistent", QStringLiteral("Remove Uplink"), parent),
      store_(store),
      uplink_(uplink),
      packers_(packers) {
  QVBoxLayout* intro =
      AddPage("Intro", QStringLiteral("Этот помощник удалит аплинка и все его эхи:"));
  Link = new QLabel(uplink_ ? AnsiText(uplink_->Name) : QString(), this);
  Link->setObjectName("Link");
  intro->addWidget(Link);
  QVBoxLayout* list =
      AddPage("ListPage", QStringLiteral("Будут удалены эти эхи со всеми письмами:"));
  KillList = new QListWidget(this);
  KillList->setObjectName("KillList");
  list->addWidget(KillList, 1);
  QVBoxLayout* working = AddPage("WorkingPage", QStringLiteral("Эхи удаляются ..."));
  Progress = new QProgressBar(this);
  Progress->setObjectName("Progress");
  working->addWidget(Progress);
  AddPage("ReportPage", QStringLiteral("Аплинк и его эхи удалены."));
  AddPage("FailurePage", kFailureText);
  PagesAdded();
  OneWayFrom(*PageManager(), WorkingPage);
}

bool TKillLinkAssistent::Execute() { return ExecModal(*this) == QDialog::Accepted; }

void TKillLinkAssistent::Reset() { PageManager()->SetPage(Intro, false); }

void TKillLinkAssistent::NB_DELPageChanged() {
  switch (Notebook()->PageIndex()) {
    case Intro: SetButtons(true, false, true, true, QStringLiteral("Cancel")); break;
    case ListPage:
      KillList->clear();
      for (const std::string& name : AreasOfUplink(store_, uplink_))
        AddAreaNameItem(KillList, name);
      SetButtons(true, true, true, true, QStringLiteral("Cancel"));
      break;
    case WorkingPage:
      SetButtons(true, false, true, false, QStringLiteral("Cancel"));
      CancelButton()->setEnabled(false);
      Progress->setMaximum(KillList->count());
      kept_.clear();
      DeleteListedAreas(
          store_, Names(*KillList), TRemovalTexts::Uplink,
          [this](int position, int) { Progress->setValue(position); }, &kept_);
      PageManager()->SetPage(ReportPage, true);
      break;
    case ReportPage:
      if (!RemoveUnusedUplink(store_, uplink_)) {
        PageText(FailurePage)->setText(WithKeptAreas(kFailureText, kept_));
        PageManager()->SetPage(FailurePage, true);
        break;
      }
      SetButtons(false, false, false, false, QStringLiteral("Close"));
      CancelButton()->setEnabled(true);
      if (store_.Uplinks().GetCount() == 0) {
        TAddLinkAssistent add(store_, packers_, this);
        ExecModal(add);
      }
      break;
    case FailurePage:
      SetButtons(false, false, false, false, QStringLiteral("Close"));
      CancelButton()->setEnabled(true);
      break;
    default: break;
  }
}

void TKillLinkAssistent::DEL_CancelClick() {
  if (Notebook()->PageIndex() == ReportPage) {
    accept();
  } else {
    reject();
  }
}

// --- TKillAreaAssistent ---------------------------------------------------------------

TKillAreaAssistent::TKillAreaAssistent(TConfigStore& store, QWidget* parent)
    : TAssistentFrame("TKillAreaAssistent", QStringLiteral("Delete Areas"), parent), store_(store) {
  AddPage("Intro", QStringLiteral("Этот помощник удалит арии вместе со всеми письмами."));
  QVBoxLayout* list = AddPage("ListPage", QStringLiteral("Будут удалены эти арии:"));
  KillList = new QListWidget(this);
  KillList->setObjectName("KillList");
  list->addWidget(KillList, 1);
  QVBoxLayout* working = AddPage("WorkingPage", QStringLiteral("Арии удаляются ..."));
  Progress = new QProgressBar(this);
  Progress->setObjectName("Progress");
  working->addWidget(Progress);
  AddPage("ReportPage", kDoneText);
  PagesAdded();
  OneWayFrom(*PageManager(), WorkingPage);
}

bool TKillAreaAssistent::Execute() { return ExecModal(*this) == QDialog::Accepted; }

void TKillAreaAssistent::Reset() { PageManager()->SetPage(Intro, false); }

void TKillAreaAssistent::NB_DELPageChanged() {
  switch (Notebook()->PageIndex()) {
    case Intro:
      Progress->setValue(0);
      SetButtons(true, false, true, true, QStringLiteral("Cancel"));
      break;
    case ListPage: SetButtons(true, true, true, true, QStringLiteral("Cancel")); break;
    case WorkingPage:
      SetButtons(true, false, true, false, QStringLiteral("Cancel"));
      CancelButton()->setEnabled(false);
      Progress->setMaximum(KillList->count());
      kept_.clear();
      DeleteListedAreas(
          store_, Names(*KillList), TRemovalTexts::Area,
          [this](int position, int) { Progress->setValue(position); }, &kept_);
      // An area that stays is said on the last page, with the reason.
      PageText(ReportPage)
          ->setText(kept_.empty() ? kDoneText : WithKeptAreas(kNotAllDeletedText, kept_));
      PageManager()->SetPage(ReportPage, true);
      break;
    case ReportPage:
      SetButtons(false, false, false, false, QStringLiteral("Close"));
      CancelButton()->setEnabled(true);
      break;
    default: break;
  }
}

void TKillAreaAssistent::DEL_CancelClick() {
  if (Notebook()->PageIndex() == ReportPage) {
    accept();
  } else {
    reject();
  }
}

}  // namespace velmaris
