// Remote EMSI data of any kind: the packet check and the field reader never
// read outside the input, every field they keep stays within its bound, and
// a caller fed the same bytes as line input ends in a clean state.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mailer/Emsi.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  if (size > 70000) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const TEmsiDatCheck check = CheckEmsiDat(bytes);
  if (check.Result == TEmsiCheck::Ok && check.Consumed != check.Data.size() + 9) std::abort();

  TEmsiRemote remote;
  std::string reason;
  if (ParseEmsiDat(bytes, remote, reason)) {
    const std::string* fields[] = {&remote.Password,   &remote.LinkCodes,     &remote.CompatCodes,
                                   &remote.MailerName, &remote.MailerVersion, &remote.MailerSerial,
                                   &remote.SystemName, &remote.Location,      &remote.Sysop,
                                   &remote.Phone,      &remote.Baud,          &remote.Flags};
    for (const std::string* f : fields) {
      if (f->size() > kMaxEmsiField) std::abort();
      for (char c : *f)
        if (static_cast<unsigned char>(c) < 32) std::abort();
    }
    if (remote.Akas.size() > kMaxEmsiAkaField || remote.AkaList.size() > kMaxEmsiAkas) std::abort();
  } else if (reason.empty()) {
    std::abort();
  }

  uint32_t now = 0;
  std::string sent;
  TEmsiCaller caller(
      EmsiDatPacket("{EMSI}{1:2/3}{}{8N1}{ZMO}{00}{P}{1}{2}"), 0, true, true,
      [&](std::string_view b) { sent += b; }, [](const std::string&) {}, [&] { return now; });
  caller.Connected();
  caller.Receive("**EMSI_REQA77E\r");
  for (size_t at = 0; at < size; at += 97) {
    caller.Receive(bytes.substr(at, 97));
    now += 5000;
    caller.Tick();
  }
  (void)caller.TakeLeftover();
  return 0;
}
