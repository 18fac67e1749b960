#include "platform/Prompter.h"

#include <atomic>

namespace velmaris::platform {

MsgButton CloseAnswer(MsgButtons buttons) {
  for (MsgButton ending : {mbCancel, mbNo, mbAbort, mbOk})
    if (buttons & ending) return ending;
  for (unsigned bit = 1; bit != 0 && bit <= buttons; bit <<= 1)
    if (buttons & bit) return static_cast<MsgButton>(bit);
  return mbOk;
}

MsgButton ScriptedPrompter::Ask(MsgKind kind, const std::string& text, MsgButtons buttons,
                                const std::string& caption) {
  std::lock_guard lock(mutex_);
  questions_.push_back(Question{kind, text, buttons, caption});
  if (!script_.empty()) {
    const MsgButton answer = script_.front();
    script_.pop_front();
    return answer;
  }
  if (default_ != mbNone && (buttons & default_)) return default_;
  for (unsigned bit = 1; bit != 0 && bit <= buttons; bit <<= 1) {
    if (buttons & bit) return static_cast<MsgButton>(bit);
  }
  return mbNone;
}

void ScriptedPrompter::Script(std::initializer_list<MsgButton> answers) {
  std::lock_guard lock(mutex_);
  script_.insert(script_.end(), answers.begin(), answers.end());
}

void ScriptedPrompter::SetDefaultAnswer(MsgButton answer) {
  std::lock_guard lock(mutex_);
  default_ = answer;
}

std::vector<ScriptedPrompter::Question> ScriptedPrompter::Questions() const {
  std::lock_guard lock(mutex_);
  return questions_;
}

void ScriptedPrompter::Clear() {
  std::lock_guard lock(mutex_);
  questions_.clear();
  script_.clear();
  default_ = mbNone;
}

namespace {
std::atomic<Prompter*> gPrompter{nullptr};
}

Prompter& GetPrompter() {
  if (Prompter* p = gPrompter.load()) return *p;
  static ScriptedPrompter fallback;
  return fallback;
}

void SetPrompter(Prompter* prompter) { gPrompter.store(prompter); }

}  // namespace velmaris::platform
