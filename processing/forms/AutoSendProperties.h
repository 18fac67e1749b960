// The properties window of one autosend job. It edits a working copy of the
// job: every change enables the controls that depend on the chosen modes,
// shows the last sending and the next due date of the copy and enables
// Apply. Apply and OK copy the controls into the job and rename its list
// entry; the send-now button sends the copy at once and takes its last
// sending over into the job. Non-modal (modal when opened from a modal
// window); one window per job, held by the job and freed with it; a closed
// window frees itself.
#pragma once

#include <QWidget>

#include <memory>
#include <vector>

#include "core/PubLst.h"

#include "processing/AutoSend.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmaris {

class TComboAttachment;
class TFilenameEdit;
class TVxSpinEdit;

class TAutoSendProperties : public QWidget, public TObject {
  Q_OBJECT

 public:
  TAutoSendProperties(TAutoSendJob& job, TAutoSendJobs& list, TAutoSendEnv env,
                      QWidget* parent = nullptr);
  ~TAutoSendProperties() override;

  // The controls into the working copy.
  void ReadControls(TAutoSendJob& into) const;
  const TAutoSendJob& WorkingCopy() const { return copy_; }

  void Modified();
  void btnApplyClick();
  void Button3Click();  // OK
  void btnCancelClick();
  void Button2Click();  // send now

 protected:
  // A closed window leaves its job and lets go of the lists at once: it is
  // freed later, when they may be gone.
  void closeEvent(QCloseEvent* event) override;

 private:
  void Build();
  void Fill();
  void Store();

  TAutoSendJob& job_;
  TAutoSendJobs& list_;
  TAutoSendEnv env_;
  TAutoSendJob copy_;
  bool filling_ = true;
  std::vector<std::unique_ptr<TComboAttachment>> attachments_;
  QLineEdit *edName_ = nullptr, *edAddr_ = nullptr, *edSubject_ = nullptr;
  QCheckBox* cbActive_ = nullptr;
  QRadioButton *sendMode_[3] = {}, *recMode_[2] = {};
  TVxSpinEdit *rxDays_ = nullptr, *rxDate_ = nullptr, *spDay_ = nullptr;
  QComboBox *cbMonth_ = nullptr, *cbArea_ = nullptr, *edRec_ = nullptr, *edList_ = nullptr;
  TFilenameEdit* edText_ = nullptr;
  QLabel *lbLast_ = nullptr, *lbNext_ = nullptr;
  QPushButton *apply_ = nullptr, *ok_ = nullptr, *cancel_ = nullptr, *sendNow_ = nullptr;
};

// Opens the job's window, or brings its open one to the front. Non-modal;
// modal: asked from a modal window (the settings), it is modal too.
TAutoSendProperties* ShowAutoSendProperties(TAutoSendJob& job, TAutoSendJobs& list,
                                            const TAutoSendEnv& env, bool modal = false);

}  // namespace velmaris
