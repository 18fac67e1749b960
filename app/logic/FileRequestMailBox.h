// The mailbox of a file request made from a message (a BBS's file list that
// arrived as mail): the sender's system at the message's origin address.
#pragma once

#include <string>

namespace velmaris {

class TMailBox;
struct TMsgHeader;

// Fills the file request editor's own mailbox record from the message:
// address = the origin address, name = "Mailbox of " + sender (the whole
// name at most 46 characters), sysop = sender, no file list, no area
// indicator, no phone numbers; the command becomes the first mailer
// profile's name when one exists (firstProfile not empty), else stays.
void FillRequestMailBox(TMailBox& box, const TMsgHeader& header, const std::string& firstProfile);

}  // namespace velmaris
