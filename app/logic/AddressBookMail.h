// What a message to an address book entry is addressed to, and the message
// the address book's write command starts with.
#pragma once

#include <string>

#include "app/logic/Compose.h"

namespace velmaris {

class TArea;
class TAreaList;
class TFriend;

// The entry's name, followed by " <" + e-mail address + ">" when it has one.
std::string FriendToName(const TFriend& entry);

// The area a message to an entry goes to: "NETMAIL", else "EMAIL"; null when
// there is neither.
TArea* FriendMailArea(const TAreaList& areas);

// A new message in source.WindowArea (texts and origins of its text group,
// sender its uplink or the first one) addressed to the entry.
TComposition ComposeFriendMail(const TComposeSource& source, const TFriend& entry);

}  // namespace velmaris
