// TPrntProgDlg: the line printer's progress window, a small stay-on-top
// tool window in the middle of the screen that cannot be resized: status,
// document title and page number. TPrntProgress attaches it to a line
// printer: with ShowProgress on, the window is made when the printer first
// reports, renewed on every status change, and freed when printing ends.
#pragma once

#include <QDialog>
#include <memory>

#include "app/logic/LinePrinter.h"

class QLabel;

namespace velmaris {

class TPrntProgDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TPrntProgDlg(QWidget* parent = nullptr);

  // Sets the labels (the status only when one is given), shows the window
  // centred on the screen the first time and repaints it.
  void ShowStatus(const std::string& status, const std::string& title, int page);

 private:
  QLabel *lblStatus_, *lblTitle_, *lblPageNumDesc_, *lblPageNumber_;
};

class TPrntProgress : public TPrintProgress {
 public:
  ~TPrntProgress() override;
  void Show(const std::string& status, const std::string& title, int page) override;
  void Close() override;
  // The window while it exists.
  TPrntProgDlg* Window() const { return window_.get(); }

 private:
  std::unique_ptr<TPrntProgDlg> window_;
};

}  // namespace velmaris
