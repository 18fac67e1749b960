// The base of every configured collection: a list of named entries, each
// carrying one object, that keeps attached list boxes and combo boxes filled
// with the entry names and announces every change through one event.
//
// The list never owns its objects: deleting or clearing entries leaves them
// alive; their owners free them.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmaris {

// An index outside the list: "List index out of bounds (7)".
class EListIndexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The common base of the objects the lists hold.
class TObject {
 public:
  virtual ~TObject() = default;
};

// A control that shows the names of a list: a list box or a combo box. The
// windows implement it; tests implement it with recording fakes.
class TListControl {
 public:
  virtual ~TListControl() = default;
  // The selected row, -1 when none.
  virtual int GetItemIndex() const = 0;
  // Selects a row; an index outside 0 .. count - 1 selects nothing (-1).
  virtual void SetItemIndex(int index) = 0;
  // Replaces all rows by the given names.
  virtual void SetItems(const std::vector<std::string>& names) = 0;
};

class TPubLst {
 public:
  using ChangeEvent = std::function<void(TPubLst& sender)>;

  TPubLst() = default;
  virtual ~TPubLst() = default;
  TPubLst(const TPubLst&) = delete;
  TPubLst& operator=(const TPubLst&) = delete;

  // Update bracketing: inside BeginUpdate ... EndUpdate changes only mark a
  // pending change; EndUpdate refreshes the controls and fires OnChange once.
  // Brackets do not nest: the first EndUpdate ends the batch.
  void BeginUpdate();
  void EndUpdate();
  void DiscardPendingChange();
  bool IsUpdating() const { return updating_; }
  bool IsChangePending() const { return changePending_; }

  // Called by every modifying operation after it changed the list.
  void NotifyChange();
  // Refreshes the controls, then fires OnChange. Clears the pending mark.
  virtual void Changed();

  ChangeEvent OnChange;

  // Replaces the entries by those of another list (one change event).
  void Assign(const TPubLst& other);

  int GetCount() const { return static_cast<int>(entries_.size()); }
  // Index arguments out of range raise EListIndexError.
  TObject* GetObject(int index) const;
  void SetObject(int index, TObject* object);
  const std::string& GetString(int index) const;
  // Renames the entry when the name differs (exact comparison).
  void SetString(int index, const std::string& name);

  // The first entry holding that very object; -1 when none.
  int IndexOfObject(const TObject* object) const;
  // The first entry whose name equals the name ignoring letter case
  // (SameName; first match wins); nullptr when absent.
  TObject* ObjectByName(const std::string& name) const;
  // Index of the first entry with that name ignoring case, -1 when none.
  int IndexOfName(const std::string& name) const;
  // Whether two names of entries name the same entry: equal with the
  // letters of the ANSI page folded. A list of areas compares echo tags.
  virtual bool SameName(const std::string& a, const std::string& b) const;

  void SetLinkedComboBox(TListControl* combo);
  TListControl* GetLinkedComboBox() const { return linkedComboBox_; }
  void AttachListBox(TListControl* box);
  void DetachListBox(TListControl* box);
  void AttachComboBox(TListControl* box);
  void DetachComboBox(TListControl* box);
  void RefreshControls();

  // Sorts by name, byte by byte (case-sensitive, not locale-aware); equal
  // names keep their order. One change event when anything moved.
  void Sort();
  void Delete(int index);
  void Clear();
  int AddObject(const std::string& name, TObject* object);
  void InsertObject(int index, const std::string& name, TObject* object);
  // Exchange the entry with its neighbour; out of range does nothing and
  // announces nothing.
  void MoveUp(int index);
  void MoveDown(int index);

 private:
  struct Entry {
    std::string name;
    TObject* object = nullptr;
  };
  void CheckIndex(int index) const;
  static void FillControl(TListControl* control, const std::vector<std::string>& names);
  std::vector<std::string> Names() const;

  std::vector<Entry> entries_;
  std::vector<TListControl*> listBoxes_;
  std::vector<TListControl*> comboBoxes_;
  bool changePending_ = false;
  bool updating_ = false;
  TListControl* linkedComboBox_ = nullptr;
};

// The typed list pattern: a list of T (derived from TObject) that adds typed
// getters, adders and finders and nothing else. Each configured collection is
// one of these, named after its entries, e.g.
//   class TAreaList : public TTypedList<TArea> { ... };
template <class T>
class TTypedList : public TPubLst {
 public:
  T* GetItem(int index) const { return static_cast<T*>(GetObject(index)); }
  int Add(const std::string& name, T* item) { return AddObject(name, item); }
  void Insert(int index, const std::string& name, T* item) { InsertObject(index, name, item); }
  int IndexOf(const T* item) const { return IndexOfObject(item); }
  T* FindByName(const std::string& name) const { return static_cast<T*>(ObjectByName(name)); }
};

}  // namespace velmaris
