// The entry field with a button at its right edge inside its frame, the base
// of the file-name, directory and date edits. The button either runs an
// action or drops a window down under the edit and takes its value back.
//
// Drop-down states: closed -> (button, ClickKey) open -> (Enter, the button,
// a click on a value inside it) closed accepting, or (Escape, focus lost, a
// click in the edit or elsewhere) closed rejecting. While open, the edit
// keeps the focus but takes no typing, and a text change does not fire
// change(); accepting a different value fires it once.
#pragma once

#include <QFrame>
#include <QKeySequence>
#include <QLineEdit>
#include <QPointer>
#include <QVariant>
#include <functional>
#include <stdexcept>

#include "widgets/VxSpeedButton.h"

namespace velmaris {

class EComboEditError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TGlyphKind { gkCustom, gkDefault, gkDropDown, gkEllipsis };
enum class TPopupAlign { epaRight, epaLeft };

class TCustomComboEdit;

// The window dropped down under an edit: a pop-up that holds the pointer
// and the keyboard while it is open and hands the keys to the edit.
class TPopupWindow : public QFrame {
  Q_OBJECT

 public:
  explicit TPopupWindow(TCustomComboEdit* edit);

  // (sender, accept)
  std::function<void(QObject* sender, bool accept)> OnCloseUp;

  virtual QVariant GetValue() const = 0;
  virtual void SetValue(const QVariant& value) = 0;
  virtual QString PopupText() const { return {}; }
  // Passes a key of the edit on while it is open; true when it was used.
  virtual bool HandleKey(QKeyEvent* event) { return false; }
  // HandleKey for the edit: what goes unused inside comes back to the
  // pop-up and stops there.
  bool PassKey(QKeyEvent* event);

  void ShowAt(const QPoint& screenPos);
  void HideWindow();
  void NotifyClose(bool accept);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

  TCustomComboEdit* edit_;

 private:
  bool hiding_ = false;
  bool passing_ = false;
};

// The button inside the edit: a separator line at its left edge.
class TEditButton : public TVxSpeedButton {
  Q_OBJECT

 public:
  explicit TEditButton(TCustomComboEdit* edit);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  TCustomComboEdit* edit_;
};

class TCustomComboEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TCustomComboEdit(QWidget* parent = nullptr);
  ~TCustomComboEdit() override;

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  QString ButtonHint() const;
  void SetButtonHint(const QString& hint);
  int ButtonWidth() const { return buttonWidth_; }
  void SetButtonWidth(int value);  // below 2 hides the button
  QKeySequence ClickKey() const { return clickKey_; }
  void SetClickKey(const QKeySequence& key) { clickKey_ = key; }
  bool DirectInput() const { return directInput_; }
  void SetDirectInput(bool value);
  const QPixmap& Glyph() const;
  void SetGlyph(const QPixmap& glyph);  // makes GlyphKind gkCustom
  TGlyphKind GlyphKind() const { return glyphKind_; }
  void SetGlyphKind(TGlyphKind value);
  int NumGlyphs() const;
  void SetNumGlyphs(int value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  TPopupAlign PopupAlign() const { return popupAlign_; }
  void SetPopupAlign(TPopupAlign value) { popupAlign_ = value; }
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool value) { autoSelect_ = value; }
  // An edit mask as the forms write it ("!99/99/9999;1; "); empty for none.
  QString EditMask() const { return editMask_; }
  void SetEditMask(const QString& mask);

  TEditButton* Button() const { return button_; }
  TPopupWindow* Popup() const { return popup_; }
  bool PopupVisible() const { return popupVisible_; }

  // Opens the drop-down (editing disabled while it is open).
  void OpenDropDown(bool disableEdit = true);
  void CloseDropDown(QObject* sender, bool accept);
  // The button's action (the button itself and ClickKey).
  void DoClick();

 signals:
  // OnButtonClick: before the drop-down opens or closes.
  void buttonClick();
  // OnChange: the text changed (not while the drop-down is open).
  void change();

 protected:
  virtual bool CanModifyText() const { return !readOnly_; }
  virtual QPixmap DefaultGlyph() const { return {}; }
  virtual int DefaultNumGlyphs() const { return 1; }
  virtual void ButtonClick();
  virtual bool MayAcceptValue(const QVariant& value) { return true; }
  virtual void TakeValue(const QVariant& value);
  virtual void PutDropDownValue(const QVariant& value);
  virtual QVariant FetchDropDownValue() const;
  virtual void PopupChange() {}
  void SetPopup(TPopupWindow* popup);
  void RefreshPopupVisible() { popupVisible_ = popup_ && popup_->isVisible(); }
  void RebuildGlyph();
  // While set, text changes fire no change() (a check rewriting the text).
  bool suppressChange_ = false;
  void UpdateInnerReadOnly();

  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void PlaceButton();
  bool Inside(QObject* object) const;

  TEditButton* button_ = nullptr;
  QPointer<TPopupWindow> popup_;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  int buttonWidth_ = 21;
  QKeySequence clickKey_ = QKeySequence(Qt::ALT | Qt::Key_Down);
  bool directInput_ = true;
  bool readOnly_ = false;
  bool autoSelect_ = true;
  bool popupVisible_ = false;
  TGlyphKind glyphKind_ = TGlyphKind::gkCustom;
  TPopupAlign popupAlign_ = TPopupAlign::epaRight;
  QString editMask_;
};

class TComboEdit : public TCustomComboEdit {
  Q_OBJECT
 public:
  using TCustomComboEdit::TCustomComboEdit;
};

// The drop-down arrow and the three dots of the button kinds.
QPixmap DropDownGlyph();
QPixmap EllipsisGlyph(int buttonWidth);

}  // namespace velmaris
