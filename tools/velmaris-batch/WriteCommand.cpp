// "write AREA --from NAME --to NAME --subject S [--dest ADDR] [--text-file F]":
// composes one new message as the message editor does and stores it in the
// area. The area name, the names and the subject are the terminal's text and
// the text file the user's: each is read as UTF-8 when it is valid UTF-8,
// else in the ANSI code page (CP1251 unless the settings choose CP1252), one
// byte a character; the text's lines end in CR, LF or CR LF. The text
// holds at most as many characters as the editor does, a line break
// counting as one. A missing area is first created as an echomail area, as
// the configuration store adds one; the configuration is saved. An area name
// with a letter the ANSI page lacks names only an area of those bytes (an
// echo tag kept as it came); no area is made under it, and nothing is
// written. The names and the subject take the nearest letter, as in the
// editor.
//
// As the editor: the sender's address is the area's uplink's own address
// (else the first uplink's), the origin the first origin line of the area's
// text group (else "Velmaris 95"), the flags Send and editable; origin, tear
// and SEEN-BY lines only in echomail areas, the PID kludge only in netmail;
// the message is stored through TKQMail::StoreInArea, as the editor stores it.
// A message base out of reach (TConfigStore::MessageBaseRefusal) takes none:
// exit 1; an area whose files were gone is made anew, and stderr says what
// it held.
#include <iostream>

