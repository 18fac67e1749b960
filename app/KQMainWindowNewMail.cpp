// The main window's new-message command: a message editor on the area of
// the focus row, with copies ticked for the other selected areas. Also the
// address book's write command, and what the editors made here reach.
#include <QPlainTextEdit>
#include <random>

#include "app/KQMainWindow.h"
#include "app/MessageEditor.h"
#include "app/MsgWinCompose.h"
#include "app/SearchAssistent.h"
#include "app/logic/AddressBookMail.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/KQMail.h"
#include "core/TextGroups.h"
#include "core/forms/FormText.h"
#include "nodelist/NodelistService.h"
#include "nodelist/forms/AdvNLLookup.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "widgets/EZBetterListBox.h"
#include "widgets/VxCheckListBox.h"

namespace velmaris {

namespace {

// No message is written into these from the area list.
bool TakesNewMail(const TArea& area) {
  return area.AreaType != AreaTypeCode::Badmail && area.AreaType != AreaTypeCode::Dupes &&
         area.AreaType != AreaTypeCode::Prototype && !area.IsSeparator();
}

}  // namespace

TEditorLinks TKQMainWindow::EditorLinks() {
  TEditorLinks links;
  links.PickReceiver = PickReceiverFromNodelist;
  links.ShowAreaList = [this] { BringToFront(this); };
  links.ShowSearch = [this] { BringToFront(SearchWindow()); };
  return links;
}

void TKQMainWindow::NeueMail1Click() {
  TAreaList& areas = ConfigStore().Areas();
  const int focus = areaList_->ItemIndex();
  if (focus < 0 || focus >= areas.GetCount()) {
    platform::GetPrompter().Inform("No destination area(s) seleced!");
    return;
  }
  TArea* area = areas.GetItem(focus);
  if (!area || !TakesNewMail(*area)) return;

  auto* editor = new TMessageEditor(EditorLinks(), this);
  TLinkList& uplinks = ConfigStore().Uplinks();
  editor->SetAddresses(uplinks);
  const TNetLink* uplink = area->Uplink;
  if (!uplink && uplinks.GetCount() > 0) uplink = uplinks.GetItem(0);

  TKQMail mail;
  mail.Area = area;
  mail.ToName = area->AreaType == AreaTypeCode::Netmail ? "" : "All";
  mail.Flags = EditorFlag::Send | EditorFlag::Editable;
  mail.DestAddr.SetText("0:0/0");
  if (uplink) {
    mail.FromName = uplink->Sysop;
    mail.OrigAddr.SetText(uplink->SysopAddress.Text4D());
  }
  mail.Origin = "Velmaris 95";
  TZRTexts& groups = ConfigStore().TextGroups();
  if (area->TextGroup >= 0 && area->TextGroup < groups.GetCount()) {
    if (const TTextGroup* group = groups.GetItem(area->TextGroup)) {
      editor->SetOrigins(group->Origins);
      if (!group->Origins.empty()) {
        size_t pick = 0;
        if (area->RandomOrig) {
          std::random_device seed;
          pick = std::uniform_int_distribution<size_t>(0, group->Origins.size() - 1)(seed);
        }
        mail.Origin = group->Origins[pick].substr(0, kMaxOriginText);
      }
      mail.Text = group->NewHeader;
      mail.Text.insert(mail.Text.end(), group->NewFooter.begin(), group->NewFooter.end());
    }
  }
  editor->SetMail(mail);
  // The other selected areas receive copies when the editor offers them.
  for (int i = 0; i < areas.GetCount(); ++i) {
    TArea* other = areas.GetItem(i);
    if (i == focus || !other || !TakesNewMail(*other) || !areaList_->Selected(i)) continue;
    for (int row = 0; row < editor->CopyAreas->Count(); ++row)
      if (editor->CopyAreas->item(row)->data(Qt::UserRole).toByteArray() ==
          StoredBytes(other->Name))
        editor->CopyAreas->SetChecked(row, true);
  }
  editor->show();
  editor->Editor->setFocus();
}

void TKQMainWindow::WriteToFriend(const TFriend& entry) {
  TConfigStore& store = ConfigStore();
  TComposeSource source;
  source.WindowArea = FriendMailArea(store.Areas());
  source.Areas = &store.Areas();
  source.Uplinks = &store.Uplinks();
  source.TextGroups = &store.TextGroups();
  TComposition composition = ComposeFriendMail(source, entry);
  ShowComposition(composition, this, EditorLinks(), &store.Uplinks());
}

bool PickReceiverFromNodelist(QWidget* parent, const std::string& sysop, std::string& name,
                              std::string& address) {
  TNodelistFilter start;
  start.Sysop = platform::AnsiToOem(sysop);
  const std::optional<TNodelistPick> pick = PickFromNodelist(GetNodelistLookup(), start, parent);
  if (!pick) return false;
  name = platform::OemToAnsi(pick->Sysop);
  address = FidoAddressToStr(pick->Address);
  return true;
}

}  // namespace velmaris
