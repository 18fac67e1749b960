// The line printer's device on Qt PrintSupport: a QPrinter (a real printer
// or a PDF file) painted from the paper's top-left corner, with fonts
// measured at the printer's resolution. Byte strings are in the ANSI code
// page.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <memory>
#include <optional>

#include "app/logic/LinePrinter.h"

class QPainter;
class QPrinter;

namespace velmaris {

class TQtPrinterDevice : public TLinePrinterDevice {
 public:
  explicit TQtPrinterDevice(QPrinter& printer);
  ~TQtPrinterDevice() override;

  TPrinterMetrics Metrics() const override;
  void SetFont(const TPrintFont& font) override;
  int TextWidth(std::string_view text) override;
  int LineBase() override;
  int ExternalLeading() override;
  bool BeginDoc(const std::string& title, TPrintOrientation orientation) override;
  bool NewPage() override;
  bool EndDoc() override;
  void TextOut(int x, int y, std::string_view text) override;
  void DrawLine(int x1, int y1, int x2, int y2, int penWidth) override;

 private:
  const QFontMetrics& FontMetrics();

  QPrinter& printer_;
  std::unique_ptr<QPainter> painter_;
  QFont font_;
  std::optional<QFontMetrics> metrics_;
};

}  // namespace velmaris
