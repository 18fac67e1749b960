#include "app/PrinterDevice.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

#include "core/forms/FormText.h"

namespace velmaris {

TQtPrinterDevice::TQtPrinterDevice(QPrinter& printer) : printer_(printer) {
  printer_.setFullPage(true);
  SetFont(TPrintFont());
}

TQtPrinterDevice::~TQtPrinterDevice() {
  if (painter_ && painter_->isActive()) painter_->end();
}

TPrinterMetrics TQtPrinterDevice::Metrics() const {
  TPrinterMetrics m;
  const int dpi = printer_.resolution();
  m.DpiX = printer_.logicalDpiX();
  m.DpiY = printer_.logicalDpiY();
  const QPageLayout layout = printer_.pageLayout();
  const QRect paper = layout.fullRectPixels(dpi);
  m.PageWidth = paper.width();
  m.PageHeight = paper.height();
  // The unprintable edges as Qt paints them: the page layout's margins (the
  // printer's own minimum, or what the print dialog set; a PDF file has no
  // minimum of its own), never less than the printer's minimum.
  const QMargins edges = layout.marginsPixels(dpi);
  const QMarginsF minimum = layout.minimumMargins();  // in the layout's units
  const QPageLayout minimumLayout(layout.pageSize(), layout.orientation(), minimum, layout.units());
  const QMargins floor = minimumLayout.marginsPixels(dpi);
  m.MinLeft = std::max(edges.left(), floor.left());
  m.MinTop = std::max(edges.top(), floor.top());
  m.MinRight = std::max(edges.right(), floor.right());
  m.MinBottom = std::max(edges.bottom(), floor.bottom());
  return m;
}

void TQtPrinterDevice::SetFont(const TPrintFont& font) {
  font_ = QFont(QString::fromStdString(font.Name));
  font_.setStyleHint(QFont::TypeWriter);
  font_.setPointSize(font.Size > 0 ? font.Size : 10);
  font_.setBold(font.Bold);
  font_.setItalic(font.Italic);
  font_.setUnderline(font.Underline);
  metrics_.reset();
  if (painter_ && painter_->isActive()) painter_->setFont(font_);
}

const QFontMetrics& TQtPrinterDevice::FontMetrics() {
  if (!metrics_) metrics_.emplace(font_, &printer_);
  return *metrics_;
}

int TQtPrinterDevice::TextWidth(std::string_view text) {
  return FontMetrics().horizontalAdvance(AnsiText(std::string(text)));
}

int TQtPrinterDevice::LineBase() { return FontMetrics().height() + FontMetrics().leading(); }

int TQtPrinterDevice::ExternalLeading() { return FontMetrics().leading(); }

bool TQtPrinterDevice::BeginDoc(const std::string& title, TPrintOrientation orientation) {
  printer_.setDocName(QString::fromStdString(title));
  printer_.setPageOrientation(orientation == TPrintOrientation::poLandscape
                                  ? QPageLayout::Landscape
                                  : QPageLayout::Portrait);
  metrics_.reset();
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(&printer_)) {
    painter_.reset();
    return false;
  }
  painter_->setFont(font_);
  return true;
}

bool TQtPrinterDevice::NewPage() { return painter_ && printer_.newPage(); }

bool TQtPrinterDevice::EndDoc() {
  if (!painter_) return false;
  const bool ok = painter_->end();
  painter_.reset();
  return ok;
}

void TQtPrinterDevice::TextOut(int x, int y, std::string_view text) {
  if (!painter_) return;
  painter_->drawText(x, y + FontMetrics().ascent(), AnsiText(std::string(text)));
}

void TQtPrinterDevice::DrawLine(int x1, int y1, int x2, int y2, int penWidth) {
  if (!painter_) return;
  const QPen old = painter_->pen();
  painter_->setPen(QPen(Qt::black, penWidth));
  painter_->drawLine(x1, y1, x2, y2);
  painter_->setPen(old);
}

}  // namespace velmaris
