#include "app/logic/FileRequestMailBox.h"

#include "core/MailBox.h"
#include "core/MsgHeader.h"

namespace velmaris {

void FillRequestMailBox(TMailBox& box, const TMsgHeader& header, const std::string& firstProfile) {
  constexpr size_t kMaxName = 46;
  const std::string from = header.FromName.Str();
  box.Address.SetAddress(header.OrigAddr);
  box.Name = ("Mailbox of " + from).substr(0, kMaxName);
  box.Sysop = from;
  box.FileList.clear();
  box.AreaIndicator.clear();
  box.Numbers.clear();
  if (!firstProfile.empty()) box.Command = firstProfile;
}

}  // namespace velmaris
