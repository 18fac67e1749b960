#include "core/forms/SrchMaskProperties.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <utility>

#include "core/forms/DialogButtons.h"
#include "core/forms/FormText.h"
#include "platform/Help.h"
#include "widgets/DateEdit.h"

namespace velmaris {

namespace {

// The flag boxes in the order of their rows: item 0 not set, 1 set, 2 ignore.
struct FlagBox {
  const char* name;
  const char* caption;
  uint32_t bit;
};
constexpr FlagBox kFlagBoxes[7] = {{"CBToSysop", "Сисопу", 0x0010}, {"CBSend", "К отправке", 0x0040},
                                   {"CBSent", "Отправлено", 0x0080}, {"CBKill", "Kill/Sent", 0x0020},
                                   {"CBHold", "Hold", 0x0002},       {"CBUnread", "Не прочитано", 0x0004},
                                   {"CBImported", "Новое", 0x2000}};

const char* const kSchemes[kMaskSchemeCount] = {
    "Все сообщения",        "Непрочитанные",       "Непрочитанные сисопу", "Прочитанные",
    "Сисопу",               "Отправленные",        "Неотправленные",       "Новые",
    "Непрочитанные новые",  "За последнюю неделю", "За последние 2 недели", "За последние 3 недели",
    "За последние 4 недели"};

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

}  // namespace

TSrchMaskProperties::TSrchMaskProperties(TSearchRequest& request) : request_(request) {
  setObjectName("SrchMaskProperties");
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("Схема:"), this));
  sheme_ = Named(new QComboBox(this), "Sheme");
  for (const char* scheme : kSchemes) sheme_->addItem(QString::fromUtf8(scheme));
  top->addWidget(sheme_, 1);
  layout->addLayout(top);
  auto* pages = Named(new QTabWidget(this), "PageControl1");
  QWidget* texts = BuildTexts();
  QWidget* flags = BuildFlags();
  pages->addTab(flags, QStringLiteral("Флаги"));
  pages->addTab(texts, QStringLiteral("Текст"));
  pages->addTab(BuildDates(), QStringLiteral("Даты"));
  // The owner chooses which condition pages the mask offers.
  pages->setTabVisible(0, request.ShowFlagsPage);
  pages->setTabVisible(1, request.ShowOriginPage || request.ShowDestinationPage ||
                              request.ShowSubjectPage || request.ShowTextPage);
  layout->addWidget(pages);
  const TDialogButtons buttons = AddDialogButtons(layout);
  apply_ = buttons.Apply;
  buttons.OK->setDefault(true);
  connect(buttons.OK, &QPushButton::clicked, this, [this] {
    bApplyClick();
    close();
  });
  connect(buttons.Cancel, &QPushButton::clicked, this, &QDialog::close);
  connect(apply_, &QPushButton::clicked, this, [this] { bApplyClick(); });
  // The menu: close, and the help file's contents and its topic search (the
  // contents page lists every topic).
  auto* bar = Named(new QMenuBar(this), "MainMenu1");
  layout->setMenuBar(bar);
  QMenu* file = Named(bar->addMenu(QStringLiteral("&Файл")), "Datei1");
  auto* closeItem = Named(file->addAction(QStringLiteral("Закрыть")), "Schlieen1");
  connect(closeItem, &QAction::triggered, this, &QDialog::close);
  QMenu* help = Named(bar->addMenu(QStringLiteral("&Справка")), "Hilfe1");
  for (const auto& [caption, name] :
       {std::pair{"Содержание", "Inhalt1"}, {"Поиск раздела", "Suchen1"}})
    connect(Named(help->addAction(QString::fromUtf8(caption)), name), &QAction::triggered, this,
            [] { platform::ShowHelp(platform::kHelpContents); });
  connect(sheme_, &QComboBox::activated, this, [this](int index) { ShemeChange(index); });
  Fill(request_);
  setWindowTitle(AnsiText(request_.Caption));
}

