#include "core/Mail.h"

namespace velmaris {

TMail::TMail(std::string body, const TMsgHeader& header) : Header(header), Body(std::move(body)) {
  Header.BodyOffset = 0;
  Header.Flags = 0;
}

std::unique_ptr<TMail> TMail::Clone() const {
  auto copy = std::make_unique<TMail>(Body, Header);
  copy->Header.Flags = Header.Flags;
  return copy;
}

uint16_t TMail::GetAttribute() const {
  if (Body.size() < MailBodyOffset::Attribute + 2) return 0;
  return GetU16(reinterpret_cast<const uint8_t*>(Body.data()) + MailBodyOffset::Attribute);
}

void TMail::SetAttribute(uint16_t attribute) {
  if (Body.size() < MailBodyOffset::Attribute + 2) return;
  PutU16(reinterpret_cast<uint8_t*>(Body.data()) + MailBodyOffset::Attribute, attribute);
}

}  // namespace velmaris
