#include "app/UUDecoder.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/logic/UUDecode.h"
#include "core/forms/FormText.h"
#include "widgets/FileEdits.h"

namespace velmaris {

TUUDecoder::TUUDecoder(QWidget* owner) : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint) {
  setObjectName("UUDecoder");
  setWindowTitle(QStringLiteral("UUDecode"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* grid = new QGridLayout(this);
  DecodeText = new QPlainTextEdit(this);
  DecodeText->setObjectName("DecodeText");
  DecodeText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  DecodeText->setLineWrapMode(QPlainTextEdit::NoWrap);
  Label1 = new QLabel(QStringLiteral("Директория:"), this);
  Label1->setObjectName("Label1");
  Directory = new TDirectoryEdit(this);
  Directory->setObjectName("Directory");
  Directory->DialogOptions = sdAllowCreate;
  Progress = new QProgressBar(this);
  Progress->setObjectName("Progress");
  DoDecode = new QPushButton(QStringLiteral("Декодировать"), this);
  DoDecode->setObjectName("DoDecode");
  DoClose = new QPushButton(QStringLiteral("Отмена"), this);
  DoClose->setObjectName("DoClose");
  grid->addWidget(DecodeText, 0, 0, 1, 4);
  grid->addWidget(Label1, 1, 0);
  grid->addWidget(Directory, 1, 1, 1, 3);
  grid->addWidget(Progress, 2, 0, 1, 2);
  grid->addWidget(DoDecode, 2, 2);
  grid->addWidget(DoClose, 2, 3);
  grid->setColumnStretch(1, 1);
  connect(DoDecode, &QPushButton::clicked, this, &TUUDecoder::DoDecodeClick);
  connect(DoClose, &QPushButton::clicked, this, &TUUDecoder::DoCloseClick);
  resize(560, 400);
}

void TUUDecoder::SetInput(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << AnsiText(line);
  DecodeText->setPlainText(text.join(QLatin1Char('\n')));
}

void TUUDecoder::Log(const std::string& text) { DecodeText->appendPlainText(AnsiText(text)); }

void TUUDecoder::DoDecodeClick() {
  std::vector<std::string> lines;
  const QString all = DecodeText->toPlainText();
  if (!all.isEmpty())
    for (const QString& line : all.split(QLatin1Char('\n'))) lines.push_back(AnsiBytes(line));
  DecodeText->clear();
  Progress->setRange(0, std::max<int>(1, static_cast<int>(lines.size())));
  Progress->setValue(0);
  Log("Starting decode");
  TUUFolderSink sink(PathBytes(Directory->text()));
  // No messages are processed meanwhile: the window could be closed (and
  // freed) under the run.
  UUDecodeLines(
      lines, sink, [this](const std::string& line) { Log(line); },
      [this](int line) { Progress->setValue(line); });
  Log("Decode finished");
  DoClose->setText(QStringLiteral("Close"));
  DoClose->setDefault(true);
}

}  // namespace velmaris
