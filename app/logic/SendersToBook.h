// The senders of a message list's selection into the personal address
// book: an entry per sender that the book does not yet hold under the same
// name (without regard to case) and the same address, named after the
// sender, with the message's origin address and three comment lines that
// say to whom, about what and in which area the message was written.
#pragma once

#include <cstdint>
#include <vector>

namespace velmaris {

class TArea;
class TGroup;

// Adds the entries; returns how many were added. Indexes outside the area
// are left out.
int AddSendersToAddressBook(TArea& area, const std::vector<int32_t>& selection, TGroup& book);

}  // namespace velmaris
