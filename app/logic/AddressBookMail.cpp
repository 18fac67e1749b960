#include "app/logic/AddressBookMail.h"

#include "core/AddressBook.h"
#include "core/Area.h"

namespace velmaris {

std::string FriendToName(const TFriend& entry) {
  if (entry.GetEMail().empty()) return entry.GetName();
  return entry.GetName() + " <" + entry.GetEMail() + ">";
}

TArea* FriendMailArea(const TAreaList& areas) {
  for (const char* name : {"NETMAIL", "EMAIL"}) {
    const int index = areas.IndexOfName(name);
    if (index >= 0) return areas.GetItem(index);
  }
  return nullptr;
}

TComposition ComposeFriendMail(const TComposeSource& source, const TFriend& entry) {
  TComposition result = ComposeNewMail(source);
  result.Mail->ToName = FriendToName(entry);
  result.Mail->DestAddr.SetText(entry.Address().Text4D());
  return result;
}

}  // namespace velmaris
