// Message boxes. Logic never opens a window: it asks the process-wide
// Prompter, which the application shows as a message box on the main thread
// and which tests script.
//
// Texts and captions are UTF-8, like the program's own texts in the source.
// Stored text (names of areas, jobs, filters, uplinks and people, subjects:
// bytes in the ANSI code page; what came from packets and nodelists: the OEM
// code page) is converted where it is put into a text, with AnsiToUtf8 or
// OemToUtf8 of CodePage.h; a text made of ASCII and one code page's bytes
// may be converted whole. The application's box takes a text that is not
// well-formed UTF-8 as ANSI text, so a name that reaches it unconverted (in
// an exception's message) still reads.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace velmaris::platform {

enum class MsgKind { Information, Error, Warning, Confirmation };

// Buttons; a button set is a bit mask of them.
enum MsgButton : unsigned {
  mbNone = 0,
  mbOk = 1u << 0,
  mbCancel = 1u << 1,
  mbAbort = 1u << 2,
  mbRetry = 1u << 3,
  mbIgnore = 1u << 4,
  mbYes = 1u << 5,
  mbNo = 1u << 6,
  mbAll = 1u << 7,
  mbNoToAll = 1u << 8,
  mbYesToAll = 1u << 9,
  mbHelp = 1u << 10,
};
using MsgButtons = unsigned;

class Prompter {
 public:
  virtual ~Prompter() = default;
  // Shows the text (UTF-8, see above) and returns the button chosen; Escape
  // or closing the box returns CloseAnswer(buttons).
  virtual MsgButton Ask(MsgKind kind, const std::string& text, MsgButtons buttons,
                        const std::string& caption = {}) = 0;

  void Inform(const std::string& text) { Ask(MsgKind::Information, text, mbOk); }
  void Error(const std::string& text) { Ask(MsgKind::Error, text, mbOk); }
  void Warn(const std::string& text) { Ask(MsgKind::Warning, text, mbOk); }
  bool Confirm(const std::string& text) {
    return Ask(MsgKind::Confirmation, text, mbYes | mbNo) == mbYes;
  }
};

// The answer of a box that is closed or left with Escape: one that ends the
// command (Cancel, else No, else Abort), and only without any of them OK or
// the set's first button. Closing a Yes/No question never answers Yes.
MsgButton CloseAnswer(MsgButtons buttons);

// Records every question and answers from a script; when the script is empty
// it answers with the default answer when the set holds it, else with the
// set's first button.
class ScriptedPrompter : public Prompter {
 public:
  struct Question {
    MsgKind kind;
    std::string text;
    MsgButtons buttons;
    std::string caption;
  };

  MsgButton Ask(MsgKind kind, const std::string& text, MsgButtons buttons,
                const std::string& caption = {}) override;

  void Script(std::initializer_list<MsgButton> answers);
  void SetDefaultAnswer(MsgButton answer);
  std::vector<Question> Questions() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::deque<MsgButton> script_;
  MsgButton default_ = mbNone;
  std::vector<Question> questions_;
};

// The process-wide prompter; a ScriptedPrompter with no script serves until
// one is set. SetPrompter(nullptr) returns to it.
Prompter& GetPrompter();
void SetPrompter(Prompter* prompter);

}  // namespace velmaris::platform
