// The find-and-replace form of the editor and the area managers. It stays on
// top and does no searching itself: its buttons call the events its owner
// assigns (each gets the form and reads the texts and switches from it).
// SetFindOnly(true) hides the replace controls for a plain search.
#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmaris {

class TSARForm : public QDialog {
  Q_OBJECT

 public:
  using TSAREvent = std::function<void(TSARForm& form)>;

  explicit TSARForm(QWidget* parent = nullptr);

  void SetFindOnly(bool findOnly);
  QString GetFindText() const;
  void SetFindText(const QString& text);
  QString GetReplaceText() const;
  void SetReplaceText(const QString& text);
  bool GetWholeWords() const;
  bool GetCaseSensitive() const;

  TSAREvent OnFind;
  TSAREvent OnReplace;
  TSAREvent OnReplaceAll;

 private:
  void FormCreate();
  void Button1Click();
  void BtnRepClick();
  void BtnRepAllClick();
  QLineEdit* edFind_ = nullptr;
  QLineEdit* edRep_ = nullptr;
  QLabel* lbRep_ = nullptr;
  QCheckBox* cbWhole_ = nullptr;
  QCheckBox* cbCase_ = nullptr;
  QPushButton* btnRep_ = nullptr;
  QPushButton* btnRepAll_ = nullptr;
  QPushButton* btnCancel_ = nullptr;
};

}  // namespace velmaris
