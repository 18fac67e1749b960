#include "app/MsgWinCompose.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "app/MessageEditor.h"

namespace velmaris {

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
