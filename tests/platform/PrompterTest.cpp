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

}  // namespace
}  // namespace velmaris::platform
