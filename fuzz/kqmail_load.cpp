// Fills a message being composed from a stored message whose text is the
// input, builds it again and reads the result back: the built message must
// have a well-formed layout, and reading it keeps what the first reading
// gave, plus the empty line and the SEEN-BY line a build adds.

#include "core/KQMail.h"
#include "core/MessageBase.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  if (size > 65536) return 0;
  std::string body(14, '\0');
  body[0] = 2;
  body += std::string("05 Jan 98  12:00:00", 19) + '\0';
  body += std::string("All") + '\0' + "Ivan" + '\0' + "Subject" + '\0';
  TMsgHeader header;
  header.TextOffset = static_cast<std::uint16_t>(body.size());
  body.append(reinterpret_cast<const char*>(data), size);
  body += '\0';
  header.BodyLength = static_cast<std::uint32_t>(body.size());
  const TMail stored(body, header);

  TKQMail mail;
  mail.LoadFromMail(stored);
  for (const auto& line : mail.Text) {
    if (line.find('\r') != std::string::npos || line.find('\0') != std::string::npos) std::abort();
    if (!line.empty() && line[0] == '\x01') std::abort();
  }
  const auto built = mail.BuildMail();
  if (!CheckBodyLayout(built->Body, built->Header.TextOffset) || built->Body.back() != '\0')
    std::abort();
  if (mail.GetOriginLine().size() > kMaxOriginLine) std::abort();

  // A line feed right after a line end is read as part of it, so a line
  // that begins with one comes back changed; the others keep their count.
  bool lineFeedStart = false;
  for (const auto& line : mail.Text)
    lineFeedStart = lineFeedStart || (!line.empty() && line[0] == '\n');
  TKQMail again;
  again.LoadFromMail(*built);
  if (!lineFeedStart && again.Text.size() != mail.Text.size() + 2) std::abort();
  return 0;
}
