// The colour button: a push button showing a colour swatch and a drop-down
// arrow. Pressing it opens a small palette (4 x 5 colours, an other-colour
// cell and a button for the colour dialog); choosing a cell sets Color and
// fires colorChange(). With CycleColors a press on the swatch steps through
// the palette instead. The sixteen custom colours of the colour dialog
// belong to the button and are kept in the registry under CustomColorsKey
// (see widgets/logic/ColorArray.h for the stored form).
//
// States: closed -> dropped down [press; the palette exists] -> closed [the
// palette closes for any reason: a choice, Escape, a press outside it, the
// program losing the focus].
#pragma once

#include <QPointer>
#include <QPushButton>
#include <functional>
#include <optional>

#include "widgets/VxColors.h"
#include "widgets/VxSpeedButton.h"
#include "widgets/logic/ColorArray.h"

namespace velmaris {

class TVxColorButtonPalette;

class TVxColorButton : public QPushButton {
  Q_OBJECT

 public:
  // (sender, colour, column, row (0, 0 for the other colour), hint in/out)
  using TVxColorHintTextEvent =
      std::function<void(QObject* sender, TColor color, int x, int y, QString& hint)>;

  explicit TVxColorButton(QWidget* parent = nullptr);
  ~TVxColorButton() override;

  static QString Version() { return QStringLiteral("TVxColorButton v2.51"); }
  TColor Color() const { return color_; }
  // Unchanged: nothing; else the palette index follows, colorChange() fires.
  void SetColor(TColor color);
  int PaletteIndex() const { return paletteIndex_; }
  // 0: the other colour, 1..Count: the palette element.
  void SetPaletteIndex(int index);
  TColorArrayClass& PaletteColors() { return paletteColors_; }
  TColorArrayClass& CustomColors() { return customColors_; }
  TColor OtherColor = clBtnFace;
  bool CycleColors = false;
  bool ShowColorHints = true;
  QString OtherBtnCaption = QStringLiteral("&Other");
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  QString CustomColorsKey;
  TButtonStyle Style() const { return style_; }
  void SetStyle(TButtonStyle value) {
    style_ = value;
    update();
  }
  TVxColorHintTextEvent OnGetColorHintText;

  bool DroppedDown() const { return palette_ != nullptr; }
  TVxColorButtonPalette* PaletteForm() const { return palette_; }
  // The registry value name of the custom colours: the parent's name, "."
  // and the button's name.
  QString QualifiedName() const;
  // Reads the custom colours (once the form is built).
  void Loaded();
  void ReadCustomColors();
  void WriteCustomColors() const;
  // The press at client x: steps with CycleColors on the swatch, else opens the palette.
  void Press(int x);
  void ClosePalette();

 signals:
  void colorChange();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void DropDown();
  void PaletteClosed(bool byKey);

  TColor color_ = 0;
  int paletteIndex_ = 0;
  TColorArrayClass paletteColors_ = DefaultPaletteColors();
  TColorArrayClass customColors_{8, 2};
  bool flat_ = false, mouseInside_ = false, ignoreNextClick_ = false, colorsLoaded_ = false;
  int pressX_ = 0;
  // The time of the press on the button that closed the palette.
  std::optional<ulong> closingPress_;
  TButtonStyle style_ = TButtonStyle::bsAutoDetect;
  QPointer<TVxColorButtonPalette> palette_;
};

class TVxColorButtonPalette : public QWidget {
  Q_OBJECT

 public:
  explicit TVxColorButtonPalette(QWidget* parent = nullptr);
  ~TVxColorButtonPalette() override;

  TColorArrayClass PaletteColors = DefaultPaletteColors();
  TColorArrayClass CustomColors{8, 2};
  TColor OtherColor = clBtnFace;
  bool ShowColorHints = true;
  TVxColorButton::TVxColorHintTextEvent OnGetColorHintText;
  std::function<void(bool isOther, TColor color)> OnSelect;
  std::function<void(bool byKey)> OnClosed;

  // Selects the cell of the colour (a system colour: the swatch of its
  // RGB value); a colour not in the grid becomes the other colour.
  void SetCurrentColor(TColor color);
  TPaletteCell Selected() const { return selected_; }
  void Select(TPaletteCell cell);
  TColor CellColor(TPaletteCell cell) const;
  QRect CellRect(TPaletteCell cell) const;
  // The hint of a cell ("" for none).
  QString HintText(TPaletteCell cell);
  QPushButton* OtherButton() const { return btnOther_; }
  bool InOtherDialog() const { return inOtherDialog_; }
  // Closed by a mouse press on the button that opened it.
  bool ClosedByOwnerPress() const { return closedByOwnerPress_; }
  ulong OwnerPressTime() const { return ownerPressTime_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  // The application losing the focus closes the palette (not while the
  // colour dialog is open); the keys of the other-colour button come here.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Return, Escape and the arrows; whether the key was one of them.
  bool HandleKey(int key);
  void OtherClick();
  void Choose(TPaletteCell cell, bool byKey);
  QPushButton* btnOther_;
  TPaletteCell selected_;
  bool closedByKey_ = false, inOtherDialog_ = false, closing_ = false, closedByOwnerPress_ = false;
  ulong ownerPressTime_ = 0;
};

}  // namespace velmaris