QWidget* TSrchMaskProperties::BuildTexts() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  struct Row {
    TextRow* row;
    const char *apply, *text, *cs, *substr, *caption;
    bool shown;
  };
  const Row rows[] = {
      {&origin_, "DoApplyOrigName", "OrigName", "OrigCS", "OrigSubstr", "От", request_.ShowOriginPage},
      {&destination_, "DoApplyDestName", "DestName", "DestCS", "DestSubstr", "Кому",
       request_.ShowDestinationPage},
      {&subject_, "DoApplySubject", "Subject", "SubjectCS", "SubjSubstr", "Тема", request_.ShowSubjectPage},
      {&text_, "DoApplyText", "Text", "TextCS", "TextSubstr", "Текст", request_.ShowTextPage}};
  int line = 0;
  for (const Row& r : rows) {
    *r.row = {Named(new QCheckBox(QString::fromUtf8(r.caption), page), r.apply),
              Named(new QLineEdit(page), r.text),
              Named(new QCheckBox(QStringLiteral("Учитывать регистр"), page), r.cs),
              Named(new QCheckBox(QStringLiteral("Подстрока"), page), r.substr)};
    r.row->text->setMaxLength(static_cast<int>(TSearchString::kMaxText));
    grid->addWidget(r.row->apply, line, 0);
    grid->addWidget(r.row->text, line, 1);
    grid->addWidget(r.row->caseSensitive, line, 2);
    grid->addWidget(r.row->substring, line, 3);
    for (QWidget* w : {static_cast<QWidget*>(r.row->apply), static_cast<QWidget*>(r.row->text),
                       static_cast<QWidget*>(r.row->caseSensitive),
                       static_cast<QWidget*>(r.row->substring)})
      w->setVisible(r.shown);
    for (QCheckBox* box : {r.row->apply, r.row->caseSensitive, r.row->substring})
      connect(box, &QCheckBox::toggled, this, [this] { Modified(); });
    connect(r.row->text, &QLineEdit::textChanged, this, [this] { Modified(); });
    ++line;
  }
  grid->setRowStretch(line, 1);
  return page;
}

QWidget* TSrchMaskProperties::BuildFlags() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  for (int i = 0; i < 7; ++i) {
    grid->addWidget(new QLabel(QString::fromUtf8(kFlagBoxes[i].caption), page), i, 0);
    flags_[i] = Named(new QComboBox(page), kFlagBoxes[i].name);
    flags_[i]->addItems({QStringLiteral("не установлен"), QStringLiteral("установлен"),
                         QStringLiteral("не важно")});
    grid->addWidget(flags_[i], i, 1);
    connect(flags_[i], &QComboBox::currentIndexChanged, this, [this] { Modified(); });
  }
  grid->setRowStretch(7, 1);
  return page;
}

TSrchMaskProperties::DateRow TSrchMaskProperties::AddDateRow(
    QWidget* page, QGridLayout* grid, int row, const QString& caption, const char* ignore,
    const char* recent, const char* range, const char* days, const char* start, const char* end) {
  DateRow r{Named(new QRadioButton(QStringLiteral("Любая"), page), ignore),
            Named(new QRadioButton(QStringLiteral("За последние дни:"), page), recent),
            Named(new QRadioButton(QStringLiteral("С ... по"), page), range),
            Named(new QComboBox(page), days),
            Named(new TDateEdit(page), start),
            Named(new TDateEdit(page), end)};
  auto* group = new QButtonGroup(page);
  for (QRadioButton* b : {r.ignore, r.recent, r.range}) group->addButton(b);
  r.days->setEditable(true);
  r.days->addItems({"7", "14", "21", "28"});
  for (TDateEdit* d : {r.start, r.end}) {
    // Four-digit years, so a stored date reads back as the same day.
    d->SetYearDigits(TYearDigits::dyFour);
    connect(d, &TDateEdit::change, this, [this] { Modified(); });
  }
  for (QRadioButton* b : {r.ignore, r.recent, r.range})
    connect(b, &QRadioButton::toggled, this, [this] { Modified(); });
  connect(r.days, &QComboBox::currentTextChanged, this, [this] { Modified(); });
  grid->addWidget(new QLabel(caption, page), row, 0, 1, 3);
  grid->addWidget(r.ignore, row + 1, 0);
  grid->addWidget(r.recent, row + 2, 0);
  grid->addWidget(r.days, row + 2, 1);
  grid->addWidget(r.range, row + 3, 0);
  grid->addWidget(r.start, row + 3, 1);
  grid->addWidget(r.end, row + 3, 2);
  return r;
}

QWidget* TSrchMaskProperties::BuildDates() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  created_ = AddDateRow(page, grid, 0, QStringLiteral("Дата создания"), "RBCIgnore", "RBCRecent",
                        "RBCRange", "CBCRecent", "CStart", "CEnd");
  tossed_ = AddDateRow(page, grid, 4, QStringLiteral("Дата получения"), "RBTIgnore", "RBTRecent",
                       "RBTRange", "CBTRecent", "TStart", "TEnd");
  grid->setRowStretch(8, 1);
  return page;
}

