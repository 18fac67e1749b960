#include "app/logic/AreaTools.h"

#include "app/logic/SelectionTools.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/KQMail.h"
#include "core/NetLink.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"

namespace velmaris {

namespace {

struct ToolText {
  const char* question;
  const char* step;
};

ToolText TextOf(TAreaTool tool) {
  switch (tool) {
    case TAreaTool::CatchUp:
      return {"Are you sure you want to catch up the selected areas ?\r\nThis will mark all mails "
              "in the selected areas as read !",
              "Catching up area "};
    case TAreaTool::CatchUpAll:
      return {"Area you sure you want to catch up all  areas ?\r\nThis will mark all messagesas read !",
              "Catching up area "};
    case TAreaTool::CleanUp:
      return {"Are you sure you want to start maintenance for the selected areas ?\r\nThis may "
              "delete mails in thoseareas !",
              "Mainainance for area "};
    case TAreaTool::Optimize:
      return {"Area you sure you want to optimize the selected areas ?", "Optimizing area "};
  }
  return {"", ""};
}

void WorkOn(TAreaTool tool, TArea& area, const TNoteSink& note) {
  const std::string name = area.NameInAnsi();
  note("Opening area " + name + " ...");
  if (!area.OpenIndex()) {
    platform::GetPrompter().Inform(
        platform::AnsiToUtf8("The area " + name + " because " + "coud not be opened!"));
    return;
  }
  if (!area.Lock(true)) {
    platform::GetPrompter().Inform(platform::AnsiToUtf8("Cannot access the area  " + name +
                                                        " because " + "it is in use by another" +
                                                        " process !"));
  } else {
    note(TextOf(tool).step + name + " ...");
    if (tool == TAreaTool::CatchUp || tool == TAreaTool::CatchUpAll) ClearUnreadMarks(area);
    if (tool == TAreaTool::CleanUp) area.MaintainMessages();
    if (tool == TAreaTool::Optimize) area.Optimize();
    note("Unlocking area " + name + " ...");
    if (tool == TAreaTool::Optimize) area.MaintainMessages();
    area.Unlock();
  }
  note("Closing area " + name + " ...");
  area.CloseIndex();
}

bool Deletable(const TArea& area) {
  switch (area.AreaType) {
    case AreaTypeCode::Badmail:
    case AreaTypeCode::Dupes:
    case AreaTypeCode::Netmail:
    case AreaTypeCode::Separator:
    case AreaTypeCode::Prototype: return false;
    default: return !area.IsSeparator();
  }
}

}  // namespace

bool RunAreaTool(TAreaTool tool, TAreaList& areas, const std::vector<int>& rows,
                 const TNoteSink& note) {
  if (platform::GetPrompter().Ask(platform::MsgKind::Warning, TextOf(tool).question,
                                  platform::mbYes | platform::mbNo) != platform::mbYes)
    return false;
  note("One moment ...");
  std::vector<TArea*> chosen;
  if (tool == TAreaTool::CatchUpAll) {
    chosen = areas.Areas();
  } else {
    for (int row : rows)
      if (row >= 0 && row < areas.GetCount()) chosen.push_back(areas.GetItem(row));
  }
  for (TArea* area : chosen) {
    if (area->IsSeparator()) continue;
    WorkOn(tool, *area, note);
    note("Continuing ...");
  }
  return true;
}

std::vector<std::string> DeletableAreaNames(const TAreaList& areas, const std::vector<int>& rows) {
  std::vector<std::string> names;
  for (int row : rows)
    if (row >= 0 && row < areas.GetCount() && Deletable(*areas.GetItem(row)))
      names.push_back(areas.GetItem(row)->Name);
  return names;
}

bool SendConfigurationReport(TConfigStore& store) {
  platform::Prompter& prompter = platform::GetPrompter();
  if (prompter.Ask(platform::MsgKind::Warning,
                   "This function will send some parts of your uplink configuration to the author "
                   "of Velmaris 95 to simplify support in the case of network addressing "
                   "problems.Please contact the author before using this function.\r\nAre you sure "
                   "you want to transmit yout network configuration to the author ?",
                   platform::mbYes | platform::mbNo) != platform::mbYes)
    return false;
  const TNetLink* uplink = nullptr;
  for (int i = 0; i < store.Uplinks().GetCount() && !uplink; ++i) {
    const uint16_t zone = store.Uplinks().GetItem(i)->SysopAddress.Address().Zone;
    if (zone == 1 || zone == 2) uplink = store.Uplinks().GetItem(i);
  }
  if (!uplink) {
    prompter.Error("You have no uplink to zone 1 or 2!");
    return false;
  }
  TArea* netmail = store.FindArea("NETMAIL");
  if (!netmail || !netmail->OpenIndex()) {
    prompter.Error("Could not open the NETMAIL area !");
    return false;
  }
  if (!netmail->Lock(true)) {
    netmail->CloseIndex();
    prompter.Error("Could not lock the NETMAIL area !");
    return false;
  }
  bool stored = false;
  if (std::unique_ptr<TKQMail> mail = store.MailConfigurationReport()) {
    mail->FromName = uplink->Sysop;
    mail->OrigAddr.SetText(uplink->SysopAddress.Text4D());
    stored = mail->StoreInArea(false);
  }
  netmail->Unlock();
  netmail->CloseIndex();
  return stored;
}

}  // namespace velmaris
