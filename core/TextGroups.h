// Text groups: named sets of message templates (the header and footer put
// around a reply, a comment, a new and a forwarded message, and the origin
// lines to choose from). Every area refers to one group by its position in
// the text-group list, so the list keeps those positions in step when a
// group is deleted or moved.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/PubLst.h"

namespace velmaris {

class TWinRegistry;

// The nine parts of a text group, in the order of its fields.
enum class TTextPart : int {
  CommentFooter,
  CommentHeader,
  ForwardFooter,
  ForwardHeader,
  NewHeader,
  NewFooter,
  Origins,
  ReplyHeader,
  ReplyFooter,
};
inline constexpr int kTextPartCount = 9;
// The part's name, which is also its registry key: "CommentFooter", ...
const char* TextPartName(TTextPart part);

class TTextGroup : public TObject {
 public:
  // A stored line that is missing reads as this.
  static constexpr const char* kMissingLine = "Missing it!";

  std::vector<std::string> CommentFooter;  // end of a comment
  std::vector<std::string> CommentHeader;  // start of a comment
  std::vector<std::string> ForwardFooter;  // end of a forwarded message
  std::vector<std::string> ForwardHeader;  // start of a forwarded message
  std::vector<std::string> NewHeader;      // start of a new message
  std::vector<std::string> NewFooter;      // end of a new message
  std::vector<std::string> Origins;        // the origin lines to choose from
  std::vector<std::string> ReplyHeader;    // start of a reply
  std::vector<std::string> ReplyFooter;    // end of a reply

  std::vector<std::string>& Part(TTextPart part);
  const std::vector<std::string>& Part(TTextPart part) const;

  // The nine parts below section ("Textgroups\Textgroup<n>"), each a sub-key
  // named after the part with "Count" and "Line1" .. "Line<Count>"; missing
  // lines read kMissingLine, a missing part reads empty. The group's name
  // is the list's business.
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;
};

// Fills the group with the texts of a new group ("New Group" on the
// settings page). The footers end in a signature line (15 blanks and the
// first of the user's names) when the user has a name configured.
void FillDefaultTextGroup(TTextGroup& group, const std::vector<std::string>& sysopNames);

// The text-group list. It keeps every group it was given through the
// unique_ptr adders alive until it is destroyed itself.
class TTGList : public TTypedList<TTextGroup> {
 public:
  using TTypedList<TTextGroup>::Add;  // (name, group): the caller keeps ownership
  TTextGroup* Add(const std::string& name, std::unique_ptr<TTextGroup> group);

 private:
  std::vector<std::unique_ptr<TTextGroup>> owned_;
};

// Whoever refers to text groups by their position: the areas. The area
// list implements it; tests implement it with a plain vector.
class TTextGroupUsers {
 public:
  virtual ~TTextGroupUsers() = default;
  // Replaces the text-group index of every area (separators included) by
  // remap(index).
  virtual void RemapTextGroups(const std::function<int32_t(int32_t)>& remap) = 0;
};

// The one global text-group list: deleting and moving groups keeps the
// areas' indices in step; it also loads and saves the whole list.
class TZRTexts : public TTGList {
 public:
  void SetUsers(TTextGroupUsers* users) { users_ = users; }
  TTextGroupUsers* Users() const { return users_; }

  // Removes group i (the object stays alive); areas on i or a later group
  // move one down, so areas on the deleted group use the one before it (-1
  // when it was the first).
  void Delete(int index);
  // Exchange group i with its neighbour and swap the areas' indices; the
  // first up or the last down changes nothing.
  void MoveUp(int index);
  void MoveDown(int index);

  // Replaces the entries by those stored under "Textgroups": "Count"
  // (default 0), then each "Textgroup<n>" added under its "Name" (default
  // "Untitled").
  void LoadFromRegistry(const TWinRegistry& registry);
  // Writes each group to "TextGroups\Textgroup<n>" ("Name", then its parts
  // in the order ReplyHeader, ReplyFooter, CommentHeader, CommentFooter,
  // NewHeader, NewFooter, ForwardHeader, ForwardFooter, Origins), then
  // "Textgroups" "Count".
  void SaveToRegistry(TWinRegistry& registry) const;

 private:
  void Remap(const std::function<int32_t(int32_t)>& remap);

  TTextGroupUsers* users_ = nullptr;
};

}  // namespace velmaris
