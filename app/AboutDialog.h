// The about box: the program's name, its release and its version.
#pragma once

#include <QDialog>

class QLabel;

namespace velmaris {

class TAboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutDialog(QWidget* parent = nullptr);
  // Escape closes the box too, with OK as every way of closing it.
  void reject() override { accept(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void Button1Click();
  QLabel* verInfo_ = nullptr;
  QLabel* longVer_ = nullptr;
};

}  // namespace velmaris
