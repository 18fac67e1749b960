#include "app/logic/AddressBookMail.h"

#include "core/AddressBook.h"

namespace velmaris {

std::string FriendToName(const TFriend& entry) {
  if (entry.GetEMail().empty()) return entry.GetName();
  return entry.GetName() + " <" + entry.GetEMail() + ">";
}

}  // namespace velmaris
