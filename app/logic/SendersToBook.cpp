#include "app/logic/SendersToBook.h"

#include <memory>
#include <string>

#include "core/AddressBook.h"
#include "core/Area.h"
#include "core/FidoAddress.h"
#include "platform/CaseFold.h"

namespace velmaris {

namespace {

std::string Cut(std::string text, size_t most) {
  if (text.size() > most) text.resize(most);
  return text;
}

// Every entry of that name is looked at, so a second address of the same
// person found earlier is not taken for a missing entry.
bool Holds(const TGroup& book, const std::string& name, const std::string& address) {
  for (int i = 0; i < book.GetCount(); ++i) {
    const TFriend* entry = book.GetFriend(i);
    if (entry && platform::EqualNoCase(entry->GetName(), name, platform::AnsiCodePage()) &&
        entry->Address().Text4D() == address)
      return true;
  }
  return false;
}

}  // namespace

int AddSendersToAddressBook(TArea& area, const std::vector<int32_t>& selection, TGroup& book) {
  if (!area.OpenIndex()) return 0;
  int added = 0;
  for (int32_t index : selection) {
    if (index < 0 || index >= area.Count) continue;
    const TMsgHeader& h = area.GetHeader(index);
    const std::string name = h.FromName.Str();
    const std::string address = FidoAddressToStr(h.OrigAddr);
    if (Holds(book, name, address)) continue;
    auto entry = std::make_unique<TFriend>();
    entry->SetName(name);
    entry->Address().SetText(address);
    entry->Comments = {Cut("Sent a message to " + h.ToName.Str(), 53),
                       Cut("about \"" + h.Subject.Str(), 77) + "\"",
                       "in area " + area.NameInAnsi()};
    book.AddFriend(std::move(entry));
    ++added;
  }
  area.CloseIndex();
  return added;
}

}  // namespace velmaris
