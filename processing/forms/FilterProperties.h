// The properties window of one mail filter: its name, conditions, actions
// and the flag changes of the original and the copy, on five pages. It is
// non-modal (modal when opened from a modal window) and stays on top; one
// window per filter (ShowFilterProperties brings an open one to the front),
// held by the filter. Apply and OK store the controls into the filter and
// rename its list entry; Cancel and Close only close.
#pragma once

#include <QWidget>

#include <memory>
#include <vector>

#include "core/PubLst.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace velmaris {

class TComboAttachment;
class TConfigStore;
class TFilenameEdit;
class TFilter;
class TFilterList;

class TFilterProperties : public QWidget, public TObject {
  Q_OBJECT

 public:
  TFilterProperties(TFilter& filter, TFilterList& list, TConfigStore& store,
                    QWidget* parent = nullptr);
  ~TFilterProperties() override;

  // Every control from the filter; Apply disabled.
  void Fill();
  // Every field from the controls; the list entry renamed; Apply disabled.
  void Store();
  TFilter& Filter() const { return filter_; }

  // The button handlers.
  void OKBtnClick();
  void CancelBtnClick();
  void ApplyBtnClick();

 protected:
  // A closed window leaves its filter and lets go of the lists at once: it
  // is freed later and must not reach them then.
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Switch {
    QCheckBox* box;
    QWidget* partner;
  };
  void Build();
  QWidget* BuildGeneral();
  QWidget* BuildConditions();
  QWidget* BuildActions();
  QWidget* BuildFlags(bool copies);
  QCheckBox* Check(const char* name, const QString& caption, QWidget* partner);
  void Changed();
  void UpdateCaption();
  int RowOf(const TFilter& filter) const;

  TFilter& filter_;
  TFilterList& list_;
  TConfigStore& store_;
  std::vector<Switch> switches_;
  std::vector<std::unique_ptr<TComboAttachment>> attachments_;
  QLineEdit* desc_ = nullptr;
  QCheckBox *cbType_, *cbOrig_, *cbDest_, *cbSubj_, *cbText_, *cbArea_;
  QComboBox *coType_, *coArea_;
  QLineEdit *edOrig_, *edDest_, *edSubj_, *edText_;
  QCheckBox *cbCopy_, *cbList_, *cbUnList_, *cbLaunch_, *cbAnswer_, *cbSave_, *cbKill_, *cbForward_;
  QComboBox *coCopy_, *coList_, *coUnList_;
  TFilenameEdit *edLaunch_, *edAnswer_, *edSave_;
  QComboBox* origFlags_[6];
  QComboBox* copyFlags_[6];
  QPushButton *ok_ = nullptr, *cancel_ = nullptr, *apply_ = nullptr;
};

// Shows the filter's window, creating it on first use. The filter holds the
// open window (it is freed with the filter); a closed window frees itself.
// modal: asked from a modal window (the settings), it is modal too.
TFilterProperties* ShowFilterProperties(TFilter& filter, TFilterList& list, TConfigStore& store,
                                        bool modal = false);

}  // namespace velmaris
