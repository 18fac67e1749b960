#include "app/logic/Compose.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/logic/MsgText.h"
#include "core/Area.h"
#include "core/Mail.h"
#include "core/NetLink.h"
#include "core/TextGroups.h"
#include "core/TextHelpers.h"
#include "platform/CaseFold.h"
#include "platform/Prompter.h"

namespace velmaris {
namespace {

constexpr size_t kMaxQuotePrefixWord = 7;
constexpr const char* kOriginalPrefix = " @ ORIGINAL: ";

bool StartsWith(const std::string& text, std::string_view head) {
  return text.compare(0, head.size(), head) == 0;
}

// Appends text in pieces of at most width - length(prefix) characters, each
// behind prefix; an empty text gives one empty line.
void AppendWrapped(std::vector<std::string>& lines, std::string text, const std::string& prefix) {
  if (text.empty()) {
    lines.emplace_back();
    return;
  }
  const int room = kQuoteLineWidth - static_cast<int>(prefix.size());
  while (!text.empty()) {
    std::string piece;
    CutWrappedLine(text, room, piece);
    lines.push_back(prefix + piece);
  }
}

// The prefix word of a quoted line: its first word when that is 1 to 7
// characters long and ends in ">"; rest gets the text after it and one
// blank. Empty (rest untouched) otherwise.
std::string SplitQuotePrefix(const std::string& line, std::string& rest) {
  std::string text = line;
  std::string word;
  size_t blanks = 0;
  while (blanks < text.size() && static_cast<unsigned char>(text[blanks]) <= 32) ++blanks;
  CutFirstWordOrQuoted(text, word);
  if (word.empty() || word.size() > kMaxQuotePrefixWord || word.back() != '>') return {};
  text.erase(0, std::min(blanks, text.size()));
  if (!text.empty() && text.front() == ' ') text.erase(0, 1);
  rest = text;
  return word;
}

// T and P of the quote: the selected part of the pane, each paragraph split
// into its text and its prefix.
void SelectedParagraphs(const TReaderPane& pane, std::vector<std::string>& texts,
                        std::vector<std::string>& prefixes) {
  int firstPara = pane.StartPara, firstCol = pane.StartCol;
  int lastPara = pane.EndPara, lastCol = pane.EndCol;
  if (std::pair(lastPara, lastCol) < std::pair(firstPara, firstCol)) {
    std::swap(firstPara, lastPara);
    std::swap(firstCol, lastCol);
  }
  firstPara = std::max(firstPara, 0);
  lastPara = std::min(lastPara, pane.Count() - 1);
  for (int i = firstPara; i <= lastPara; ++i) {
    const std::string& displayed = pane.Displayed[static_cast<size_t>(i)];
    std::string shown = displayed;
    if (i == lastPara) shown = shown.substr(0, static_cast<size_t>(std::max(lastCol, 0)));
    std::string line = MakeQuotable(shown);
    std::string rest;
    const std::string prefix = SplitQuotePrefix(line, rest);
    if (!prefix.empty()) line = rest;
    if (i == firstPara) {
      // The selection starts inside the text behind the prefix (never
      // inside the prefix itself).
      size_t skip = 0;
      if (!prefix.empty()) {
        const size_t at = displayed.find(prefix);
        if (at != std::string::npos) {
          skip = at + prefix.size();
          if (skip < displayed.size() && displayed[skip] == ' ') ++skip;
        }
      }
      const size_t from = std::max(skip, static_cast<size_t>(std::max(firstCol, 0)));
      std::string text = from < displayed.size() ? displayed.substr(from) : std::string();
      if (i == lastPara) {
        const int keep = lastCol - static_cast<int>(from);
        text = text.substr(0, static_cast<size_t>(std::max(keep, 0)));
      }
      line = MakeQuotable(text);
    }
    texts.push_back(line);
    prefixes.push_back(prefix);
  }
}

bool Joinable(const std::string& text) {
  const std::string quotable = MakeQuotable(text);
  return !quotable.empty() && !StartsWith(quotable, "-+-") && !StartsWith(quotable, kOriginalPrefix);
}

// Joins runs of paragraphs with the same prefix into one paragraph.
void Reflow(const std::vector<std::string>& texts, const std::vector<std::string>& prefixes,
            std::vector<std::string>& joinedTexts, std::vector<std::string>& joinedPrefixes) {
  size_t s = 0;
  while (s < texts.size()) {
    std::string joined = texts[s];
    // The reader shows the text in the ANSI code page, whose letters fold.
    const std::string key = MakeQuotable(prefixes[s]);
    size_t i = s + 1;
    if (!MakeQuotable(texts[s]).empty()) {
      for (; i < texts.size(); ++i) {
        if (!platform::EqualNoCase(MakeQuotable(prefixes[i]), key, platform::AnsiCodePage()) ||
            !Joinable(texts[i]))
          break;
        if (!joined.empty() && joined.back() != ' ') joined += ' ';
        joined += texts[i];
      }
    }
    joinedTexts.push_back(joined);
    joinedPrefixes.push_back(prefixes[s]);
    s = i;
  }
}

int PickRandom(const TComposeSource& source, int count) {
  if (source.Random) return std::clamp(source.Random(count), 0, count - 1);
  return std::rand() % count;
}

const TTextGroup* AreaTextGroup(const TComposeSource& source, const TArea* area) {
  if (!area || !source.TextGroups) return nullptr;
  if (area->TextGroup < 0 || area->TextGroup >= source.TextGroups->GetCount()) return nullptr;
  return source.TextGroups->GetItem(area->TextGroup);
}

std::string Expand(const TComposeSource& source, const std::string& line) {
  if (!source.Displayed) return line;
  return source.Displayed->ExpandMacros(line,
                                        source.WindowArea ? source.WindowArea->NameInAnsi() : "");
}

void AppendExpanded(const TComposeSource& source, TKQMail& mail,
                    const std::vector<std::string>& lines) {
  for (const std::string& line : lines) mail.Text.push_back(Expand(source, line));
}

// Origins of the group into the composition and the chosen one into the
// mail, the origin area's "RandomOrig" deciding the pick.
void TakeOrigins(const TComposeSource& source, const TTextGroup& group, const TArea& originArea,
                 TComposition& result) {
  result.HasTextGroup = true;
  result.Origins = group.Origins;
  if (result.Origins.empty()) return;
  const int count = static_cast<int>(result.Origins.size());
  const int index = originArea.RandomOrig ? PickRandom(source, count) : 0;
  result.Mail->Origin = Expand(source, result.Origins[static_cast<size_t>(index)]);
}

TComposition NewComposition(TArea* target, TComposeFocus focus) {
  TComposition result;
  result.Mail = std::make_unique<TKQMail>();
  result.Mail->Origin = kDefaultOriginText;
  result.Mail->Area = target;
  result.Mail->Flags = kComposedFlags;
  result.Focus = focus;
  return result;
}

void SetSender(TKQMail& mail, const TNetLink* sender) {
  if (!sender) return;
  mail.FromName = sender->Sysop;
  mail.OrigAddr.SetText(sender->SysopAddress.Text4D());
}

const TNetLink* AreaUplinkOrFirst(const TArea* area, const TLinkList* uplinks) {
  if (area && area->Uplink) return area->Uplink;
  if (uplinks && uplinks->GetCount() > 0) return uplinks->GetItem(0);
  return nullptr;
}

TArea* NetmailOrWindowArea(const TComposeSource& source) {
  TArea* netmail = source.Areas ? source.Areas->FindByName(kNetmailAreaName) : nullptr;
  return netmail ? netmail : source.WindowArea;
}

void AddReplyReference(const TComposeSource& source, TComposition& result) {
  if (!source.Displayed) return;
  result.ReplyNumber = source.Displayed->Header.MsgIdNumber;
  result.ReplyMsgId = source.Kludges.MsgIdAddress;
  result.Header.push_back(ReplyKludge(result.ReplyMsgId, result.ReplyNumber));
}

enum class TReplyKind { Answer, Comment, Netmail };

// The frame shared by answer, comment and netmail answer.
TComposition ComposeReply(const TComposeSource& source, bool withQuote, TReplyKind kind) {
  TArea* target = kind == TReplyKind::Netmail ? NetmailOrWindowArea(source)
                                              : AnswerTargetArea(source);
  TComposition result = NewComposition(target, TComposeFocus::Text);
  TKQMail& mail = *result.Mail;
  std::string initials;
  if (const TMail* shown = source.Displayed) {
    const TKludgeValues& k = source.Kludges;
    if (kind == TReplyKind::Comment) {
      mail.ToName = shown->Header.ToName.Str();
      mail.DestAddr.SetAddress(shown->Header.DestAddr);
      initials = NameInitials(shown->Header.FromName.Str());
    } else {
      if (!k.ReplyToAddress.empty()) {
        mail.ToName = k.ReplyToName;
        mail.DestAddr.SetText(k.ReplyToAddress);
      } else {
        mail.ToName = shown->Header.FromName.Str();
        mail.DestAddr.SetAddress(shown->Header.OrigAddr);
      }
      initials = NameInitials(mail.ToName);
      if (!k.ReplyAddr.empty()) mail.ToName = k.ReplyAddr;
    }
    const TArea* noRexArea = kind == TReplyKind::Netmail ? source.WindowArea : target;
    mail.Subject = ReplySubject(shown->Header.Subject.Str(), noRexArea && noRexArea->NoRex);
  }
  const TArea* senderArea = kind == TReplyKind::Netmail ? source.WindowArea : target;
  SetSender(mail, ReplySender(senderArea, source.Uplinks, mail.DestAddr.Address()));
  AddReplyReference(source, result);

  const TTextGroup* group = AreaTextGroup(source, target);
  if (group) {
    TakeOrigins(source, *group, *target, result);
    AppendExpanded(source, mail, kind == TReplyKind::Comment ? group->CommentHeader
                                                             : group->ReplyHeader);
  }
  if (withQuote && source.Reader.Count() > 0) {
    for (std::string& line : QuoteReaderText(source.Reader, initials, target && target->Reflow))
      mail.Text.push_back(std::move(line));
  }
  if (group)
    AppendExpanded(source, mail, kind == TReplyKind::Comment ? group->CommentFooter
                                                             : group->ReplyFooter);
  FitOriginLine(mail);
  return result;
}

void CutOriginText(TKQMail& mail) {
  if (mail.Origin.size() > kMaxOriginText) mail.Origin.resize(kMaxOriginText);
}

}  // namespace

TReaderPane TReaderPane::FromParagraphs(std::vector<std::string> starts,
                                        std::vector<std::string> texts) {
  TReaderPane pane;
  starts.resize(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) pane.Displayed.push_back(starts[i] + texts[i]);
  pane.ParaStarts = std::move(starts);
  pane.Paragraphs = std::move(texts);
  return pane;
}

std::string NameInitials(const std::string& name) {
  std::string rest = name;
  std::string initials;
  for (;;) {
    std::string word;
    CutFirstWordOrQuoted(rest, word);
    if (word.empty()) {
      if (rest.empty()) break;
      continue;
    }
    initials += word.front();
  }
  return initials;
}

TArea* AnswerTargetArea(const TComposeSource& source) {
  TArea* window = source.WindowArea;
  if (!window || window->AreaType != AreaTypeCode::Storage || !source.Areas) return window;
  TArea* found = nullptr;
  const std::string_view text = source.Displayed ? source.Displayed->BodyText() : "";
  if (text.substr(0, 5) == "AREA:") {
    size_t end = 5;
    while (end < text.size() && static_cast<unsigned char>(text[end]) > 32) ++end;
    found = FindAreaOfTag(*source.Areas, text.substr(5, end - 5));
  } else {
    found = source.Areas->FindByName(kNetmailAreaName);
  }
  return found ? found : window;
}

const TNetLink* ReplySender(const TArea* area, const TLinkList* uplinks, const TFidoAddr& dest) {
  if (area && area->Uplink) return area->Uplink;
  if (!uplinks) return nullptr;
  if (const TNetLink* match = FindGatewayUplink(*uplinks, dest)) return match;
  return uplinks->GetCount() > 0 ? uplinks->GetItem(0) : nullptr;
}

std::vector<std::string> QuoteReaderText(const TReaderPane& pane, const std::string& initials,
                                         bool reflow) {
  std::vector<std::string> texts, prefixes;
  if (pane.StartPara == pane.EndPara && pane.StartCol == pane.EndCol) {
    texts = pane.Paragraphs;
    prefixes = pane.ParaStarts;
    prefixes.resize(texts.size());
  } else {
    SelectedParagraphs(pane, texts, prefixes);
  }
  std::vector<std::string> joinedTexts, joinedPrefixes;
  if (reflow) {
    Reflow(texts, prefixes, joinedTexts, joinedPrefixes);
  } else {
    joinedTexts = std::move(texts);
    joinedPrefixes = std::move(prefixes);
  }
  std::vector<std::string> lines;
  for (size_t j = 0; j < joinedTexts.size(); ++j) {
    std::string text = MakeQuotable(joinedTexts[j]);
    const std::string prefix =
        text.empty() ? std::string() : QuotePrefix(MakeQuotable(joinedPrefixes[j]), initials);
    AppendWrapped(lines, std::move(text), prefix);
  }
  return lines;
}

std::vector<std::string> ForwardReaderText(const TReaderPane& pane) {
  std::vector<std::string> lines;
  for (int i = 0; i < pane.Count(); ++i) {
    const size_t at = static_cast<size_t>(i);
    std::string text = MakeQuotable(pane.Paragraphs[at]);
    const std::string prefix = at < pane.ParaStarts.size() ? MakeQuotable(pane.ParaStarts[at]) : "";
    AppendWrapped(lines, std::move(text), prefix);
  }
  return lines;
}

std::vector<std::string> EditReaderText(const TReaderPane& pane, const std::string& originAddress,
                                        std::string& origin) {
  std::vector<std::string> full;
  for (int i = 0; i < pane.Count(); ++i) {
    const size_t at = static_cast<size_t>(i);
    const std::string start = at < pane.ParaStarts.size() ? pane.ParaStarts[at] : "";
    full.push_back(MakeQuotable(start + pane.Paragraphs[at]));
  }
  if (!full.empty() && StartsWith(full.back(), kOriginalPrefix)) {
    std::string text = full.back().substr(std::string_view(kOriginalPrefix).size());
    const size_t tail = originAddress.size() + 3;  // " (" + address + ")"
    text.resize(text.size() > tail ? text.size() - tail : 0);
    origin = text;
    full.pop_back();
  }
  if (!full.empty() && StartsWith(full.back(), "-+- ")) full.pop_back();
  return full;
}

void FitOriginLine(TKQMail& mail) {
  const size_t fixed = std::string_view(" * Origin: ").size() + mail.OrigAddr.Text4D().size() + 3;
  const size_t room = fixed < kMaxOriginLine ? kMaxOriginLine - fixed : 0;
  if (mail.Origin.size() > room) mail.Origin.resize(room);
}

TComposition ComposeAnswer(const TComposeSource& source, bool withQuote) {
  return ComposeReply(source, withQuote, TReplyKind::Answer);
}

TComposition ComposeComment(const TComposeSource& source, bool withQuote) {
  return ComposeReply(source, withQuote, TReplyKind::Comment);
}

TComposition ComposeNetmailAnswer(const TComposeSource& source, bool withQuote) {
  return ComposeReply(source, withQuote, TReplyKind::Netmail);
}

TComposition ComposeForward(const TComposeSource& source) {
  TArea* target = NetmailOrWindowArea(source);
  TComposition result = NewComposition(target, TComposeFocus::Receiver);
  TKQMail& mail = *result.Mail;
  if (source.Displayed) mail.Subject = source.Displayed->Header.Subject.Str();
  SetSender(mail, AreaUplinkOrFirst(source.WindowArea, source.Uplinks));
  const TTextGroup* group = AreaTextGroup(source, target);
  if (group) {
    TakeOrigins(source, *group, *target, result);
    AppendExpanded(source, mail, group->ForwardHeader);
  }
  for (std::string& line : ForwardReaderText(source.Reader)) mail.Text.push_back(std::move(line));
  if (group) AppendExpanded(source, mail, group->ForwardFooter);
  CutOriginText(mail);
  return result;
}

TComposition ComposeNewMail(const TComposeSource& source) {
  TArea* target = source.WindowArea;
  TComposition result = NewComposition(target, TComposeFocus::Receiver);
  TKQMail& mail = *result.Mail;
  if (target && (target->AreaType == AreaTypeCode::Echomail ||
                 target->AreaType == AreaTypeCode::Newsgroup))
    mail.ToName = "All";
  SetSender(mail, AreaUplinkOrFirst(target, source.Uplinks));
  if (const TTextGroup* group = AreaTextGroup(source, target)) {
    TakeOrigins(source, *group, *target, result);
    AppendExpanded(source, mail, group->NewHeader);
    AppendExpanded(source, mail, group->NewFooter);
  }
  CutOriginText(mail);
  return result;
}

TComposition ComposeEdit(const TComposeSource& source) {
  TComposition result = NewComposition(source.WindowArea, TComposeFocus::None);
  result.AllowAreaChange = false;
  result.Modifies = source.DisplayedIndex;
  TKQMail& mail = *result.Mail;
  if (const TMail* shown = source.Displayed) {
    const TMsgHeader& h = shown->Header;
    result.ReplyNumber = h.ReplyNumber;
    result.ReplyMsgId = source.Kludges.ReplyAddress;
    mail.Subject = h.Subject.Str();
    mail.Flags = h.Flags;
    mail.FromName = h.FromName.Str();
    mail.ToName = h.ToName.Str();
    mail.OrigAddr.SetAddress(h.OrigAddr);
    mail.DestAddr.SetAddress(h.DestAddr);
    if (h.ReplyNumber != 0) result.Header.push_back(ReplyKludge(result.ReplyMsgId, h.ReplyNumber));
  }
  if (const TTextGroup* group = AreaTextGroup(source, source.WindowArea)) {
    result.HasTextGroup = true;
    result.Origins = group->Origins;
  }
  mail.Text = EditReaderText(source.Reader, mail.OrigAddr.Text4D(), mail.Origin);
  return result;
}

bool TakeEditLock(TArea& area, platform::Prompter& prompter) {
  using namespace platform;
  while (!area.Lock(true)) {
    const std::string text = "Cannot get exclusive access to the area  " + area.NameText() + " !";
    if (prompter.Ask(MsgKind::Error, text, mbAbort | mbRetry) != mbRetry) return false;
  }
  return true;
}

}  // namespace velmaris
