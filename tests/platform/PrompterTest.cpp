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
      {mbYes | mbNo, mbNo},               // scripted
      {mbAbort | mbRetry | mbIgnore, mbRetry},  // scripted
      {mbYes | mbNo, mbYes},              // first button
      {mbOk | mbCancel, mbOk},
      {mbRetry | mbCancel, mbCancel},     // mbCancel comes before mbRetry
      {mbNone, mbNone},
  };
  for (const auto& c : cases) EXPECT_EQ(p.Ask(MsgKind::Confirmation, "q", c.buttons), c.answer);
  p.SetDefaultAnswer(mbNo);
  EXPECT_EQ(p.Ask(MsgKind::Confirmation, "q", mbYes | mbNo), mbNo);
  EXPECT_EQ(p.Ask(MsgKind::Information, "q", mbOk), mbOk);  // default not in the set
}

TEST(ScriptedPrompter, RecordsQuestions) {
  ScriptedPrompter p;
  p.Inform("info");
  p.Error("error");
  p.Warn("warn");
  EXPECT_TRUE(p.Confirm("sure?"));
  p.Script({mbNo});
  EXPECT_FALSE(p.Confirm("really?"));
  p.Ask(MsgKind::Warning, "text", mbAbort | mbRetry, "Caption");
  const auto q = p.Questions();
  ASSERT_EQ(q.size(), 6u);
  const struct {
    MsgKind kind;
    const char* text;
    MsgButtons buttons;
  } expected[] = {
      {MsgKind::Information, "info", mbOk},  {MsgKind::Error, "error", mbOk},
      {MsgKind::Warning, "warn", mbOk},      {MsgKind::Confirmation, "sure?", mbYes | mbNo},
      {MsgKind::Confirmation, "really?", mbYes | mbNo}, {MsgKind::Warning, "text", mbAbort | mbRetry},
  };
  for (size_t i = 0; i < q.size(); ++i) {
    EXPECT_EQ(q[i].kind, expected[i].kind) << i;
    EXPECT_EQ(q[i].text, expected[i].text) << i;
    EXPECT_EQ(q[i].buttons, expected[i].buttons) << i;
  }
  EXPECT_EQ(q[5].caption, "Caption");
  p.Clear();
  EXPECT_TRUE(p.Questions().empty());
}

TEST(ScriptedPrompter, ProcessWideInstance) {
  ScriptedPrompter mine;
  SetPrompter(&mine);
  GetPrompter().Inform("x");
  EXPECT_EQ(mine.Questions().size(), 1u);
  SetPrompter(nullptr);
  EXPECT_NE(&GetPrompter(), &mine);
}

}  // namespace
}  // namespace velmaris::platform