void TSrchMaskProperties::Fill(const TSearchRequest& r) {
  const bool wasGuarded = guard_;
  guard_ = true;
  const auto fillText = [](TextRow& row, bool apply, const TSearchString& c) {
    row.apply->setChecked(apply);
    row.text->setText(AnsiText(c.Text()));
    row.caseSensitive->setChecked(c.CaseSensitive);
    row.substring->setChecked(c.SubstringMatch);
  };
  fillText(origin_, r.ApplyOrigin, r.Origin);
  fillText(destination_, r.ApplyDestination, r.Destination);
  fillText(subject_, r.ApplySubject, r.Subject);
  fillText(text_, r.ApplyText, r.Text);
  for (int i = 0; i < 7; ++i) {
    const uint32_t bit = kFlagBoxes[i].bit;
    flags_[i]->setCurrentIndex(!(r.FlagMask & bit) ? 2 : (r.Flags & bit) ? 1 : 0);
  }
  const auto fillDate = [](DateRow& row, const TDateSearch& d) {
    (d.Mode == TDateSearch::Recent ? row.recent
     : d.Mode == TDateSearch::Range ? row.range
                                    : row.ignore)
        ->setChecked(true);
    row.days->setCurrentText(QString::number(d.Limit > 0 ? d.Limit : 7));
    row.start->SetDate(d.Start);
    row.end->SetDate(d.End);
  };
  fillDate(created_, r.CreationDate);
  fillDate(tossed_, r.TossDate);
  sheme_->setCurrentIndex(RecognizeMaskScheme(r));
  apply_->setEnabled(false);
  guard_ = wasGuarded;
}

TSearchRequest TSrchMaskProperties::FromControls() const {
  TSearchRequest r = request_;
  const auto readText = [](const TextRow& row, bool& apply, TSearchString& c) {
    apply = row.apply->isChecked();
    c.SetText(AnsiBytes(row.text->text()));
    c.CaseSensitive = row.caseSensitive->isChecked();
    c.SubstringMatch = row.substring->isChecked();
  };
  readText(origin_, r.ApplyOrigin, r.Origin);
  readText(destination_, r.ApplyDestination, r.Destination);
  readText(subject_, r.ApplySubject, r.Subject);
  readText(text_, r.ApplyText, r.Text);
  // Bits outside the boxes keep their place in the mask.
  r.FlagMask &= ~kMaskDialogFlags;
  r.Flags &= ~kMaskDialogFlags;
  for (int i = 0; i < 7; ++i) {
    const int item = flags_[i]->currentIndex();
    if (item == 2) continue;
    r.FlagMask |= kFlagBoxes[i].bit;
    if (item == 1) r.Flags |= kFlagBoxes[i].bit;
  }
  const auto readDate = [](const DateRow& row, TDateSearch& d) {
    d.Mode = row.recent->isChecked() ? TDateSearch::Recent
             : row.range->isChecked() ? TDateSearch::Range
                                      : TDateSearch::AnyDate;
    d.Limit = MaskDaysFromText(row.days->currentText().toStdString());
    d.Start = row.start->GetDate();
    d.End = row.end->GetDate();
  };
  readDate(created_, r.CreationDate);
  readDate(tossed_, r.TossDate);
  return r;
}

void TSrchMaskProperties::Modified() {
  apply_->setEnabled(true);
  if (!guard_) {
    guard_ = true;
    sheme_->setCurrentIndex(RecognizeMaskScheme(FromControls()));
    guard_ = false;
  }
}

void TSrchMaskProperties::ShemeChange(int index) {
  if (index < 0 || index >= kMaskSchemeCount) return;
  TSearchRequest r = FromControls();
  ApplyMaskScheme(r, index);
  guard_ = true;
  Fill(r);
  guard_ = false;
  sheme_->setCurrentIndex(index);
  apply_->setEnabled(true);
}

void TSrchMaskProperties::bApplyClick() {
  const TSearchRequest r = FromControls();
  request_.ApplyOrigin = r.ApplyOrigin;
  request_.ApplyDestination = r.ApplyDestination;
  request_.ApplySubject = r.ApplySubject;
  request_.ApplyText = r.ApplyText;
  request_.Origin = r.Origin;
  request_.Destination = r.Destination;
  request_.Subject = r.Subject;
  request_.Text = r.Text;
  request_.FlagMask = r.FlagMask;
  request_.Flags = r.Flags;
  request_.CreationDate = r.CreationDate;
  request_.TossDate = r.TossDate;
  setWindowTitle(AnsiText(request_.Caption));
  apply_->setEnabled(false);
  if (OnApplied) OnApplied(request_);
}

void TSrchMaskProperties::closeEvent(QCloseEvent* event) {
  QDialog::closeEvent(event);
  if (request_.Dialog.Dialog.get() == this) request_.Dialog.Dialog.release();
  deleteLater();
}

TSrchMaskProperties* EditSearchRequest(TSearchRequest& request) {
  auto* dialog = dynamic_cast<TSrchMaskProperties*>(request.Dialog.Dialog.get());
  if (dialog == nullptr) {
    dialog = new TSrchMaskProperties(request);
    request.Dialog.Dialog.reset(dialog);
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  return dialog;
}

}  // namespace velmaris
