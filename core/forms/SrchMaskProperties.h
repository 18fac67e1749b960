// The dialog of a search mask: the four text conditions, the seven flag
// boxes (not set, set, ignore), the creation and toss dates, and the
// predefined schemes. The controls are stored into the mask by Apply and OK
// only. Modeless; one per mask, kept in the mask's Dialog slot while open
// and freed with the mask or when it closes.
#pragma once

#include <QDialog>
#include <functional>

#include "core/PubLst.h"
#include "core/SearchRequest.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmaris {

class TDateEdit;

class TSrchMaskProperties : public QDialog, public TObject {
  Q_OBJECT

 public:
  explicit TSrchMaskProperties(TSearchRequest& request);

  // The controls as a mask (for the scheme recognition and Apply).
  TSearchRequest FromControls() const;
  void bApplyClick();
  void ShemeChange(int index);

  // After Apply has stored the controls, for the mask's owner.
  std::function<void(TSearchRequest&)> OnApplied;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct TextRow {
    QCheckBox* apply;
    QLineEdit* text;
    QCheckBox* caseSensitive;
    QCheckBox* substring;
  };
  struct DateRow {
    QRadioButton* ignore;
    QRadioButton* recent;
    QRadioButton* range;
    QComboBox* days;
    TDateEdit* start;  // no date (empty) reads as 0
    TDateEdit* end;
  };
  QWidget* BuildTexts();
  QWidget* BuildFlags();
  QWidget* BuildDates();
  DateRow AddDateRow(QWidget* page, QGridLayout* grid, int row, const QString& caption,
                     const char* ignore, const char* recent, const char* range, const char* days,
                     const char* start, const char* end);
  void Fill(const TSearchRequest& request);
  void Modified();

  TSearchRequest& request_;
  TextRow origin_{}, destination_{}, subject_{}, text_{};
  QComboBox* flags_[7] = {};
  DateRow created_{}, tossed_{};
  QComboBox* sheme_ = nullptr;
  QPushButton* apply_ = nullptr;
  bool guard_ = false;  // a scheme is being applied, or the controls filled
};

// Shows the mask's dialog in front, making it on first use.
TSrchMaskProperties* EditSearchRequest(TSearchRequest& request);

}  // namespace velmaris
