#include "app/MsgWinCompose.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "app/MessageEditor.h"
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
                                const TLinkList* uplinks, TArea* heldArea) {
  auto* editor = new TMessageEditor(owner);
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

}  // namespace velmaris
