// Printing to PDF through Qt PrintSupport, read back with poppler's tools:
// the page count the line printer made, the header box and the text.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>

#include "MainWindowFixture.h"
#include "app/MessagePrinting.h"
#include "app/MsgWin.h"
#include "app/PrinterDevice.h"
#include "app/PrntProgDlg.h"
#include "core/MailFixtures.h"
#include "platform/CodePage.h"
#include "widgets/ModalHook.h"

namespace velmaris::test {
namespace {

int PdfPages(const std::string& pdf) {
  std::string info;
  EXPECT_EQ(RunShell("pdfinfo " + ShellQuote(pdf), &info), 0);
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

std::string PdfText(const std::string& pdf) {
  std::string text;
  EXPECT_EQ(RunShell("pdftotext -layout " + ShellQuote(pdf) + " -", &text), 0);
  return text;
}

TEST(MessagePrint, AMessageGoesToPdfPageByPage) {
  App();
  TempDir dir;
  MailSpec s;
  s.text = platform::FromUtf8("Привет, мир!\r", platform::CodePage::CP866);
  for (int i = 1; i <= 150; ++i) s.text += "Line " + std::to_string(i) + " of the text\r";
  s.text += "XY> " + std::string(50, 'q') + " " + std::string(50, 'r') + "\r";
  const auto mail = MakeSpecMail(s);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(dir / "out.pdf"));
  const int pages = PrintMessages(printer, {0, 0}, [&](int32_t) { return mail->Clone(); }, {});
  EXPECT_GE(pages, 4);
  EXPECT_EQ(PdfPages(dir / "out.pdf"), pages);  // no empty page at the end
  const std::string text = PdfText(dir / "out.pdf");
  EXPECT_NE(text.find("*    Sender: Ivan Petrov(2:5020/1.7)"), std::string::npos);
  EXPECT_NE(text.find("Привет, мир!"), std::string::npos);
  EXPECT_NE(text.find("Line 150 of the text"), std::string::npos);
  EXPECT_NE(text.find("XY> " + std::string(50, 'r')), std::string::npos);
}

// Counts how often a printer's progress window comes up.
class ProgressWatch : public QObject {
 public:
  ProgressWatch() { qApp->installEventFilter(this); }
  ~ProgressWatch() override { qApp->removeEventFilter(this); }
  int shown = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (qobject_cast<TPrntProgDlg*>(watched) && event->type() == QEvent::Show) ++shown;
    return false;
  }
};

bool AnyProgressWindow() {
  for (QWidget* top : QApplication::topLevelWidgets())
    if (qobject_cast<TPrntProgDlg*>(top)) return true;
  return false;
}

TEST(MessagePrint, TheProgressWindowFollowsThePagesAndGoesAtTheEnd) {
  App();
  TempDir dir;
  for (bool show : {true, false}) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir / "out.pdf"));
    TQtPrinterDevice device(printer);
    TLinePrinter linePrinter(device);
    TPrntProgress progress;
    linePrinter.Progress = &progress;
    linePrinter.ShowProgress = show;
    linePrinter.SetTitle("Mail");
    std::vector<std::string> seen;  // "status|title|page" at each new page
    linePrinter.OnNewPage = [&] {
      TPrntProgDlg* w = progress.Window();
      if (!w) return seen.push_back("none");
      ASSERT_TRUE(w->isVisible());
      auto text = [&](const char* name) {
        return w->findChild<QLabel*>(name)->text().toStdString();
      };
      seen.push_back(text("lblStatus") + "|" + text("lblTitle") + "|" + text("lblPageNumber"));
    };
    linePrinter.BeginDoc();
    linePrinter.NewPage();
    const bool upBeforeTheEnd = progress.Window() != nullptr;
    linePrinter.EndDoc();
    const std::vector<std::string> pages = {"Currently Printing|Mail|1",
                                            "Currently Printing|Mail|2"};
    EXPECT_EQ(seen, show ? pages : std::vector<std::string>(2, "none"));
    EXPECT_EQ(upBeforeTheEnd, show);
    EXPECT_EQ(progress.Window(), nullptr);  // freed with the end of the document
  }
  EXPECT_FALSE(AnyProgressWindow());

  // The print commands show it for their document.
  MailSpec s;
  for (int i = 1; i <= 150; ++i) s.text += "Line " + std::to_string(i) + " of the text\r";
  const auto mail = MakeSpecMail(s);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(dir / "mail.pdf"));
  ProgressWatch watch;
  EXPECT_GE(PrintMessages(printer, {0}, [&](int32_t) { return mail->Clone(); }, {}), 3);
  EXPECT_EQ(watch.shown, 1);
  EXPECT_FALSE(AnyProgressWindow());
}

class MsgWinPrintTest : public MainWindowFixture {};

TEST_F(MsgWinPrintTest, PrintCommandPrintsTheSelectedMessages) {
  Prepare({{"FIDO.GER", Times(3, 0)}});
  Open();
  TArea* area = Area("FIDO.GER");
  auto m = std::make_unique<TMessageListWindow>(Start());
  m->SetArea(area);
  m->GoToMessage(1);
  std::string pdf;
  ModalHook old = SetModalHook([&](QWidget* w) {
    auto* dialog = qobject_cast<QPrintDialog*>(w);
    if (!dialog) return 0;
    dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
    dialog->printer()->setOutputFileName(QString::fromStdString(pdf));
    return static_cast<int>(QDialog::Accepted);
  });
  // The displayed message in the message view, the selected rows in the
  // list view.
  pdf = dir / "displayed.pdf";
  m->Action("Drucken1")->trigger();
  m->ShowListClick();
  m->ListBox()->ClearSelection();
  m->ListBox()->SetSelected(0, true);
  m->ListBox()->SetSelected(2, true);
  pdf = dir / "rows.pdf";
  m->Action("Drucken1")->trigger();
  SetModalHook(old);
  const std::string displayed = PdfText(dir / "displayed.pdf"), rows = PdfText(dir / "rows.pdf");
  EXPECT_NE(displayed.find("*    Sender: Sender 2("), std::string::npos);
  EXPECT_EQ(displayed.find("Sender 1("), std::string::npos);
  EXPECT_LT(rows.find("*    Sender: Sender 1("), rows.find("*    Sender: Sender 3("));
  EXPECT_NE(rows.find("*    Sender: Sender 3("), std::string::npos);
  EXPECT_EQ(rows.find("Sender 2("), std::string::npos);
}

}  // namespace
}  // namespace velmaris::test
