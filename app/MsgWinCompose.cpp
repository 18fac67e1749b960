#include "app/MsgWinCompose.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <QAction>
#include <QMenu>
#include <QStyle>
#include <algorithm>
#include <exception>
#include <functional>
#include <string_view>

#include "app/MessageEditor.h"
#include "app/MsgWin.h"
#include "app/MsgWinCommon.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "widgets/SpeedBar.h"
#include "widgets/TextView.h"

namespace velmaris {

TReaderPane ReaderPaneOf(const TTextView& view) {
  TReaderPane pane = TReaderPane::FromParagraphs(view.ParaStarts(), view.Paragraphs());
  if (!view.HasSelection()) return pane;
  const TTextSelection selection = view.ParagraphSelection();
  auto column = [&pane](const TTextPos& pos) {
    const bool inside = pos.line >= 0 && pos.line < pane.Count();
    return inside ? static_cast<int>(pane.ParaStarts[static_cast<size_t>(pos.line)].size()) +
                        pos.column
                  : 0;
  };
  pane.StartPara = selection.anchor.line;
  pane.StartCol = column(selection.anchor);
  pane.EndPara = selection.end.line;
  pane.EndCol = column(selection.end);
  return pane;
}

TMessageEditor* ShowComposition(TComposition& composition, QWidget* owner,
                                const TEditorLinks& links, const TLinkList* uplinks,
                                TArea* heldArea) {
  auto* editor = new TMessageEditor(links, owner);
  if (uplinks) editor->SetAddresses(*uplinks);
  if (composition.HasTextGroup) editor->SetOrigins(composition.Origins);
  editor->SetHeader(composition.Header);
  editor->SetReplyNumber(composition.ReplyNumber);
  editor->SetReplyMsgId(composition.ReplyMsgId);
  editor->SetAllowAreaChange(composition.AllowAreaChange);
  if (composition.Modifies >= 0) editor->SetModifies(composition.Modifies);
  editor->SetHeldArea(heldArea);
  if (composition.Mail) editor->SetMail(*composition.Mail);
  composition.Mail.reset();
  editor->show();
  QTextCursor start = editor->Editor->textCursor();
  start.movePosition(QTextCursor::Start);
  editor->Editor->setTextCursor(start);
  if (composition.Focus == TComposeFocus::Text) editor->Editor->setFocus();
  if (composition.Focus == TComposeFocus::Receiver) editor->NewReceiver->setFocus();
  return editor;
}


// --- The composers of the message list window -----------------------------------------

TComposeSource TMessageListWindow::ComposeSource() const {
  TComposeSource source;
  source.WindowArea = area_;
  if (TConfigStore* store = GetConfigStore()) {
    source.Areas = &store->Areas();
    source.Uplinks = &store->Uplinks();
    source.TextGroups = &store->TextGroups();
  }
  source.Displayed = CurrentMail.get();
  source.DisplayedIndex = DisplayedIndex;
  source.Kludges = KludgeValues;
  if (!RenderedLatin) {
    // Kludge values come from the stored (OEM) text; the mail is written in ANSI.
    source.Kludges.ReplyToName = platform::OemToAnsi(source.Kludges.ReplyToName);
    source.Kludges.ReplyAddr = platform::OemToAnsi(source.Kludges.ReplyAddr);
  }
  source.Reader = ReaderPaneOf(*msgText_);
  return source;
}

void TMessageListWindow::OpenComposition(TComposition& composition, TArea* heldArea) {
  TConfigStore* store = GetConfigStore();
  ShowComposition(composition, parentWidget(), editorLinks_, store ? &store->Uplinks() : nullptr,
                  heldArea);
}

void TMessageListWindow::ComposeAnswer(bool withQuote) {
  if (!area_ || !CurrentMail) return;
  Guarded([&] {
    TComposition c = velmaris::ComposeAnswer(ComposeSource(), withQuote);
    OpenComposition(c);
  });
}

void TMessageListWindow::ComposeComment(bool withQuote) {
  if (!area_ || !CurrentMail) return;
  Guarded([&] {
    TComposition c = velmaris::ComposeComment(ComposeSource(), withQuote);
    OpenComposition(c);
  });
}

void TMessageListWindow::ComposeNetmailAnswer(bool withQuote) {
  if (!area_ || !CurrentMail) return;
  Guarded([&] {
    TComposition c = velmaris::ComposeNetmailAnswer(ComposeSource(), withQuote);
    OpenComposition(c);
  });
}

void TMessageListWindow::ForwardClick() {
  if (!area_ || !CurrentMail) return;
  Guarded([&] {
    TComposition c = ComposeForward(ComposeSource());
    OpenComposition(c);
  });
}

void TMessageListWindow::NewMailClick() {
  if (!area_) return;
  Guarded([&] {
    TComposition c = ComposeNewMail(ComposeSource());
    OpenComposition(c);
  });
}

void TMessageListWindow::EditClick() {
  if (!area_ || !CurrentMail || DisplayedIndex < 0) return;
  if (!(CurrentMail->Header.Flags & MsgFlag::Editable)) return;
  TArea* area = area_;
  if (!TakeEditLock(*area, platform::GetPrompter())) return;
  // The text is taken as the reader shows it without kludge, AREA and
  // SEEN-BY lines; the switches come back afterwards.
  const char* switches[] = {"AKludge", "AREAKLudge", "SBKLudge"};
  bool saved[3];
  for (int i = 0; i < 3; ++i) {
    saved[i] = Action(switches[i])->isChecked();
    Action(switches[i])->setChecked(false);
  }
  bool opened = false;
  Guarded([&] {
    RedisplayMessage();
    TComposition c = ComposeEdit(ComposeSource());
    for (int i = 0; i < 3; ++i) Action(switches[i])->setChecked(saved[i]);
    RedisplayMessage();
    OpenComposition(c, area);
    opened = true;
  });
  if (opened) return;
  for (int i = 0; i < 3; ++i) Action(switches[i])->setChecked(saved[i]);
  area->Unlock();
}

void TMessageListWindow::BuildComposeCommands() {
  QMenu* single = Menu("Mail1");
  QMenu* answer = Menu("AntwortPopup");
  QMenu* popupSingle = Menu("PopupSingle");
  QMenu* listPopup = Menu("MsgListPopup");
  struct Entry {
    const char* name;
    const char* caption;
    TCommandRule rule;
    QKeySequence key;
    std::function<void()> run;
  };
  const Entry entries[] = {
      {"Answer", "Ответить с цитатой", TCommandRule::WritableMessageView, QKeySequence("Ctrl+R"),
       [this] { ComposeAnswer(true); }},
      {"PAntwortohneQuote", "Ответить без цитаты", TCommandRule::WritableMessageView, {},
       [this] { ComposeAnswer(false); }},
      {"PKommentarmitQuote", "Комментарий с цитатой", TCommandRule::WritableMessageView, {},
       [this] { ComposeComment(true); }},
      {"PKommentarohneQuote", "Комментарий без цитаты", TCommandRule::WritableMessageView, {},
       [this] { ComposeComment(false); }},
      {"PAntwortalsNetMail", "Ответить нетмейлом с цитатой", TCommandRule::MessageView,
       QKeySequence("Ctrl+N"), [this] { ComposeNetmailAnswer(true); }},
      {"PAntwortalsNetmailohneQuote", "Ответить нетмейлом без цитаты", TCommandRule::MessageView,
       {}, [this] { ComposeNetmailAnswer(false); }},
      {"Forward", "Переслать", TCommandRule::MessageView, {}, [this] { ForwardClick(); }},
      {"NewMail", "Новое письмо", TCommandRule::Writable, QKeySequence("Ctrl+W"),
       [this] { NewMailClick(); }},
      {"Edit", "Изменить", TCommandRule::Editable, QKeySequence("Ctrl+E"),
       [this] { EditClick(); }},
  };
  if (single) single->addSeparator();
  for (const Entry& e : entries) {
    QAction* action = MakeAction(single, e.name, QString::fromUtf8(e.caption), e.key);
    connect(action, &QAction::triggered, this, [run = e.run] { run(); });
    RegisterCommand(action, e.rule);
    if (answer && std::string_view(e.name).find("Antwort") != std::string_view::npos)
      answer->addAction(action);
    if (popupSingle) popupSingle->addAction(action);
  }
  if (listPopup) {
    listPopup->addSeparator();
    listPopup->addAction(Action("NewMail"));
  }
  if (answer) answer->insertAction(answer->actions().value(0), Action("Answer"));

  // Speed items.
  TSpeedBar* bar = MailToolbar();
  const int section = bar->AddSection("Compose");
  struct Item {
    const char* action;
    const char* name;
    QStyle::StandardPixmap icon;
  };
  const Item items[] = {{"Answer", "IEAnswer", QStyle::SP_ArrowBack},
                        {"Forward", "IEForward", QStyle::SP_ArrowForward},
                        {"NewMail", "IENewMail", QStyle::SP_FileIcon},
                        {"Edit", "IEEdit", QStyle::SP_FileDialogDetailedView}};
  int left = NextSectionLeft();
  for (const Item& it : items) {
    TSpeedItem* item = AddSpeedItem(section, Action(it.action), it.name, it.icon, left);
    left += bar->BtnWidth();
    if (std::string_view(it.name) == "IEAnswer" && answer) {
      item->SetDropDownMenu(answer);
      item->SetMarkDropDown(true);
    }
  }
}

}  // namespace velmaris
