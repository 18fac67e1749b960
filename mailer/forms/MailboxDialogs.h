// The mailer's three small modal dialogs: the mailbox chooser, the poll
// dialog (mailboxes assigned to uplinks) and the area calibrator of the file
// request editor. Modal loops run through the widgets' ExecModal hook.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "platform/CodePage.h"

class QCheckBox;
class QDialogButtonBox;
class QLayout;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

namespace velmaris {

class TConfigStore;
class TMailBox;

// OK ("BtnOk") and Cancel ("BtnCancel") at the end of the dialog's layout;
// Cancel rejects the dialog, what OK does is the caller's.
QDialogButtonBox* AddOkCancel(QDialog* dialog, QLayout* layout);

class TGetBBSRequest : public QDialog {
  Q_OBJECT
 public:
  explicit TGetBBSRequest(TConfigStore& store, QWidget* parent = nullptr);
  // Shows the mailboxes; false without any (after a warning) or on Cancel.
  bool Execute();
  TMailBox* Chosen() const { return chosen_; }
  std::string GetSelectedName() const;

  QListWidget* BBSList;

 public slots:
  void BtnokClick();

 private:
  TConfigStore& store_;
  TMailBox* chosen_ = nullptr;
};

class TNetCallDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TNetCallDlg(TConfigStore& store, QWidget* parent = nullptr);
  bool Execute();
  TMailBox* Chosen() const { return chosen_; }

  QListWidget* LinkLIst;

 public slots:
  void OkbtnClick();

 private:
  TConfigStore& store_;
  std::vector<TMailBox*> candidates_;
  TMailBox* chosen_ = nullptr;
};

class TASCalibrator : public QDialog {
  Q_OBJECT
 public:
  // lines: the chosen file-list line with up to two before and after it,
  // in the file list's code page; the indicator is kept in the same bytes.
  TASCalibrator(TConfigStore& store, TMailBox& mailbox, std::vector<std::string> lines,
                platform::CodePage page, QWidget* parent = nullptr);
  bool Execute();

  QPlainTextEdit* Memo;
  QLabel* SelectionLabel;
  QCheckBox* UseAsStandard;
  QPushButton* NextButton;  // "Weiter", then "Fertig"
  QPushButton* BackButton;  // "Zurück"

 public slots:
  void NextClick();
  void BackClick();
  void ShowSelection();

 private:
  bool TakeSelection(struct TTextRange& range, std::string& text);
  TConfigStore& store_;
  TMailBox& mailbox_;
  std::vector<std::string> lines_;
  int step_ = 1;
  int nameLine_ = 0, nameFirst_ = 0, nameLast_ = 0;
};

}  // namespace velmaris
