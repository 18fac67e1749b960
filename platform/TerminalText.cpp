#include "platform/TerminalText.h"

#include <iostream>
#include <streambuf>

#include "platform/CodePage.h"

namespace velmaris::platform {

std::string TerminalText(std::string_view line) {
  return IsUtf8(line) ? std::string(line) : AnsiToUtf8(line);
}

namespace {

// Collects a line and hands it on converted when it is complete, or when
// the stream is flushed.
class TerminalLineBuf : public std::streambuf {
 public:
  explicit TerminalLineBuf(std::streambuf* out) : out_(out) {}

 protected:
  int_type overflow(int_type ch) override {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    line_.push_back(traits_type::to_char_type(ch));
    if (ch == '\n') return Pass() ? ch : traits_type::eof();
    return ch;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i)
      if (traits_type::eq_int_type(overflow(traits_type::to_int_type(s[i])), traits_type::eof()))
        return i;
    return n;
  }
  int sync() override { return Pass() && out_->pubsync() == 0 ? 0 : -1; }

 private:
  bool Pass() {
    if (line_.empty()) return true;
    const std::string text = TerminalText(line_);
    line_.clear();
    return out_->sputn(text.data(), static_cast<std::streamsize>(text.size())) ==
           static_cast<std::streamsize>(text.size());
  }

  std::streambuf* out_;
  std::string line_;
};

}  // namespace

void WriteStandardErrorInUtf8() {
  // Never freed: the streams are flushed after every static object is gone.
  static TerminalLineBuf* const buffer = new TerminalLineBuf(std::cerr.rdbuf());
  if (std::cerr.rdbuf() == buffer) return;
  std::cerr.rdbuf(buffer);
  std::clog.rdbuf(buffer);
}

}  // namespace velmaris::platform
