#include "processing/forms/AddAreaAssistent.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/forms/FormText.h"
#include "platform/CodePage.h"
#include "processing/AreaManager.h"
#include "widgets/PageManager.h"

namespace velmaris {

TAddAreaAssistent::TAddAreaAssistent(TConfigStore& store, TAreaManager* echoAreas, QWidget* parent)
    : TAssistentFrame("TAddAreaAssistent", QStringLiteral("New Area"), parent),
      store_(store),
      echoAreas_(echoAreas) {
  AddPage("Intro", QStringLiteral("Этот помощник добавит новую арию."));
  QVBoxLayout* name = AddPage("NamePage", QStringLiteral("Имя (тег) и вид арии:"));
  NewAreaname = new QLineEdit(this);
  NewAreaname->setObjectName("NewAreaname");
  name->addWidget(NewAreaname);
  EchoArea = new QRadioButton(QStringLiteral("Эхоконференция"), this);
  EchoArea->setObjectName("EchoArea");
  StorageArea = new QRadioButton(QStringLiteral("Архив (хранилище)"), this);
  StorageArea->setObjectName("StorageArea");
  name->addWidget(EchoArea);
  name->addWidget(StorageArea);
  QVBoxLayout* uplink = AddPage("UplinkPage", QStringLiteral("Аплинк этой эхи:"));
  Link = new QComboBox(this);
  Link->setObjectName("Link");
  uplink->addWidget(Link);
  OrderArea = new QCheckBox(QStringLiteral("Подписаться у аплинка (запрос AreaFix)"), this);
  OrderArea->setObjectName("OrderArea");
  OrderArea->setVisible(echoAreas_ != nullptr);
  uplink->addWidget(OrderArea);
  AddPage("ReadyPage", QStringLiteral("Всё готово. Нажмите \"Далее\", чтобы создать арию."));
  AddPage("CreatingPage", QStringLiteral("Ария создаётся ..."));
  AddPage("DonePage", QStringLiteral("Готово."));
  PagesAdded();

  PageManager()->OnGetNextPage = [this](int page, int& next) {
    if (page == NamePage && StorageArea->isChecked()) next = ReadyPage;
    if (page > ReadyPage) next = -1;  // the work pages move by themselves
  };
  PageManager()->OnGetPriorPage = [this](int page, int& prior) {
    if (page == ReadyPage && StorageArea->isChecked()) prior = NamePage;
    if (page > ReadyPage) prior = -1;
  };
}

void TAddAreaAssistent::Reset() {
  Link->clear();
  TLinkList& links = store_.Uplinks();
  for (int i = 0; i < links.GetCount(); ++i) Link->addItem(AnsiText(links.GetString(i)));
  Link->setCurrentIndex(Link->count() > 0 ? 0 : -1);
  EchoArea->setChecked(true);
  OrderArea->setChecked(echoAreas_ != nullptr);
  NewAreaname->clear();
  added_ = nullptr;
  PageManager()->SetPage(Intro, false);
}

void TAddAreaAssistent::NB_DELPageChanged() {
  switch (Notebook()->PageIndex()) {
    case Intro: SetButtons(true, false, true, true, QStringLiteral("Abort")); break;
    case NamePage: SetButtons(true, true, true, true, QStringLiteral("Abort")); break;
    case CreatingPage:
      SetButtons(true, false, true, false, QStringLiteral("Abort"));
      CreateArea();
      PageManager()->SetPage(DonePage, true);
      break;
    case DonePage: SetButtons(false, false, false, false, QStringLiteral("Close")); break;
    default: break;
  }
}

void TAddAreaAssistent::CreateArea() {
  const std::string name = AnsiBytes(NewAreaname->text().trimmed());
  const int index = Link->currentIndex();
  TNetLink* uplink = index >= 0 ? store_.Uplinks().GetItem(index) : nullptr;
  const bool echo = EchoArea->isChecked();
  // Typed in the ANSI page: a raw tag only when the OEM page cannot carry it.
  added_ = store_.AddArea(name, name, echo ? AreaTypeCode::Echomail : AreaTypeCode::Storage, uplink,
                          platform::IsRawTypedTag(name));
  if (added_ && echo && uplink && echoAreas_ && OrderArea->isChecked())
    echoAreas_->OrderArea(name, *uplink);
}

}  // namespace velmaris
