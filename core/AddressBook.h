// The personal address book: people with a name, an e-mail address, a
// FidoNet address and comment lines. The global book is one TGroup; the
// user's named groups form a TGroupList, each group holding entries of its
// own (separate objects from those of the global book).
//
// Registry form (below the section the configuration store passes):
//   book:   "Count", and per entry the key "<section>\Address<n>" with
//           "Name", "EMail", "Address" (4D text), "CommentCount" and
//           "Comment<n>";
//   groups: "Count", and per group the key "<section>\Group<n>" holding the
//           group's own "Count", its entries as "...\Group<n>\Address<m>"
//           and its "Name".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/FidoAddress.h"
#include "core/PubLst.h"

namespace velmaris {

class TWinRegistry;

class TFriend : public TObject {
 public:
  using ChangeEvent = std::function<void(TFriend& sender)>;

  static constexpr const char* kDefaultName = "?";
  static constexpr const char* kDefaultAddress = "0:8/15";
  // A comment line that is counted but missing reads as this.
  static constexpr const char* kMissingComment = "Lost in time and lost in space ..";

  TFriend();
  ~TFriend() override;
  TFriend(const TFriend&) = delete;
  TFriend& operator=(const TFriend&) = delete;

  const std::string& GetName() const { return name_; }
  // Store the text and announce the change at once (also inside an update
  // bracket), only when it differs.
  void SetName(const std::string& name);
  const std::string& GetEMail() const { return email_; }
  void SetEMail(const std::string& email);
  // The person's FidoNet address. Its changes are announced through the
  // entry; inside an update bracket they are held back until EndUpdate.
  TFidonetAddress& Address() { return address_; }
  const TFidonetAddress& Address() const { return address_; }
  std::vector<std::string> Comments;

  // Update bracket for grouped changes (does not nest).
  void BeginUpdate() { updating_ = true; }
  void EndUpdate();
  bool IsUpdating() const { return updating_; }
  bool IsChangePending() const { return changePending_; }
  // Marks a change pending while updating, else announces it.
  void NotifyChange();
  // Fires OnChange (when assigned) and clears a pending change, so a later
  // EndUpdate without new changes stays quiet.
  virtual void Changed();

  ChangeEvent OnChange;
  // The entry's properties dialog while it is open (made by the windows on
  // first use); it goes with the entry, and a dialog that closes gives
  // itself up here.
  std::unique_ptr<TObject> PropertiesDialog;

  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;

 private:
  TFidonetAddress address_;
  std::string email_;
  std::string name_ = kDefaultName;
  bool updating_ = false;
  bool changePending_ = false;
};

// A list of address book entries; the global book is one. The list keeps
// every entry it was given through a unique_ptr alive until it ends.
class TGroup : public TTypedList<TFriend>, public TObject {
 public:
  TGroup() = default;
  ~TGroup() override;

  // Adds the entry under its name and follows its changes: a renamed entry
  // is renamed in the list, and every change of an entry is announced as a
  // change of the list.
  TFriend* AddFriend(std::unique_ptr<TFriend> entry);
  TFriend* AddFriend(TFriend* entry);  // the caller keeps ownership
  TFriend* GetFriend(int index) const { return GetItem(index); }

  // Replaces the entries by those below section: "Count" (default 0), then
  // each "<section>\Address<n>".
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;

 private:
  void FriendChanged(TFriend& entry);

  std::vector<std::unique_ptr<TFriend>> owned_;
};

// The user's named groups of entries.
class TGroupList : public TTypedList<TGroup> {
 public:
  static constexpr const char* kDefaultName = "?";

  using TTypedList<TGroup>::Add;  // (name, group): the caller keeps ownership
  TGroup* Add(const std::string& name, std::unique_ptr<TGroup> group);
  TGroup* GetGroup(int index) const { return GetItem(index); }

  // Replaces the groups by those below section: "Count" (default 0), then
  // each "<section>\Group<n>" loaded as a TGroup and added under its "Name"
  // (default "?").
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  // Writes "Count", then each group's entries and its "Name".
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;

 private:
  std::vector<std::unique_ptr<TGroup>> owned_;
};

}  // namespace velmaris
