// A stored message as the benchmarks write it: the packed body (version
// byte, date, recipient, sender, subject, text, each text field ended by a
// NUL) and the header that points into it.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "core/Mail.h"
#include "core/MsgHeader.h"

namespace velmaris::bench {

// h carries everything but the names, the subject and the body layout.
inline std::unique_ptr<TMail> PackedMail(const std::string& from, const std::string& to,
                                         const std::string& subject, const std::string& text,
                                         TMsgHeader h = {}) {
  std::string body(34, '\0');
  body[0] = 2;
  body.replace(14, 19, "06 Dec 26  19:45:00");
  body += to + '\0' + from + '\0' + subject + '\0';
  h.FromName = from;
  h.ToName = to;
  h.Subject = subject;
  h.TextOffset = static_cast<uint16_t>(body.size());
  body += text + '\0';
  h.BodyLength = static_cast<uint32_t>(body.size());
  return std::make_unique<TMail>(std::move(body), h);
}

}  // namespace velmaris::bench