#include "Batch.h"
#include "BatchStore.h"
#include "core/KQMail.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris::batch {
namespace {

// The editor holds at most this many characters of text.
constexpr size_t kMaxTextChars = 1600000;
constexpr uint16_t kNewMailFlags = 0x0840;  // Send, editable
constexpr const char* kDefaultOrigin = "Velmaris 95";

// The characters of a text in a single-byte code page as the editor holds
// them: one a byte, a line break (CR LF too) one.
size_t EditorChars(const std::string& text) {
  size_t chars = text.size();
  for (size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '\r' && text[i + 1] == '\n') --chars;
  return chars;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

int WriteCommand(BatchContext& ctx) {
  BatchArgs args(ctx.args, {"--from", "--to", "--subject", "--dest", "--text-file"});
  if (args.Positional().size() != 1) throw EBatchUsage("write takes one area name");
  for (const char* required : {"--from", "--to", "--subject"})
    if (!args.Has(required)) throw EBatchUsage(std::string("write needs ") + required);
  // Messages name the area as it was typed.
  const std::string& typedArea = args.Positional()[0];

  std::vector<std::string> lines;
  if (args.Has("--text-file")) {
    const std::string text = platform::TextFileToAnsi(platform::ReadFile(args.Get("--text-file")));
    if (EditorChars(text) > kMaxTextChars)
      throw std::runtime_error("the text is longer than " + std::to_string(kMaxTextChars) +
                               " characters");
    lines = SplitLines(text);
  }
  TFidoAddr dest{};
  if (args.Has("--dest")) {
    const auto parsed = ParseFidoAddress(args.Get("--dest"));
    if (!parsed) throw EBatchUsage("not a FidoNet address: " + args.Get("--dest"));
    dest = *parsed;
  }

  BatchStore config(ctx);
  // A message base out of reach takes no message: its areas would start
  // anew in the empty folder.
  if (const std::string refusal = config->MessageBaseRefusal(); !refusal.empty())
    throw std::runtime_error(refusal);
  TLinkList& uplinks = config->Uplinks();
  TNetLink* firstUplink = uplinks.GetCount() > 0 ? uplinks.GetItem(0) : nullptr;
  std::optional<std::string> areaName;
  std::string why;
  TArea* area = FindTypedArea(config.Store(), typedArea, areaName, why);
  const bool created = area == nullptr;
  if (created) {
    if (!areaName) throw std::runtime_error(why);
    // A name typed in the ANSI page: raw only when the OEM page cannot carry it.
    area = config->AddAreaQuiet(*areaName, *areaName, AreaTypeCode::Echomail, firstUplink,
                                platform::IsRawTypedTag(*areaName));
    if (!area) throw std::runtime_error("cannot create the area " + typedArea);
  }
  if (area->AreaType == AreaTypeCode::Separator || area->AreaType == AreaTypeCode::Prototype)
    throw std::runtime_error("no messages can be written into " + typedArea);
  platform::MakeDirs(area->BaseDir);

  TKQMail mail;
  mail.Area = area;
  mail.Config = config->Values();
  mail.Uplinks = &uplinks;
  mail.Flags = kNewMailFlags;
  mail.FromName = args.GetText("--from");
  mail.ToName = args.GetText("--to");
  mail.Subject = args.GetText("--subject");
  mail.DestAddr.SetAddress(dest);
  const TNetLink* sender = area->Uplink;
  if (!sender) sender = firstUplink;
  if (sender) mail.OrigAddr.SetText(sender->SysopAddress.Text4D());
  mail.Origin = kDefaultOrigin;
  TZRTexts& groups = config->TextGroups();
  if (area->TextGroup >= 0 && area->TextGroup < groups.GetCount()) {
    const TTextGroup* group = groups.GetItem(area->TextGroup);
    if (group && !group->Origins.empty()) mail.Origin = group->Origins.front();
  }
  mail.Text = lines;
  const bool echomail = area->AreaType == AreaTypeCode::Echomail;
  mail.UseOrigin = mail.UseTearLine = mail.UseSeenBy = echomail;
  mail.UsePid = area->AreaType == AreaTypeCode::Netmail;

  if (!mail.StoreInArea()) throw std::runtime_error("cannot write into " + area->Name);
  // The area's files were gone and the message made them anew: said once,
  // here, with what the area held before.
  if (const std::string note = area->TakeRemadeNote(); !note.empty())
    ctx.err << "velmaris-batch: " << note << "\n";
  area->RecountFlags();
  // The new message took a serial number; the configuration keeps the last.
  if (!config->SaveConfiguration()) throw std::runtime_error("cannot save the configuration");

  ctx.out << JsonLine()
                 .Str("area", area->Name)
                 .Bool("created", created)
                 .Int("index", area->Count - 1)
                 .UInt("msgidNumber", mail.Serial)
                 .Text()
          << "\n";
  return 0;
}

BatchCommand cmd("write",
                 "write AREA --from NAME --to NAME --subject S [--dest ADDR] [--text-file F]\n"
                 "      (area, names, subject and text in UTF-8 when they are valid UTF-8,\n"
                 "      else in CP1251, the ANSI code page unless the settings choose\n"
                 "      CP1252; F holds at most 1600000 characters, a line break counting\n"
                 "      as one; an area name with a letter that code page lacks names only\n"
                 "      an area of those bytes, and no area is made under it)",
                 WriteCommand);

}  // namespace

TArea* FindTypedArea(const TConfigStore& store, const std::string& typed,
                     std::optional<std::string>& stored, std::string& why) {
  why.clear();
  stored = platform::IsUtf8(typed) ? platform::FromUtf8Exact(typed, platform::AnsiCodePage())
                                   : std::optional<std::string>(typed);
  if (!stored) {
    const std::string letter =
        platform::FirstCharacterLacking(typed, platform::AnsiCodePage()).value_or("?");
    why = "The area name " + typed + " cannot be used: it holds the letter " + letter +
          ", which the code page " + platform::CodePageName(platform::AnsiCodePage()) + " lacks.";
  }
  // The bytes as typed first: UTF-8 that names a tag kept raw finds that
  // area, not the area of its converted twin; then the converted name.
  if (TArea* area = store.FindArea(typed)) return area;
  return stored ? store.FindArea(*stored, platform::IsRawTypedTag(*stored)) : nullptr;
}

}  // namespace velmaris::batch
