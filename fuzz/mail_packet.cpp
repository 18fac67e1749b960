// Inbound packets from arbitrary bytes: the whole file is read message by
// message with every kludge looked at, then again after a rewind. Nothing
// may be read outside the bytes, and the second pass must give the same
// messages as the first. The last byte lowers the largest message read, so
// that messages are also passed over as too large.
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
  packet.SetMaxMessageSize(64 + static_cast<size_t>(data[size - 1]) * 4);
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
  const std::vector<TSkippedMail> skipped = packet.GetSkippedMails();
  for (const TSkippedMail& s : skipped) {
    if (s.Offset + s.Size > bytes.size()) std::abort();
    consumed += s.Size;
  }
  if (consumed > bytes.size()) std::abort();

  packet.Rewind();
  size_t i = 0;
  while (const std::string* mail = packet.NextMail()) {
    if (i >= first.size() || *mail != first[i]) std::abort();
    ++i;
  }
  if (i != first.size()) std::abort();
  if (packet.GetSkippedMails().size() != skipped.size()) std::abort();
  return 0;
}
