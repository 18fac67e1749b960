// Mails made field by field for the stored-message tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Mail.h"

namespace velmaris::test {

struct MailSpec {
  std::string from = "Ivan Petrov";
  std::string to = "All";
  std::string subject = "Test";
  std::string area = "RU.TEST";
  TFidoAddr orig{2, 5020, 1, 7};
  TFidoAddr dest{1, 5030, 2, 0};
  std::string date = std::string("05 Jan 98  12:00:00", 19);  // padded with NULs to 20
  std::string text = "Hello\r";
  uint16_t attribute = 0x0101;
  uint16_t flags = 0;
  int32_t created = 884001600;  // 1998-01-05 12:00:00
  int32_t tossed = 884088000;   // 1998-01-06 12:00:00
};

// The packed message image: the body's own node and net numbers are set to
// 99 so that tests see where addresses come from.
inline std::unique_ptr<TMail> MakeSpecMail(const MailSpec& s) {
  std::string body(14, '\0');
  body[0] = 2;
  for (size_t at : {2, 4, 6, 8}) body[at] = 99;
  body[10] = static_cast<char>(s.attribute & 0xFF);
  body[11] = static_cast<char>(s.attribute >> 8);
  std::string date = s.date;
  date.resize(20, '\0');
  body += date;
  body += s.to + '\0' + s.from + '\0' + s.subject + '\0';
  const size_t textOffset = body.size();
  body += s.text + '\0';
  TMsgHeader h;
  h.OrigAddr = s.orig;
  h.DestAddr = s.dest;
  h.FromName = s.from;
  h.ToName = s.to;
  h.Subject = s.subject;
  h.AreaName = s.area;
  h.Created = s.created;
  h.Tossed = s.tossed;
  h.TextOffset = static_cast<uint16_t>(textOffset);
  h.BodyLength = static_cast<uint32_t>(body.size());
  auto mail = std::make_unique<TMail>(std::move(body), h);
  mail->Header.Flags = s.flags;
  return mail;
}

}  // namespace velmaris::test
