#include "processing/forms/HatchAss.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/ConfigStore.h"
#include "core/forms/ComboBoxLink.h"
#include "core/forms/FormText.h"
#include "processing/Hatch.h"
#include "widgets/FileEdits.h"
#include "widgets/PageManager.h"

namespace velmaris {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

enum Page { kIntro = 0, kFile = 1, kDescription = 2, kUplink = 3, kResult = 4 };

QLabel* Text(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  return label;
}

}  // namespace

THatchAss::THatchAss(TConfigStore& store, TPckList* packers, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store), packers_(packers) {
  setObjectName("THatchAss");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(U("Хэтчинг файла"));
  Build();
  manager_->Loaded();
  NotebookPageChanged();
}

THatchAss::~THatchAss() = default;

void THatchAss::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  uplinks_.reset();
}

void THatchAss::Build() {
  notebook_ = new TNotebook(this);
  notebook_->setObjectName("Notebook");

  QWidget* intro = notebook_->AddPage("Intro");
  auto* introLayout = new QVBoxLayout(intro);
  introLayout->addWidget(Text(U("Этот помощник отправляет файл в файлэху: он пишет TIC-файл "
                                "в исходящий каталог аплинка и вносит оба файла в его "
                                "flow-файл. Файлы уйдут при следующем звонке."),
                              intro));
  introLayout->addStretch(1);

  QWidget* file = notebook_->AddPage("FilePage");
  filename_ = new TFilenameEdit(file);
  filename_->setObjectName("Filename");
  filename_->SetHoldsPath(true);
  filename_->setText(U("<Выберите файл>"));
  killSrc_ = new QRadioButton(U("Удалить файл после отправки"), file);
  killSrc_->setObjectName("KillSrc");
  keepSrc_ = new QRadioButton(U("Не удалять файл"), file);
  keepSrc_->setObjectName("RadioButton2");
  keepSrc_->setChecked(true);
  auto* fileLayout = new QVBoxLayout(file);
  fileLayout->addWidget(Text(U("Файл:"), file));
  for (QWidget* w : std::initializer_list<QWidget*>{filename_, killSrc_, keepSrc_})
    fileLayout->addWidget(w);
  fileLayout->addStretch(1);

  QWidget* desc = notebook_->AddPage("DescriptionPage");
  description_ = new QPlainTextEdit(desc);
  description_->setObjectName("Description");
  auto* descLayout = new QVBoxLayout(desc);
  descLayout->addWidget(Text(U("Описание файла:"), desc));
  descLayout->addWidget(description_);

  QWidget* link = notebook_->AddPage("UplinkPage");
  nlCombo_ = new QComboBox(link);
  nlCombo_->setObjectName("NLCombo");
  uplinks_ = std::make_unique<TComboAttachment>(store_.Uplinks(), nlCombo_);
  connect(nlCombo_, &QComboBox::currentIndexChanged, this, [this] { NLComboChange(); });
  button1_ = new QPushButton(U("Свойства..."), link);
  button1_->setObjectName("Button1");
  // The uplink's properties window is not part of this program yet.
  button1_->setEnabled(false);
  areaCombo_ = new QComboBox(link);
  areaCombo_->setObjectName("AreaCombo");
  areaCombo_->setEditable(true);
  replace_ = new QLineEdit(link);
  replace_->setObjectName("Replace");
  magic_ = new QLineEdit(link);
  magic_->setObjectName("Magic");
  auto* uplinkRow = new QHBoxLayout;
  uplinkRow->addWidget(nlCombo_, 1);
  uplinkRow->addWidget(button1_);
  auto* linkForm = new QFormLayout(link);
  linkForm->addRow(U("Аплинк:"), uplinkRow);
  linkForm->addRow(U("Файлэха:"), areaCombo_);
  linkForm->addRow(U("Заменяет:"), replace_);
  linkForm->addRow(U("Magic:"), magic_);

  QWidget* result = notebook_->AddPage("ResultPage");
  success_ = Text(U("Файл отправлен в файлэху."), result);
  success_->setObjectName("LSuccess");
  failed_ = Text(U("Файл не удалось отправить!"), result);
  failed_->setObjectName("LFailed");
  auto* resultLayout = new QVBoxLayout(result);
  resultLayout->addWidget(success_);
  resultLayout->addWidget(failed_);
  resultLayout->addStretch(1);

  prev_ = new QPushButton(U("< Назад"), this);
  prev_->setObjectName("DEL_Prev");
  next_ = new QPushButton(U("Далее >"), this);
  next_->setObjectName("DEL_Next");
  cancel_ = new QPushButton(U("Отмена"), this);
  cancel_->setObjectName("CancelBtn");
  finish_ = new QPushButton(U("Готово"), this);
  finish_->setObjectName("Finish");
  connect(cancel_, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  connect(finish_, &QPushButton::clicked, this, [this] { FinishClick(); });

  manager_ = new TPageManager(this);
  manager_->SetPageOwner(notebook_);
  manager_->SetPriorBtn(prev_);
  manager_->SetNextBtn(next_);
  connect(manager_, &TPageManager::pageChanged, this, [this] { NotebookPageChanged(); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (QPushButton* b : {prev_, next_, cancel_, finish_}) buttons->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(notebook_, 1);
  layout->addLayout(buttons);
  resize(460, 300);
}

void THatchAss::NotebookPageChanged() {
  const int page = notebook_->PageIndex();
  const bool last = page == kResult;
  finish_->setVisible(last);
  for (QPushButton* b : {cancel_, next_, prev_}) b->setVisible(!last);
  switch (page) {
    case kDescription: ShowDescription(); break;
    case kUplink:
      if (nlCombo_->count() > 0) nlCombo_->setCurrentIndex(0);
      NLComboChange();
      break;
    case kResult: RunHatch(); break;
    default: break;
  }
}

void THatchAss::ShowDescription() {
  const QString name = filename_->FileName().trimmed();
  if (name.isEmpty() || name.startsWith(QLatin1Char('<'))) {
    manager_->SetPage(kFile, false);
    return;
  }
  if (!packers_) return;
  description_->hide();
  const std::vector<std::string> lines =
      ArchiveDescription(PathBytes(name), *packers_, store_.StartDirectory());
  if (!lines.empty()) {
    description_->clear();
    for (const std::string& line : lines) description_->appendPlainText(AnsiToQString(line));
  }
  description_->show();
}

void THatchAss::NLComboChange() {
  const int row = nlCombo_->currentIndex();
  TNetLink* link =
      row >= 0 && row < store_.Uplinks().GetCount() ? store_.Uplinks().GetItem(row) : nullptr;
  const QString typed = areaCombo_->currentText();
  areaCombo_->clear();
  if (link && FileAreasOf)
    for (const std::string& area : FileAreasOf(*link)) areaCombo_->addItem(AnsiToQString(area));
  areaCombo_->setEditText(typed);
}

void THatchAss::RunHatch() {
  THatchRequest request;
  request.FileName = PathBytes(filename_->FileName().trimmed());
  request.KillSrc = killSrc_->isChecked();
  const QString text = description_->toPlainText();
  if (!text.isEmpty())
    for (const QString& line : text.split(QLatin1Char('\n')))
      request.Description.push_back(QStringToAnsi(line));
  const int row = nlCombo_->currentIndex();
  if (row >= 0 && row < store_.Uplinks().GetCount()) request.Uplink = store_.Uplinks().GetItem(row);
  request.Area = QStringToAnsi(areaCombo_->currentText().trimmed());
  request.Replace = PathBytes(replace_->text().trimmed());
  request.Magic = QStringToAnsi(magic_->text().trimmed());
  THatchResult result;
  try {
    result = HatchFile(request);
  } catch (const std::exception& e) {
    result.Error = e.what();
  }
  success_->setVisible(result.Ok);
  failed_->setVisible(!result.Ok);
  if (!result.Ok)
    failed_->setText(U("Файл не удалось отправить!") + QStringLiteral("\n") +
                     AnsiToQString(result.Error));
}

void THatchAss::CancelBtnClick() { close(); }

void THatchAss::FinishClick() { close(); }

}  // namespace velmaris
