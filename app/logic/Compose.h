// Composition of new messages from the message list: answer, comment,
// answer as netmail, forward, new message and edit. Each composer builds the
// TKQMail that the message editor starts with (addressee, sender, subject,
// attribute word, origin and the first text lines) plus what the editor
// keeps beside the mail (header lines such as the REPLY kludge, the origin
// list, the reply reference). Nothing is stored here: the editor stores the
// message when the user saves it.
//
// Texts are byte strings in the ANSI code page, as the reader pane shows
// them (with its display escape sequences, which the quoting removes).
//
//   command          target area                sender (own address)
//   answer/comment   window's; Storage: AREA:   target's uplink, else best match
//   netmail answer   NETMAIL (else window's)    window area's uplink, else best match
//   forward          NETMAIL (else window's)    window area's uplink, else the first
//   new message      window's                   area's uplink, else the first
//   edit             window's                   the stored one
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/MsgRender.h"
#include "core/KQMail.h"

namespace velmaris {

namespace platform {
class Prompter;
}

class TArea;
class TAreaList;
class TLinkList;
class TTGList;
class TMail;

// Attribute word of every composed message but an edited one: Send (waiting
// for export) and the editable mark that enables the edit command.
inline constexpr uint16_t kComposedFlags = 0x0840;
inline constexpr const char* kDefaultOriginText = "Velmaris 95";
// No quoted or forwarded line is longer than this.
inline constexpr int kQuoteLineWidth = 78;

// The reader pane: every paragraph as displayed (its quote prefix and its
// text), the texts without prefix and the prefixes, and the selection
// (paragraph and 0-based column of both ends; equal ends: no selection).
struct TReaderPane {
  std::vector<std::string> Displayed;
  std::vector<std::string> Paragraphs;
  std::vector<std::string> ParaStarts;
  int StartPara = 0, StartCol = 0, EndPara = 0, EndCol = 0;

  // A pane without selection whose displayed paragraphs are prefix + text.
  static TReaderPane FromParagraphs(std::vector<std::string> starts,
                                    std::vector<std::string> texts);
  int Count() const { return static_cast<int>(Paragraphs.size()); }
};

// What a composer reads of the message list window.
struct TComposeSource {
  TArea* WindowArea = nullptr;
  const TAreaList* Areas = nullptr;
  const TLinkList* Uplinks = nullptr;
  const TTGList* TextGroups = nullptr;
  const TMail* Displayed = nullptr;  // the shown message, or none
  int DisplayedIndex = -1;
  TKludgeValues Kludges;
  TReaderPane Reader;
  // A number in 0 .. n-1 for the random origin (rand() when not set).
  std::function<int(int)> Random;
};

// Where the editor puts the focus after showing the composition.
enum class TComposeFocus { None, Text, Receiver };

struct TComposition {
  std::unique_ptr<TKQMail> Mail;
  std::vector<std::string> Header;  // lines before the text (the REPLY kludge)
  std::vector<std::string> Origins; // the text group's origins (none without group)
  bool HasTextGroup = false;
  uint32_t ReplyNumber = 0;   // the answered message's MSGID serial
  std::string ReplyMsgId;     // and its MSGID address
  int Modifies = -1;          // the stored message an edit replaces
  bool AllowAreaChange = true;
  TComposeFocus Focus = TComposeFocus::None;
};

TComposition ComposeAnswer(const TComposeSource& source, bool withQuote);
TComposition ComposeComment(const TComposeSource& source, bool withQuote);
TComposition ComposeNetmailAnswer(const TComposeSource& source, bool withQuote);
TComposition ComposeForward(const TComposeSource& source);
TComposition ComposeNewMail(const TComposeSource& source);
// The stored message in the reader pane rendered without kludge, AREA and
// SEEN-BY lines; the caller holds the area's exclusive lock for the editor.
TComposition ComposeEdit(const TComposeSource& source);
// The edit's hold of the area: its exclusive lock, asking Abort or Retry
// while it is refused. False (nothing held) after Abort.
bool TakeEditLock(TArea& area, platform::Prompter& prompter);

// --- The pieces, for the window and the tests ---------------------------------

// The first character of every word ("Max Mustermann" gives "MM"); a word
// may be quoted.
std::string NameInitials(const std::string& name);
// The target of an answer or a comment: in a Storage area the area named by
// the message's "AREA:" line, else NETMAIL; the window's area when that
// fails or for any other type.
TArea* AnswerTargetArea(const TComposeSource& source);
// The uplink whose own address sends to dest: the area's uplink, else the
// best match of the own addresses, else the first uplink; null without any.
const TNetLink* ReplySender(const TArea* area, const TLinkList* uplinks, const TFidoAddr& dest);
// The quoted lines of the pane (its selection, or all of it), re-flowed when
// asked, each prefixed for initials and at most kQuoteLineWidth long.
std::vector<std::string> QuoteReaderText(const TReaderPane& pane, const std::string& initials,
                                         bool reflow);
// The pane's text for forwarding: own prefixes kept, no initials added.
std::vector<std::string> ForwardReaderText(const TReaderPane& pane);
// The text lines of a stored message for editing: the origin line and the
// tear line dropped; origin receives the origin text when there was one.
std::vector<std::string> EditReaderText(const TReaderPane& pane, const std::string& originAddress,
                                        std::string& origin);
// Shortens the origin text so that the origin line holds kMaxOriginLine
// characters at most.
void FitOriginLine(TKQMail& mail);

}  // namespace velmaris
