// TPrntProgDlg: the line printer's progress window, a small stay-on-top
// tool window in the middle of the screen that cannot be resized: status,
// document title and page number.
#pragma once

#include <QDialog>

#include "app/logic/LinePrinter.h"

class QLabel;

namespace velmaris {

class TPrntProgDlg : public QDialog, public TPrintProgress {
  Q_OBJECT

 public:
  explicit TPrntProgDlg(QWidget* parent = nullptr);

  void Show(const std::string& status, const std::string& title, int page) override;
  void Close() override;

 private:
  QLabel *lblStatus_, *lblTitle_, *lblPageNumDesc_, *lblPageNumber_;
};

}  // namespace velmaris
