// List boxes of the forms. TTextListBox: a plain list of text lines whose
// horizontal scroll range follows its widest line. TVxCheckListBox: a check
// box (radio button, check mark) before every item, three states, items that
// can be disabled, toggling by mouse and space, "+"/"-" for all, and a radio
// mode that keeps exactly one item checked.
//
// Each item's state and enabling travel with the item (add, insert, delete,
// exchange, move, sort), as data of the item itself.
#pragma once

#include <QListWidget>
#include <QStringList>
#include <string>

#include "widgets/FormPlacement.h"

namespace velmaris {

class TIniStorage;

class TTextListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit TTextListBox(QWidget* parent = nullptr);

  QStringList Items() const;
  void SetItems(const QStringList& items);
  int ItemIndex() const { return currentRow(); }
  void SetItemIndex(int index) { setCurrentRow(index); }

 signals:
  // OnClick: an item was chosen by mouse or key.
  void click();
};

enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum class TCheckKind { ckCheckBoxes, ckRadioButtons, ckCheckMarks };

class TVxCheckListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit TVxCheckListBox(QWidget* parent = nullptr);

  QStringList Items() const;
  void SetItems(const QStringList& items);
  // Copies texts, states and enabling of another check list box.
  void AssignItems(const TVxCheckListBox& other);
  int AddItem(const QString& text);
  void InsertItem(int index, const QString& text);
  void DeleteItem(int index);
  void ClearItems() { clear(); }
  void Exchange(int a, int b);
  void Move(int from, int to);
  int Count() const { return count(); }
  int ItemIndex() const { return currentRow(); }
  void SetItemIndex(int index) { setCurrentRow(index); }

  TCheckBoxState State(int index) const;
  void SetState(int index, TCheckBoxState state);
  bool Checked(int index) const { return State(index) == TCheckBoxState::cbChecked; }
  void SetChecked(int index, bool on);
  bool EnabledItem(int index) const;
  void SetEnabledItem(int index, bool on);
  // Radio mode: the first checked item, else -1. Writing checks max(value, 0).
  int CheckedIndex() const;
  void SetCheckedIndex(int index);

  bool AllowGrayed() const { return allowGrayed_ && checkKind_ != TCheckKind::ckRadioButtons; }
  void SetAllowGrayed(bool on) { allowGrayed_ = on; }
  TCheckKind CheckKind() const { return checkKind_; }
  void SetCheckKind(TCheckKind kind);
  bool GraySelection() const { return graySelection_; }
  void SetGraySelection(bool on);
  int CheckWidth() const;

  // The item under a point of the client area; below the last item -1 when
  // existing, else Count. Outside the client area -1.
  int ItemAtPos(QPoint pos, bool existing) const;
  // The item's rectangle; for Count the one below the last item.
  QRect ItemRect(int index) const;

  // The checks kept in a section: "Count" and "Item<i>" = state ordinal.
  // Saving erases the section first; restoring fills at most the items
  // there are, and in radio mode stops at the first checked one.
  void SaveChecks(TIniStorage& ini, const std::string& section) const;
  void RestoreChecks(const TIniStorage& ini, const std::string& section);
  // The placement through which the checks are saved and restored, in the
  // section of the placement followed by the list's default section.
  TFormPlacement* IniStorage() const { return iniLink_.Storage(); }
  void SetIniStorage(TFormPlacement* placement) { iniLink_.SetStorage(placement); }

 signals:
  // OnClickCheck: the user toggled a check.
  void clickCheck();
  // OnStateChange: any change of an item's state.
  void stateChange(int index);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Toggle(int index);
  void SetAll(TCheckBoxState state);
  void WriteState(int index, TCheckBoxState state, bool force);
  void RadioConsistency();

  TIniLink iniLink_;
  bool allowGrayed_ = false;
  bool graySelection_ = false;
  TCheckKind checkKind_ = TCheckKind::ckCheckBoxes;
};

}  // namespace velmaris
