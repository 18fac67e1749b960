// The frame every assistant shares: a notebook of steps (NB_DEL) beside a
// picture panel, and the buttons back (DEL_Prev), next (DEL_Next) and
// cancel (DEL_Cancel). Back and Next move one page through the page manager;
// every page change runs NB_DELPageChanged, which does the page's work.
#pragma once

#include <QDialog>
#include <QString>

#include "core/PubLst.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace velmaris {

class TNotebook;
class TPageManager;

class TAssistentFrame : public QDialog, public TObject {
  Q_OBJECT

 public:
  // windowListName: the caption entered into the window list while shown.
  TAssistentFrame(const char* objectName, const QString& windowListName, QWidget* parent);
  ~TAssistentFrame() override;

  TNotebook* Notebook() const { return nb_; }
  TPageManager* PageManager() const { return manager_; }
  QPushButton* PrevButton() const { return prev_; }
  QPushButton* NextButton() const { return next_; }
  QPushButton* CancelButton() const { return cancel_; }
  // The text at the top of the page (AddPage).
  QLabel* PageText(int page) const;

 protected:
  // A page with a text at its top; controls go into the returned layout.
  QVBoxLayout* AddPage(const char* name, const QString& text);
  // Call once every page is added.
  void PagesAdded();
  // The page's work after each page change.
  virtual void NB_DELPageChanged() = 0;
  // Cancel, Abort or Close; the default closes with the cancel result.
  virtual void DEL_CancelClick() { reject(); }
  // Back, next and cancel states in one call.
  void SetButtons(bool prevVisible, bool prevEnabled, bool nextVisible, bool nextEnabled,
                  const QString& cancelCaption);

  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // Each show starts from the defaults on page 0.
  virtual void Reset() = 0;

 private:
  QString windowListName_;
  TNotebook* nb_ = nullptr;
  TPageManager* manager_ = nullptr;
  QPushButton* prev_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool listed_ = false;
};

}  // namespace velmaris
