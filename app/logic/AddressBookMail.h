// What a message to an address book entry is addressed to.
#pragma once

#include <string>

namespace velmaris {

class TFriend;

// The entry's name, followed by " <" + e-mail address + ">" when it has one.
std::string FriendToName(const TFriend& entry);

}  // namespace velmaris
