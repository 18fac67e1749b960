// The three modal tools on the messages selected in a message list window:
// TDelMailExpert deletes them, TCopyMails copies (or moves) them into
// another area, TSetFlags clears, sets or toggles six flags on them. Each
// asks first; OK runs the work (app/logic/SelectionTools) with the form as
// its progress view and closes the form when it is done, aborted or
// refused. Cancel during the work stops it after the message in hand.
// The selection comes from the area's open message list window at the
// moment the work starts.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <array>
#include <vector>

#include "app/logic/SelectionTools.h"

class QComboBox;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QWidget;

namespace velmaris {

class TAnimatedSymbol;
class TArea;

// What the three tools share: the area whose index they hold open, the
// work labels, the progress bar, OK and Cancel, the abort flag.
class TSelectionToolForm : public QDialog, public TToolProgress {
  Q_OBJECT

 public:
  ~TSelectionToolForm() override;  // FormDestroy: releases the held index
  // Attaches the tool to an area (or none).
  void Start(TArea* area);
  TArea* Area() const { return area_; }
  bool Running() const { return running_; }

  QPushButton* Ok = nullptr;
  QPushButton* Cancel = nullptr;
  QLabel* ToDo = nullptr;
  QLabel* DaText = nullptr;
  QProgressBar* Progress = nullptr;

  void OkClick();
  void CancelClick();

  bool Aborted() override;
  // Escape or the close box during the work stop it like Cancel.
  void reject() override;

 protected:
  TSelectionToolForm(QWidget* owner, const char* name, const QString& caption,
                     const char* captionSuffix, const char* openFailure);
  virtual void AskState() = 0;
  virtual void Work() = 0;
  // The selection of the area's open window; false (after the box with the
  // text) when no window is open on it.
  bool TakeSelection(std::vector<int32_t>& selection, const std::string& noReader);
  void Inform(const std::string& text);
  void Breathe(bool force = false);
  bool aborted_ = false;
  bool running_ = false;

 private:
  TArea* area_ = nullptr;
  std::string captionSuffix_, openFailure_;
  QElapsedTimer breath_;
};

// The delete and copy tools: the question panel and the work panel on the
// same place.
class TAskActionForm : public TSelectionToolForm {
  Q_OBJECT

 public:
  QWidget* AskPanel = nullptr;
  QWidget* ActionPanel = nullptr;
  TAnimatedSymbol* AnimatedSymbol = nullptr;

 protected:
  TAskActionForm(QWidget* owner, const char* name, const QString& caption,
                 const char* captionSuffix, const char* openFailure, const char* clip);
  void AskState() override;
  void WorkState();
  void Animate(bool on);
};

class TDelMailExpert : public TAskActionForm {
  Q_OBJECT

 public:
  explicit TDelMailExpert(QWidget* owner = nullptr);
  void Step(int done, int32_t index) override;

 protected:
  void Work() override;
};

class TCopyMails : public TAskActionForm {
  Q_OBJECT

 public:
  explicit TCopyMails(QWidget* owner = nullptr);
  ~TCopyMails() override;
  QComboBox* AreaButton = nullptr;  // the target areas (separators left out)
  QCheckBox* MoveMails = nullptr;   // move: the copies leave the source
  void Step(int done, int32_t index) override;

 protected:
  void Work() override;
  void showEvent(QShowEvent* event) override;

 private:
  void FillAreas();
  std::vector<TArea*> targets_;
};

class TSetFlags : public TSelectionToolForm {
  Q_OBJECT

 public:
  explicit TSetFlags(QWidget* owner = nullptr);
  QStackedWidget* Display = nullptr;
  // Hold, Unread, ToSysop, Sent, Send, Kill: item index = operation.
  std::array<QComboBox*, 6> Lists{};
  QLabel* ProgressText = nullptr;
  void Step(int done, int32_t index) override;
  void DisplayPageChanged(int page);

 protected:
  void AskState() override;
  void Work() override;
  void showEvent(QShowEvent* event) override;
};

}  // namespace velmaris
