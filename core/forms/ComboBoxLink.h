// What the forms share at the edge of a window: stored byte strings (ANSI
// code page) shown as Unicode and read back, and a combo box kept filled
// with the names of a configuration list.
#pragma once

#include <QComboBox>
#include <QPointer>
#include <QString>

#include <string>
#include <vector>

#include "core/PubLst.h"

namespace velmaris {

// Stored bytes of a name or text (ANSI code page) as Unicode, and back.
QString AnsiToQString(const std::string& bytes);
std::string QStringToAnsi(const QString& text);
// The bytes of the name a list shows as text (the lists show each name as
// the letters it holds, AreaNameText), letter case ignored: an area whose
// name is a tag kept as raw UTF-8 is named by its own bytes. A text no entry
// shows is ANSI text as typed.
std::string ListNameBytes(const TPubLst& list, const QString& text);
// The bytes of the name a combo box filled by a TComboBoxLink holds: the
// chosen row's own when the box shows that row's text (of two areas whose
// names show alike, such as a CP866 tag and its UTF-8 twin, the one picked
// is meant), else ListNameBytes of the text.
std::string ComboNameBytes(const TPubLst& list, const QComboBox* box);
// Shows a stored name in a combo box filled by a TComboBoxLink: the row
// holding those bytes is chosen (else the first whose name is the same
// tag), or, without one, the name's letters stand in the edit field.
void ShowComboName(QComboBox* box, const std::string& name);

// Fills a combo box with a list's names on every change of the list, each
// row keeping its name's bytes (Qt::UserRole). An editable combo keeps the
// text typed into it.
class TComboBoxLink : public TListControl {
 public:
  explicit TComboBoxLink(QComboBox* box) : box_(box) {}

  int GetItemIndex() const override;
  void SetItemIndex(int index) override;
  void SetItems(const std::vector<std::string>& names) override;

  QComboBox* Box() const { return box_; }

 private:
  QPointer<QComboBox> box_;
};

// Attaches a combo box to a list for the lifetime of this object.
class TComboAttachment {
 public:
  TComboAttachment(TPubLst& list, QComboBox* box) : list_(list), link_(box) {
    list_.AttachComboBox(&link_);
    list_.RefreshControls();
  }
  ~TComboAttachment() { list_.DetachComboBox(&link_); }
  TComboAttachment(const TComboAttachment&) = delete;
  TComboAttachment& operator=(const TComboAttachment&) = delete;

 private:
  TPubLst& list_;
  TComboBoxLink link_;
};

}  // namespace velmaris
