// Mails and damaged files for the message base tests.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Area.h"
#include "core/KQMail.h"
#include "core/Mail.h"
#include "platform/Prompter.h"

namespace velmaris::test {

inline void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
inline void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline uint32_t Get32(const std::string& s, size_t at) {
  return static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8) |
         (static_cast<uint8_t>(s[at + 2]) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24);
}

struct BodySpec {
  uint16_t origNode = 5, destNode = 6, origNet = 7, destNet = 8, attribute = 9, cost = 10;
  std::string date = "06 Dec 26  19:45:00";
  std::string to = "Sysop", from = "Point User", subject = "Hello";
  std::string text = "Hi there.\r";
};

// The packed message image of a body; textOffset receives where its text
// begins.
inline std::string MakeBody(const BodySpec& b, uint16_t* textOffset = nullptr) {
  std::string s;
  Put16(s, 2);
  Put16(s, b.origNode);
  Put16(s, b.destNode);
  Put16(s, b.origNet);
  Put16(s, b.destNet);
  Put16(s, b.attribute);
  Put16(s, b.cost);
  std::string date = b.date;
  date.resize(20, '\0');
  s += date;
  s += b.to + '\0' + b.from + '\0' + b.subject + '\0';
  if (textOffset) *textOffset = static_cast<uint16_t>(s.size());
  s += b.text + '\0';
  return s;
}

// A mail with a recognisable header and body; n makes it unique.
inline std::unique_ptr<TMail> MakeMail(int n, size_t textSize = 40, uint16_t flags = 0) {
  BodySpec b;
  b.attribute = 0;  // reading rebuilds it from the flags: 0 for these
  b.from = "Sender " + std::to_string(n);
  b.subject = "Subject number " + std::to_string(n);
  std::string text = "Message " + std::to_string(n) + ":";
  uint32_t x = 0x9E3779B9u * static_cast<uint32_t>(n + 1);
  while (text.size() + 1 < textSize) {
    x = x * 1103515245u + 12345u;
    // Words of letters, lines ended by CR: compresses like real text.
    text += (x >> 28) < 2 ? '\r' : (x >> 27) < 6 ? ' ' : static_cast<char>('a' + (x >> 16) % 26);
  }
  text += '\r';
  b.text = text;
  uint16_t textOffset = 0;
  std::string body = MakeBody(b, &textOffset);
  TMsgHeader h;
  h.OrigAddr = {2, 5020, 1, static_cast<uint16_t>(n % 100)};
  h.DestAddr = {2, 5020, 1, 0};
  h.FromName = b.from;
  h.ToName = b.to;
  h.Subject = b.subject;
  h.AreaName = "TEST.ECHO";
  h.MsgIdNumber = 0x1000u + static_cast<uint32_t>(n);
  h.MsgIdCrc = 0xABCD0000u + static_cast<uint32_t>(n);
  h.Created = 1700000000 + n;
  h.Tossed = 1700000100 + n;
  h.TextOffset = textOffset;
  h.BodyLength = static_cast<uint32_t>(body.size());
  auto mail = std::make_unique<TMail>(std::move(body), h);
  mail->Header.Flags = flags;
  return mail;
}

// Limits the size of files this process writes (RLIMIT_FSIZE), so that
// writes beyond it come up short as on a full disk; restored at the end.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    Set(bytes);
  }
  void Set(rlim_t bytes) {
    rlimit r = old_;
    r.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &r);
  }
  void Lift() { setrlimit(RLIMIT_FSIZE, &old_); }
  ~FileSizeLimit() {
    Lift();
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = SIG_DFL;
};

// A prompter that runs a step before answering each question, e.g. to make
// room on the "disk" before answering Retry.
class ActingPrompter : public platform::Prompter {
 public:
  struct Step {
    platform::MsgButton answer;
    std::function<void()> action;
  };
  std::vector<Step> steps;
  std::vector<std::string> texts;
  platform::MsgButton Ask(platform::MsgKind, const std::string& text, platform::MsgButtons,
                          const std::string& = {}) override {
    texts.push_back(text);
    if (texts.size() > steps.size()) return platform::mbAbort;
    auto& step = steps[texts.size() - 1];
    if (step.action) step.action();
    return step.answer;
  }
};

// Installs a prompter for the scope of a test.
class PrompterScope {
 public:
  explicit PrompterScope(platform::Prompter* p) { platform::SetPrompter(p); }
  ~PrompterScope() { platform::SetPrompter(nullptr); }
};

// The body a short message composed in the area is stored with (its AREA
// line first in an echo), as the editor builds it.
inline std::string ComposedBody(TArea* area, const std::string& subject = "Re: one") {
  TKQMail mail;
  mail.Area = area;
  mail.OrigAddr.SetText("2:5020/1042.7");
  mail.FromName = "Point User";
  mail.ToName = "All";
  mail.Subject = subject;
  mail.Text = {"Hi"};
  return std::string(mail.BuildMail()->BodyText());
}

}  // namespace velmaris::test
