// The settings window's pages for the lists of the later layers (filters,
// autosend jobs, node and point lists, mailer profiles, unpack jobs) and
// the text groups. These lists are edited in place; the configuration is
// written by Apply or OK with the rest.
#include <QTabWidget>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

#include "app/DirDialog.h"
#include "app/JobProperties.h"
#include "app/SettingsDialog.h"
#include "app/logic/SettingsEdits.h"
#include "archive/UnpackJob.h"
#include "archive/UnpackJobConfig.h"
#include "core/ConfigStore.h"
#include "core/NLData.h"
#include "core/TextGroups.h"
#include "core/forms/FormText.h"
#include "core/forms/ListBoxLink.h"
#include "mailer/Mailers.h"
#include "mailer/forms/MailerProperties.h"
#include "processing/AutoSend.h"
#include "processing/Secretary.h"
#include "processing/forms/AutoSendProperties.h"
#include "processing/forms/FilterProperties.h"
#include "widgets/ModalHook.h"
#include "widgets/PageControl98.h"
#include "widgets/VxSpin.h"

namespace velmaris {

namespace {

using MakeButton =
    std::function<QPushButton*(QLayout*, const char*, const QString&, std::function<void()>)>;

// The button names of a list page; null: the page has no such button.
struct ListButtons {
  const char *add, *del, *up, *down, *sort, *props;
};

// The shared buttons of a list page: add, delete, up, down, sort and
// properties on the entry selected in box. The buttons that need an entry
// are enabled only while one is selected. del: the list's own removal
// (default: Delete).
template <class L>
void ListControls(QLayout* row, QListWidget* box, L& list, const ListButtons& n,
                  const MakeButton& button, std::function<void()> add,
                  std::function<void(int)> props, std::function<void(int)> del = {}) {
  auto select = [box](int index) { box->setCurrentRow(std::min(index, box->count() - 1)); };
  auto valid = [box, &list] {
    const int index = box->currentRow();
    return index >= 0 && index < list.GetCount() ? index : -1;
  };
  std::vector<QPushButton*> needEntry;
  if (n.add)
    button(row, n.add, QStringLiteral("Добавить"), [=] {
      add();
      select(box->count() - 1);
    });
  if (n.del)
    needEntry.push_back(button(row, n.del, QStringLiteral("Удалить"), [=, &list] {
      const int index = valid();
      if (index < 0) return;
      if (del)
        del(index);
      else
        list.Delete(index);
      select(index);
    }));
  if (n.up)
    needEntry.push_back(button(row, n.up, QStringLiteral("Вверх"),
                               [=, &list] { select(MoveEntry(list, valid(), -1)); }));
  if (n.down)
    needEntry.push_back(button(row, n.down, QStringLiteral("Вниз"),
                               [=, &list] { select(MoveEntry(list, valid(), +1)); }));
  if (n.sort)
    button(row, n.sort, QStringLiteral("Сортировать"), [=, &list] {
      list.Sort();
      select(0);
    });
  if (n.props)
    needEntry.push_back(button(row, n.props, QStringLiteral("Свойства..."), [=] {
      if (const int index = valid(); index >= 0) props(index);
    }));
  auto enable = [box, needEntry] {
    for (QPushButton* b : needEntry) b->setEnabled(box->currentRow() >= 0);
  };
  QObject::connect(box, &QListWidget::currentRowChanged, box, enable);
  select(0);
  enable();
}

void SetIfDiffers(QLineEdit* edit, const std::string& bytes) {
  const QString text = AnsiText(bytes);
  if (edit->text() != text) edit->setText(text);
}

// The same for a file or folder name; the edit keeps the bytes it shows, so
// that an edit changes only the parts typed over (FieldPathBytes).
void SetPathIfDiffers(QLineEdit* edit, const std::string& path) {
  const QString text = FilledPathText(edit, path);
  if (edit->text() != text) edit->setText(text);
}

// The macro list of the text-group page: the macro, a TAB, what it stands for.
constexpr const char* kMacroLines[] = {
    "%oa\tадрес автора письма",
    "%da\tадрес получателя письма",
    "%on\tимя автора письма",
    "%dn\tимя получателя письма",
    "%of\tимя автора (первое слово)",
    "%df\tимя получателя (первое слово)",
    "%su\tтема письма",
    "%ar\tэха письма",
    "%dt\tдата письма",
    "%ti\tвремя письма",
    "%sendday\tдень недели письма",
    "%tossdate\tдата получения",
    "%tosstime\tвремя получения",
    "%tossday\tдень недели получения",
    "%newdestname\tимя получателя нового письма",
    "%newdestfirst\tимя получателя нового письма (первое слово)",
    "%neworigname\tимя автора нового письма",
    "%newdestaddr\tадрес получателя нового письма",
    "%neworigaddr\tадрес автора нового письма",
    "%newsubject\tтема нового письма",
    "%newarea\tэха нового письма",
    "%storedate\tдата сохранения",
    "%storetime\tвремя сохранения",
    "%storeday\tдень недели сохранения",
};

// The nine choices of TextCombo, in their order.
constexpr TTextPart kTextChoices[kTextPartCount] = {
    TTextPart::NewHeader,     TTextPart::NewFooter,     TTextPart::ReplyHeader,
    TTextPart::ReplyFooter,   TTextPart::ForwardHeader, TTextPart::ForwardFooter,
    TTextPart::CommentHeader, TTextPart::CommentFooter, TTextPart::Origins};

}  // namespace

void TSettingsDialog::BuildLists() {
  QVBoxLayout* layout;
  Page("TabListen", QStringLiteral("Нодлисты"), layout);
  const MakeButton button = [this](QLayout* row, const char* name, const QString& caption,
                                   std::function<void()> fn) {
    return Button(row, name, caption, std::move(fn));
  };
  struct Side {
    TNLData& list;
    const char* box;
    ListButtons names;
    const char *name, *file, *diff, *zone, *mainZone;
    bool points;
    const char *browseList, *browseDiff, *listCaption, *diffCaption;
  };
  const Side sides[] = {
      {store_.Nodelists(),
       "lbNodelists",
       {"Button31", "Button35", "NLUp", "Button33", "Button32", nullptr},
       "NLName",
       "NLList",
       "NLDiff",
       nullptr,
       nullptr,
       false,
       "Button37",
       "Button36",
       "Select node list",
       "Select node diff"},
      {store_.Pointlists(),
       "lbPointLists",
       {"Button44", "Button38", "Button41", "Button42", "Button43", nullptr},
       "plName",
       "plList",
       "plDIff",
       "plZone",
       "Button29",
       true,
       "Button40",
       "Button39",
       "Select point list",
       "Select point diff"},
  };
  for (const Side& side : sides) {
    TNLData& list = side.list;
    QListWidget* box = ListBox(layout, side.box, list);
    auto* form = new QFormLayout;
    auto* name = new QLineEdit;
    name->setObjectName(side.name);
    auto* file = new QLineEdit;
    file->setObjectName(side.file);
    auto* diff = new QLineEdit;
    diff->setObjectName(side.diff);
    form->addRow(QStringLiteral("Домен:"), name);
    form->addRow(QStringLiteral("Список:"), file);
    form->addRow(QStringLiteral("Дифф:"), diff);
    TVxSpinEdit* zone = nullptr;
    if (side.points) {
      zone = new TVxSpinEdit;
      zone->setObjectName(side.zone);
      zone->SetMinValue(0);
      zone->SetMaxValue(32767);
      form->addRow(QStringLiteral("Зона:"), zone);
    }
    auto entry = [box, &list]() -> TNLInfo* {
      const int i = box->currentRow();
      return i >= 0 && i < list.GetCount() ? list.GetItem(i) : nullptr;
    };
    auto show = [=] {
      TNLInfo* info = entry();
      for (QWidget* w : std::initializer_list<QWidget*>{name, file, diff}) w->setEnabled(info);
      SetIfDiffers(name, info ? info->Domain : std::string());
      SetPathIfDiffers(file, info ? info->List : std::string());
      SetPathIfDiffers(diff, info ? info->Diff : std::string());
      if (zone) {
        const QSignalBlocker block(zone);
        zone->setEnabled(info);
        zone->SetValue(info ? info->Zone : 0);
      }
    };
    connect(box, &QListWidget::currentRowChanged, this, show);
    connect(name, &QLineEdit::textEdited, this, [=, &list](const QString& text) {
      if (TNLInfo* info = entry()) {
        info->Domain = AnsiBytes(text);
        list.SetString(box->currentRow(), info->Domain);
      }
    });
    connect(file, &QLineEdit::textEdited, this, [=](const QString& text) {
      if (TNLInfo* info = entry()) info->List = FieldPathBytes(file, text);
    });
    connect(diff, &QLineEdit::textEdited, this, [=](const QString& text) {
      if (TNLInfo* info = entry()) info->Diff = FieldPathBytes(diff, text);
    });
    auto* row = new QHBoxLayout;
    const bool points = side.points;
    ListControls(row, box, list, side.names, button,
                 [this, &list, points] {
                   list.Add("<Select Domain>", "<Select Liste Name>", "<Select Diff Name>",
                            points ? store_.Values()->Zone() : 0);
                 },
                 {});
    // The browse buttons: a file of the FTS-0005 directory gives the name.
    for (const auto& [buttonName, caption, edit, isDiff] :
         {std::tuple{side.browseList, side.listCaption, file, false},
          std::tuple{side.browseDiff, side.diffCaption, diff, true}}) {
      Button(row, buttonName, QStringLiteral("Выбрать..."),
             [this, caption = caption, edit = edit, isDiff = isDiff, entry] {
               TNLInfo* info = entry();
               if (!info) return;
               TEnhFileRequest request(this);
               request.setWindowTitle(QString::fromLatin1(caption));
               request.SetDirectory(PathText(store_.Values()->FTNDir()));
               if (!request.Execute()) return;
               const std::string name = ListBaseName(PathBytes(request.GetFileName()));
               (isDiff ? info->Diff : info->List) = name;
               edit->setText(FilledPathText(edit, name));
             });
    }
    if (zone) {
      connect(zone, &TVxSpinEdit::textChanged, this, [=] {
        if (TNLInfo* info = entry()) info->Zone = static_cast<int32_t>(zone->Value());
      });
      Button(row, side.mainZone, QStringLiteral("Основная зона"), [this, zone, show, entry] {
        if (TNLInfo* info = entry()) info->Zone = store_.Values()->Zone();
        show();
      });
    }
    layout->addLayout(row);
    layout->addLayout(form);
    show();
  }
}

void TSettingsDialog::BuildFilters() {
  TFilterList* import = GetImportFilters();
  TFilterList* exportList = GetExportFilters();
  if (!import || !exportList) return;
  QVBoxLayout* layout;
  Page("TabSheet12", QStringLiteral("Фильтры"), layout);
  const MakeButton button = [this](QLayout* row, const char* name, const QString& caption,
                                   std::function<void()> fn) {
    return Button(row, name, caption, std::move(fn));
  };
  struct Side {
    TFilterList& list;
    const char* box;
    ListButtons names;
    const char *label, *caption;
  };
  const Side sides[] = {
      {*import,
       "ImportFilters",
       {"Button6", "KillFilter", "Button2", "Button3", nullptr, "FilterProperties"},
       "ImportFiltersLabel",
       "Фильтры импорта:"},
      {*exportList,
       "ExportFilters",
       {"Button30", "Button27", "Button22", "Button26", nullptr, "ExportFilterProperties"},
       "ExportFiltersLabel",
       "Фильтры экспорта:"},
  };
  for (const Side& side : sides) {
    TFilterList& list = side.list;
    auto* label = new QLabel(QString::fromUtf8(side.caption));
    label->setObjectName(QString::fromLatin1(side.label));
    layout->addWidget(label);
    QListWidget* box = ListBox(layout, side.box, list);
    label->setBuddy(box);
    auto* row = new QHBoxLayout;
    // This window is modal: the properties windows must be too.
    auto props = [this, &list](int index) {
      ShowFilterProperties(*list.GetItem(index), list, store_, true);
    };
    ListControls(
        row, box, list, side.names, button,
        [&list, props] {
          list.AddFilter("New Filter", std::make_unique<TFilter>());
          props(list.GetCount() - 1);
        },
        props);
    layout->addLayout(row);
  }
}

void TSettingsDialog::BuildAutoSend() {
  TAutoSendJobs* jobs = GetAutoSendJobs();
  if (!jobs) return;
  QVBoxLayout* layout;
  Page("TabSheet2", QStringLiteral("Авторассылка"), layout);
  QListWidget* box = ListBox(layout, "AutoSendList", *jobs);
  auto* row = new QHBoxLayout;
  ListControls(
      row, box, *jobs,
      {"Button24", "Button25", "Button8", "Button20", "Button21", "AutoSendProperties"},
      [this](QLayout* r, const char* name, const QString& caption, std::function<void()> fn) {
        return Button(r, name, caption, std::move(fn));
      },
      [jobs] { jobs->AddJob(std::make_unique<TAutoSendJob>()); },
      [this, jobs](int index) {
        TAutoSendEnv env;
        env.Store = &store_;
        ShowAutoSendProperties(*jobs->GetItem(index), *jobs, env, true);
      });
  layout->addLayout(row);
}

void TSettingsDialog::BuildMailer() {
  QVBoxLayout* layout;
  Page("TabMailer", QStringLiteral("Мейлер"), layout);
  if (TMailerConfig* config = GetMailerConfig()) {
    TMailerList& list = config->Mailers();
    QListWidget* box = ListBox(layout, "MailerList", list);
    auto* row = new QHBoxLayout;
    ListControls(
        row, box, list,
        {"Button53", "DeleteLine", "Button51", "Button52", nullptr, "ShowMailerProperties"},
        [this](QLayout* r, const char* name, const QString& caption, std::function<void()> fn) {
          return Button(r, name, caption, std::move(fn));
        },
        [this, config] { config->AddMailer(store_); },
        [this, &list](int index) {
          // This window is modal: the properties window must be too. Its
          // line and dialling properties edit this page's fields.
          ShowMailerProperties(*list.GetMailer(index), &list, PendingLineSettings(), true);
        });
    // Delete only takes the profile off the list: OK or Apply frees it (its
    // window closes, its call ends), Cancel lists it again.
    layout->addLayout(row);
  }
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Трансляция номеров:"), Setting(SettingId::DialTrans));
  form->addRow(QStringLiteral("Линии (имя=устройство[;скорость[;none]]):"),
               Setting(SettingId::ModemLines));
  form->addRow(QStringLiteral("Строка инициализации:"), Setting(SettingId::EdModemInit));
  form->addRow(QStringLiteral("Время дозвона, с:"), Setting(SettingId::SpDialTimeout));
  form->addRow(QStringLiteral("Код страны:"), Setting(SettingId::EdCountryCode));
  form->addRow(QStringLiteral("Код города:"), Setting(SettingId::EdAreaCode));
  form->addRow(QStringLiteral("Выход на город:"), Setting(SettingId::EdOutsideLine));
  form->addRow(QStringLiteral("Междугородный префикс:"), Setting(SettingId::EdLongDistance));
  form->addRow(QStringLiteral("Международный префикс:"), Setting(SettingId::EdInternational));
  layout->addLayout(form);
}

TLineSettingsAccess TSettingsDialog::PendingLineSettings() {
  TLineSettingsAccess access = TLineSettingsAccess::Program(store_);
  QPointer<TSettingsDialog> self(this);
  const auto program = access;
  access.Get = [self, program] {
    if (!self) return program.Get();
    SettingsValues values = *self->store_.Values();
    self->ReadControls(values);
    return values;
  };
  access.Set = [self, program](const SettingsValues& values) {
    if (!self) return program.Set(values);
    SettingsValues shown = *self->store_.Values();
    self->ReadControls(shown);
    self->LoadControls(values, [&](SettingId id) { return !shown.Equal(values, id); });
  };
  return access;
}

void TSettingsDialog::BuildUnpackJobs(QVBoxLayout* layout) {
  TUnpJobList* jobs = GetUnpackJobList();
  if (!jobs) return;
  QListWidget* box = ListBox(layout, "JobList", *jobs);
  auto* row = new QHBoxLayout;
  ListControls(
      row, box, *jobs, {"Button34", "DelJob", "Button47", "Button46", "Button45", "JobProperties"},
      [this](QLayout* r, const char* name, const QString& caption, std::function<void()> fn) {
        return Button(r, name, caption, std::move(fn));
      },
      [jobs] { jobs->AddJob("<Unnamed>", std::make_unique<TUnpackJob>("Mask.*", "", "", 0)); },
      [this, box, jobs](int index) {
        TJProperties properties(*jobs->GetItem(index), *jobs, this);
        ExecModal(properties);
        box->setCurrentRow(index);
        emit box->currentRowChanged(index);  // the fields show what was stored
      });
  layout->addLayout(row);
  // The selected job's fields, taken over as they are typed.
  auto* form = new QFormLayout;
  auto edit = [form](const char* name, const QString& label) {
    auto* e = new QLineEdit;
    e->setObjectName(QString::fromLatin1(name));
    form->addRow(label, e);
    return e;
  };
  QLineEdit* name = edit("JobName", QStringLiteral("Название:"));
  QLineEdit* mask = edit("JobMask", QStringLiteral("Маска архивов:"));
  QLineEdit* dest = edit("JobDest", QStringLiteral("Распаковывать в:"));
  QLineEdit* move = edit("JobMove", QStringLiteral("Перемещать в:"));
  auto* source = new QComboBox;
  source->setObjectName("JobSource");
  source->addItems({QStringLiteral("Удалить архив"), QStringLiteral("Переместить архив"),
                    QStringLiteral("Оставить архив")});
  form->addRow(QStringLiteral("После распаковки:"), source);
  layout->addLayout(form);
  auto job = [box, jobs]() -> TUnpackJob* {
    const int i = box->currentRow();
    return i >= 0 && i < jobs->GetCount() ? jobs->GetItem(i) : nullptr;
  };
  auto show = [=] {
    TUnpackJob* j = job();
    for (QWidget* w : std::initializer_list<QWidget*>{name, mask, dest, move, source})
      w->setEnabled(j);
    SetIfDiffers(name, j ? jobs->GetString(box->currentRow()) : std::string());
    SetPathIfDiffers(mask, j ? j->Mask : std::string());
    SetPathIfDiffers(dest, j ? j->DestDir : std::string());
    SetPathIfDiffers(move, j ? j->MoveDir : std::string());
    const QSignalBlocker block(source);
    source->setCurrentIndex(j ? std::clamp<int32_t>(j->Source, 0, 2) : -1);
  };
  connect(box, &QListWidget::currentRowChanged, this, show);
  connect(name, &QLineEdit::textEdited, this, [=](const QString& text) {
    if (job()) jobs->SetString(box->currentRow(), AnsiBytes(text));
  });
  connect(mask, &QLineEdit::textEdited, this, [=](const QString& text) {
    if (TUnpackJob* j = job()) j->Mask = FieldPathBytes(mask, text);
  });
  connect(dest, &QLineEdit::textEdited, this, [=](const QString& text) {
    if (TUnpackJob* j = job()) j->DestDir = FieldPathBytes(dest, text);
  });
  connect(move, &QLineEdit::textEdited, this, [=](const QString& text) {
    if (TUnpackJob* j = job()) j->MoveDir = FieldPathBytes(move, text);
  });
  connect(source, &QComboBox::currentIndexChanged, this, [=](int index) {
    if (TUnpackJob* j = job(); j && index >= 0) j->Source = index;
  });
  show();
}

// --- Text groups --------------------------------------------------------------------------------

void TSettingsDialog::BuildTextGroups() {
  QVBoxLayout* layout;
  Page("TabGruppen", QStringLiteral("Шаблоны"), layout);
  TZRTexts& groups = store_.TextGroups();
  tgList_ = ListBox(layout, "TGList", groups);
  auto* row = new QHBoxLayout;
  ListControls(
      row, tgList_, groups,
      {"AddTG", "KillTextGroup", "TextGroupUp", "TextGroupDown", nullptr, nullptr},
      [this](QLayout* r, const char* name, const QString& caption, std::function<void()> fn) {
        return Button(r, name, caption, std::move(fn));
      },
      [this] { store_.AddDefaultTextGroup(); }, {});
  layout->addLayout(row);
  auto* form = new QFormLayout;
  groupName_ = new QLineEdit;
  groupName_->setObjectName("GroupName");
  textCombo_ = new QComboBox;
  textCombo_->setObjectName("TextCombo");
  textCombo_->addItems({QStringLiteral("Заголовок нового письма"),
                        QStringLiteral("Подпись нового письма"), QStringLiteral("Заголовок ответа"),
                        QStringLiteral("Подпись ответа"), QStringLiteral("Заголовок пересылки"),
                        QStringLiteral("Подпись пересылки"),
                        QStringLiteral("Заголовок комментария"),
                        QStringLiteral("Подпись комментария"), QStringLiteral("Ориджины")});
  textText_ = new QPlainTextEdit;
  textText_->setObjectName("TextText");
  form->addRow(QStringLiteral("Название:"), groupName_);
  form->addRow(QStringLiteral("Текст:"), textCombo_);
  form->addRow(textText_);
  // The macros the texts may hold; a click inserts one at the caret.
  vars_ = new QListWidget;
  vars_->setObjectName("Vars");
  for (const char* line : kMacroLines) vars_->addItem(QString::fromUtf8(line));
  vars_->setMaximumHeight(120);
  form->addRow(QStringLiteral("Макросы:"), vars_);
  layout->addLayout(form);
  connect(vars_, &QListWidget::itemClicked, this, [this] { VarsClick(); });
  connect(tgList_, &QListWidget::currentRowChanged, this, [this] { TGListClick(); });
  connect(textCombo_, &QComboBox::currentIndexChanged, this, [this] { TextComboChange(); });
  connect(groupName_, &QLineEdit::textEdited, this, [this] { GroupNameChange(); });
  connect(textText_, &QPlainTextEdit::textChanged, this, [this] { TextTextExit(); });
  TGListClick();
}

void TSettingsDialog::ShowTextGroup(int index) {
  tgList_->setCurrentRow(index);
  TGListClick();
  if (QWidget* page = notebook_->findChild<QWidget*>("TabGruppen")) notebook_->setCurrentWidget(page);
}

void TSettingsDialog::ShowDisplayPage() {
  if (QWidget* page = notebook_->findChild<QWidget*>("TabAnzeige")) notebook_->setCurrentWidget(page);
  if (auto* tabs = notebook_->findChild<QTabWidget*>("DisplayTabs")) tabs->setCurrentIndex(0);
}

void TSettingsDialog::ShowPage(const std::string& name) {
  if (name == "TabAnzeige") return ShowDisplayPage();
  if (QWidget* page = notebook_->findChild<QWidget*>(QString::fromStdString(name)))
    notebook_->setCurrentWidget(page);
}

void TSettingsDialog::TGListClick() {
  const int index = tgList_->currentRow();
  TZRTexts& groups = store_.TextGroups();
  const bool any = index >= 0 && index < groups.GetCount();
  for (QWidget* w : std::initializer_list<QWidget*>{groupName_, textCombo_, textText_})
    w->setEnabled(any);
  shownGroup_ = any ? index : -1;
  SetIfDiffers(groupName_, any ? groups.GetString(index) : std::string());
  TextComboChange();
}

void TSettingsDialog::TextComboChange() {
  shownPart_ = -1;  // no store while the memo is filled
  TZRTexts& groups = store_.TextGroups();
  std::vector<std::string> lines;
  const int part = textCombo_->currentIndex();
  if (shownGroup_ >= 0 && shownGroup_ < groups.GetCount() && part >= 0)
    lines = groups.GetItem(shownGroup_)->Part(kTextChoices[part]);
  QStringList text;
  for (const std::string& line : lines) text << AnsiText(line);
  textText_->setPlainText(text.join('\n'));
  shownPart_ = part;
}

void TSettingsDialog::TextTextExit() {
  TZRTexts& groups = store_.TextGroups();
  if (shownPart_ < 0 || shownGroup_ < 0 || shownGroup_ >= groups.GetCount()) return;
  std::vector<std::string> lines;
  for (const QString& line : textText_->toPlainText().split('\n')) lines.push_back(AnsiBytes(line));
  groups.GetItem(shownGroup_)->Part(kTextChoices[shownPart_]) = std::move(lines);
}

void TSettingsDialog::VarsClick() {
  const QListWidgetItem* item = vars_->currentItem();
  if (!item || shownPart_ < 0) return;
  const std::string macro = MacroOfLine(item->text().toStdString());
  if (macro.empty()) return;
  textText_->insertPlainText(QString::fromStdString(macro));  // stored through textChanged
  textText_->setFocus();
}

void TSettingsDialog::GroupNameChange() {
  TZRTexts& groups = store_.TextGroups();
  if (shownGroup_ < 0 || shownGroup_ >= groups.GetCount()) return;
  const QSignalBlocker block(tgList_);
  groups.SetString(shownGroup_, AnsiBytes(groupName_->text()));
}

}  // namespace velmaris
