#include "core/PubLst.h"

#include <algorithm>
#include <utility>

#include "platform/CaseFold.h"

namespace velmaris {

void TPubLst::BeginUpdate() { updating_ = true; }

void TPubLst::EndUpdate() {
  updating_ = false;
  if (changePending_) Changed();
}

void TPubLst::DiscardPendingChange() { changePending_ = false; }

void TPubLst::NotifyChange() {
  if (updating_) {
    changePending_ = true;
  } else {
    Changed();
  }
}

void TPubLst::Changed() {
  // The change is announced now; a later EndUpdate without new changes stays
  // quiet.
  changePending_ = false;
  RefreshControls();
  if (OnChange) OnChange(*this);
}

void TPubLst::Assign(const TPubLst& other) {
  if (&other == this) return;
  std::vector<Entry> copy = other.entries_;
  BeginUpdate();
  Clear();
  for (auto& e : copy) AddObject(e.name, e.object);
  EndUpdate();
}

void TPubLst::CheckIndex(int index) const {
  if (index < 0 || index >= GetCount()) {
    throw EListIndexError("List index out of bounds (" + std::to_string(index) + ")");
  }
}

TObject* TPubLst::GetObject(int index) const {
  CheckIndex(index);
  return entries_[index].object;
}

void TPubLst::SetObject(int index, TObject* object) {
  CheckIndex(index);
  entries_[index].object = object;
  NotifyChange();
}

const std::string& TPubLst::GetString(int index) const {
  CheckIndex(index);
  return entries_[index].name;
}

void TPubLst::SetString(int index, const std::string& name) {
  CheckIndex(index);
  if (entries_[index].name == name) return;
  entries_[index].name = name;
  NotifyChange();
}

int TPubLst::IndexOfObject(const TObject* object) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].object == object) return static_cast<int>(i);
  }
  return -1;
}

int TPubLst::IndexOfName(const std::string& name) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (SameName(entries_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

bool TPubLst::SameName(const std::string& a, const std::string& b) const {
  return platform::EqualNoCase(a, b, platform::AnsiCodePage());
}

TObject* TPubLst::ObjectByName(const std::string& name) const {
  int i = IndexOfName(name);
  return i < 0 ? nullptr : entries_[i].object;
}

std::vector<std::string> TPubLst::Names() const {
  std::vector<std::string> names;
  names.reserve(entries_.size());
  for (auto& e : entries_) names.push_back(e.name);
  return names;
}

void TPubLst::FillControl(TListControl* control, const std::vector<std::string>& names) {
  if (!control) return;
  int index = control->GetItemIndex();
  control->SetItems(names);
  int count = static_cast<int>(names.size());
  // The old selection when it still exists, else the last row (-1 when the
  // list is empty).
  if (index < 0 || index >= count) index = count - 1;
  control->SetItemIndex(index);
}

void TPubLst::SetLinkedComboBox(TListControl* combo) {
  if (combo == linkedComboBox_) return;
  linkedComboBox_ = combo;
  FillControl(combo, Names());
}

void TPubLst::AttachListBox(TListControl* box) {
  if (!box) return;
  listBoxes_.push_back(box);
  FillControl(box, Names());
}

void TPubLst::DetachListBox(TListControl* box) {
  auto it = std::find(listBoxes_.begin(), listBoxes_.end(), box);
  if (it != listBoxes_.end()) listBoxes_.erase(it);
}

void TPubLst::AttachComboBox(TListControl* box) {
  if (!box) return;
  comboBoxes_.push_back(box);
  FillControl(box, Names());
}

void TPubLst::DetachComboBox(TListControl* box) {
  auto it = std::find(comboBoxes_.begin(), comboBoxes_.end(), box);
  if (it != comboBoxes_.end()) comboBoxes_.erase(it);
}

void TPubLst::RefreshControls() {
  if (!linkedComboBox_ && listBoxes_.empty() && comboBoxes_.empty()) return;
  std::vector<std::string> names = Names();
  FillControl(linkedComboBox_, names);
  // Copies: a control's refill may attach or detach controls.
  auto lists = listBoxes_;
  for (auto* box : lists) FillControl(box, names);
  auto combos = comboBoxes_;
  for (auto* box : combos) FillControl(box, names);
}

void TPubLst::Sort() {
  BeginUpdate();
  int last = GetCount() - 2;
  bool exchanged = true;
  while (exchanged && last >= 0) {
    exchanged = false;
    for (int i = 0; i <= last; ++i) {
      // Names are ANSI text: bytes as unsigned values (so capitals come
      // before small letters), Ё beside Е rather than before А.
      if (platform::LessByAlphabet(entries_[i + 1].name, entries_[i].name,
                                   platform::AnsiCodePage())) {
        std::string name = entries_[i].name;
        TObject* object = entries_[i].object;
        SetString(i, entries_[i + 1].name);
        SetObject(i, entries_[i + 1].object);
        SetString(i + 1, name);
        SetObject(i + 1, object);
        exchanged = true;
      }
    }
    --last;
  }
  EndUpdate();
}

void TPubLst::Delete(int index) {
  CheckIndex(index);
  entries_.erase(entries_.begin() + index);
  NotifyChange();
}

void TPubLst::Clear() {
  entries_.clear();
  NotifyChange();
}

int TPubLst::AddObject(const std::string& name, TObject* object) {
  entries_.push_back({name, object});
  NotifyChange();
  return GetCount() - 1;
}

void TPubLst::InsertObject(int index, const std::string& name, TObject* object) {
  // Inserting at the end is allowed, as for a string list.
  if (index != GetCount()) CheckIndex(index);
  entries_.insert(entries_.begin() + index, Entry{name, object});
  NotifyChange();
}

void TPubLst::MoveUp(int index) {
  if (index > 0 && index < GetCount()) {
    std::swap(entries_[index - 1], entries_[index]);
    NotifyChange();
  }
}

void TPubLst::MoveDown(int index) {
  if (index > -1 && index < GetCount() - 1) {
    std::swap(entries_[index], entries_[index + 1]);
    NotifyChange();
  }
}

}  // namespace velmaris
