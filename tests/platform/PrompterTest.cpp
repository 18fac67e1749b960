#include <gtest/gtest.h>

#include "platform/Prompter.h"

namespace velmaris::platform {
namespace {

TEST(ScriptedPrompter, AnswersFromTheScriptThenByDefault) {
  ScriptedPrompter p;
  p.Script({mbNo, mbRetry});
  const struct {
    MsgButtons buttons;
    MsgButton answer;
  } cases[] = {
      {mbYes | mbNo, mbNo},                     // scripted
      {mbAbort | mbRetry | mbIgnore, mbRetry},  // scripted
      {mbYes | mbNo, mbYes},                    // first button
      {mbOk | mbCancel, mbOk},
      {mbRetry | mbCancel, mbCancel},  // mbCancel comes before mbRetry
      {mbNone, mbNone},
  };
  for (const auto& c : cases) EXPECT_EQ(p.Ask(MsgKind::Confirmation, "q", c.buttons), c.answer);
  p.SetDefaultAnswer(mbNo);
  EXPECT_EQ(p.Ask(MsgKind::Confirmation, "q", mbYes | mbNo), mbNo);
  EXPECT_EQ(p.Ask(MsgKind::Information, "q", mbOk), mbOk);  // default not in the set
}

// Escape or the close box: the answer that ends the command, never Yes.
TEST(Prompter, ClosingABoxAnswersWhatEndsTheCommand) {
  const struct {
    MsgButtons buttons;
    MsgButton answer;
  } cases[] = {
      {mbYes | mbNo, mbNo},
      {mbYes | mbNo | mbCancel, mbCancel},
      {mbAbort | mbRetry | mbIgnore, mbAbort},
      {mbRetry | mbCancel, mbCancel},
      {mbYes | mbYesToAll | mbNo | mbNoToAll, mbNo},
      {mbOk | mbCancel, mbCancel},
      {mbOk, mbOk},
      {mbYes, mbYes},  // the only way out
      {mbNone, mbOk},
  };
  for (const auto& c : cases) EXPECT_EQ(CloseAnswer(c.buttons), c.answer) << c.buttons;
}

}  // namespace
}  // namespace velmaris::platform
