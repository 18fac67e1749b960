// Inbound packets from arbitrary bytes: the whole file is read message by
// message with every kludge looked at, then again after a rewind. Nothing
// may be read outside the bytes, and the second pass must give the same
// messages as the first.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "processing/MailPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmaris;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TMailPacket packet = TMailPacket::FromBytes(bytes, "fuzz.pkt");
  packet.SetShowDamageBox(false);
  if (packet.GetStatus() != psReady) return 0;
  (void)packet.GetHeader().OrigAddress();
  (void)packet.GetHeader().PasswordText();

  std::vector<std::string> first;
  size_t consumed = 0;
  while (const std::string* mail = packet.NextMail()) {
    const TMsgHeader& h = packet.GetMailHeader();
    if (h.BodyLength != mail->size() || h.TextOffset > mail->size()) std::abort();
    consumed += mail->size();
    if (consumed > bytes.size()) std::abort();
    (void)packet.GetKludge("CHRS", "");
    (void)packet.GetKludge("PID", "none");
    uint8_t record[kMsgHeaderSize];
    h.Encode(record);
    first.push_back(*mail);
  }
  if (packet.GetReadPosition() + kPacketHeaderSize > bytes.size()) std::abort();

  packet.Rewind();
  size_t i = 0;
  while (const std::string* mail = packet.NextMail()) {
    if (i >= first.size() || *mail != first[i]) std::abort();
    ++i;
  }
  if (i != first.size()) std::abort();
  return 0;
}
