// Stored messages built from arbitrary bytes. The first byte holds switches,
// the next two a text offset (used when switch 1 is set; otherwise the offset
// follows from the names in the body), the rest is the body. Every operation
// of the message runs on it: date parsing (with its round trip through the
// FTS-0001 text), the *.MSG image, the printable text, the macros with the
// body's text as template, and the mask test with conditions taken from the
// body. None may read outside the body or change its size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/Mail.h"
#include "core/SearchRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmaris;
  if (size < 3) return 0;
  const uint8_t switches = data[0];
  const uint16_t givenOffset = static_cast<uint16_t>(data[1] | (data[2] << 8));
  data += 3;
  size -= 3;
  const std::string body(reinterpret_cast<const char*>(data), size);

  // The date field alone.
  if (size >= 20) {
    const TDateTime t = ParsePacketDate(std::string_view(body).substr(14, 20));
    if (t != 0 && ParsePacketDate(FormatPacketDate(t)) != t) std::abort();
  }

  TMsgHeader h;
  size_t offset = 34;
  for (int name = 0; name < 3 && offset < body.size(); ++name) {
    const size_t nul = body.find('\0', offset);
    const std::string field =
        body.substr(offset, nul == std::string::npos ? std::string::npos : nul - offset);
    if (name == 0) h.ToName = field;
    if (name == 1) h.FromName = field;
    if (name == 2) h.Subject = field;
    offset = nul == std::string::npos ? body.size() : nul + 1;
  }
  h.TextOffset = (switches & 1) ? givenOffset : static_cast<uint16_t>(offset);
  h.AreaName = h.Subject.View();
  h.OrigAddr = {static_cast<uint16_t>(switches), 5020, 1, 7};
  h.Created = static_cast<int32_t>(givenOffset) * 99991;
  h.Tossed = -static_cast<int32_t>(givenOffset) * 7;
  h.BodyLength = static_cast<uint32_t>(body.size());

  TMail mail(body, h);
  mail.Header.Flags = static_cast<uint16_t>(switches << 8 | switches);
  const TDateTime date = mail.GetPacketDate();
  if (mail.Body.size() != body.size()) std::abort();
  if (date != 0 && ParsePacketDate(FormatPacketDate(date)) != date) std::abort();

  const std::string image = mail.BuildMsgImage();
  if (image.size() < 191 || image.back() != '\0') std::abort();

  const std::string printed =
      mail.PrintableText((switches & 2) != 0, (switches & 4) != 0, (switches & 8) != 0);
  const std::string stars(78, '*');
  if (printed.compare(0, 79, stars + "\n") != 0) std::abort();
  if (printed.size() < 83 ||
      printed.compare(printed.size() - 83, 83, "\n" + stars + "\n\n\n\n") != 0)
    std::abort();

  const std::string_view text = mail.BodyText();
  (void)mail.ExpandMacros(text);
  (void)mail.ExpandMacros(text, h.FromName.View());

  TSearchRequest request;
  request.FlagMask = switches;
  request.Flags = givenOffset;
  request.ApplyOrigin = switches & 16;
  request.ApplyText = switches & 32;
  request.ApplySubject = switches & 64;
  request.Origin.SetText(h.ToName.View());
  request.Origin.CaseSensitive = switches & 128;
  request.Text.SetText(text.substr(0, text.size() / 2));
  request.Text.SubstringMatch = !(switches & 2);
  request.Subject.SetText(h.Subject.View());
  (void)mail.MatchesRequest(request);
  return 0;
}
