// Uplinks, mailboxes and text groups from arbitrary registry text: loading
// either succeeds or raises ERegistry (a value of the wrong type); what loads
// saves into a fresh registry and loads back to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/MailBox.h"
#include "core/NetLink.h"
#include "core/TextGroups.h"
#include "core/WinRegistry.h"
#include "platform/Registry.h"

#include "RegistryFuzz.h"

namespace {

using namespace velmaris;

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + '\x01';
  return s + '\x02';
}

std::vector<std::string> Describe(const TLinkList& links) {
  std::vector<std::string> out;
  for (int i = 0; i < links.GetCount(); ++i) {
    const TNetLink& l = *links.GetItem(i);
    out.push_back(links.GetString(i) + '\n' + l.Name + '\n' + l.UplinkAddress.Text4D() + '\n' +
                  l.Sysop + '\n' + l.SysopAddress.Text4D() + '\n' + l.Password + '\n' +
                  l.SessionPassword + '\n' + l.AreaFixPassword + '\n' + l.FileScanPassword + '\n' +
                  l.AFReceiver + '\n' + l.AFSender + '\n' + l.FSReceiver + '\n' + l.FSSender +
                  '\n' + std::to_string(l.AFNameO) + ' ' + std::to_string(l.AFDescO) + ' ' +
                  std::to_string(l.AFDescL) + ' ' + std::to_string(l.FSNameO) + ' ' +
                  std::to_string(l.FSDescO) + ' ' + std::to_string(l.FSDescL) + ' ' +
                  std::to_string(l.Mailbox) + ' ' + std::to_string(l.UsePacker) + '\n' + l.Packer +
                  '\n' + Join(l.AreaFixTitles) + Join(l.FileScanTitles));
  }
  return out;
}

std::vector<std::string> Describe(const TMBList& boxes) {
  std::vector<std::string> out;
  for (int i = 0; i < boxes.GetCount(); ++i) {
    const TMailBox& m = *boxes.GetItem(i);
    out.push_back(boxes.GetString(i) + '\n' + m.Name + '\n' + m.Sysop + '\n' + m.Address.Text4D() +
                  '\n' + m.Command + '\n' + m.FileList + '\n' + m.AreaIndicator + '\n' +
                  std::to_string(m.AreaSize) + ' ' + std::to_string(m.AreaColumn) + ' ' +
                  std::to_string(m.AreaLine) + '\n' + Join(m.Numbers));
  }
  return out;
}

std::vector<std::string> Describe(const TZRTexts& groups) {
  std::vector<std::string> out;
  for (int i = 0; i < groups.GetCount(); ++i) {
    std::string s = groups.GetString(i) + '\n';
    for (int p = 0; p < kTextPartCount; ++p) {
      s += Join(groups.GetItem(i)->Part(static_cast<TTextPart>(p)));
    }
    out.push_back(std::move(s));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::RegistryPair reg;
  if (!reg.Parse(data, size)) return 0;
  TWinRegistry& in = *reg.in;
  TWinRegistry& out = *reg.out;
  TLinkList links;
  TMBList boxes;
  TZRTexts groups;
  try {
    links.LoadFromRegistry(in, "Uplinks", "");
    boxes.LoadFromRegistry(in, "Mailboxes");
    groups.LoadFromRegistry(in);
  } catch (const platform::ERegistry&) {
    return 0;
  }

  links.SaveToRegistry(out, "Uplinks");
  boxes.SaveToRegistry(out, "Mailboxes");
  groups.SaveToRegistry(out);
  TLinkList links2;
  TMBList boxes2;
  TZRTexts groups2;
  links2.LoadFromRegistry(out, "Uplinks", "");  // must not raise
  boxes2.LoadFromRegistry(out, "Mailboxes");
  groups2.LoadFromRegistry(out);
  if (Describe(links2) != Describe(links)) std::abort();
  if (Describe(boxes2) != Describe(boxes)) std::abort();
  if (Describe(groups2) != Describe(groups)) std::abort();
  return 0;
}
