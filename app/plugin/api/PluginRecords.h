// The layouts of the shared blocks between the program and its plug-ins,
// encoded and decoded field by field (32-bit numbers little-endian). Every
// decoder reads only inside the bytes it is given: a block that is too
// short gives nothing, a short string's length byte above its field is cut
// to the field, a zero-terminated string without its zero ends at the end
// of the block, and counts are checked against the bytes that follow.
//
// TPluginInfo (784 bytes)          TPluginService (528 bytes)
//   0  short string [255] name       0    category (0 General, 1 Area, 2 Msg)
//   256 short string [255] copyright 4    short string [255] caption
//   512 short string [255] descr.    260  short string [255] description
//   768 version   772 revision       516  command message number
//   776 API required 780 supported  520  plug-in thread that gets it
//                                    524  owner (set by the program)
// TPluginUplink (528 bytes)        Area creation (at least 513 bytes)
//   0   short string [255] name      0   short string [255] area name
//   256 short string [255] sysop     256 short string [255] uplink name
//   512 uplink address (4 x 16 bits) 512 area type byte
//   520 own address (4 x 16 bits)
// New message (more than 238 bytes)
//   0 to [35]  36 from [35]  72 subject [71]  144 origin [71]
//   216 destination address  224 origin address  232 16-bit attribute
//   234 four bytes not read   238 text: lines ended by CR (a LF after a CR
//   is skipped), ended by a zero byte
// Area list: count, then per area its name, a zero, its type byte.
// Area names: count, then per area its name and a zero.
// Message list: count, then one 256-byte header per message.
// Message selection: one 32-bit index per message; the size gives the count.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmaris::plugin {

using Bytes = std::vector<uint8_t>;

struct TPluginAddr {
  uint16_t Zone = 0, Net = 0, Node = 0, Point = 0;
  bool operator==(const TPluginAddr&) const = default;
};

struct TPluginInfo {
  static constexpr uint32_t kSize = 784;
  std::string Name, Copyright, Description;
  uint32_t Version = 0, Revision = 0, ApiRequired = 0, ApiSupported = 0;
  Bytes Encode() const;
  static std::optional<TPluginInfo> Decode(const uint8_t* data, size_t size);
  bool operator==(const TPluginInfo&) const = default;
};

struct TPluginService {
  static constexpr uint32_t kSize = 528;
  uint32_t Category = 0;
  std::string Caption, Description;
  uint32_t Command = 0;
  uint32_t Thread = 0;
  uint32_t Owner = 0;
  Bytes Encode() const;
  static std::optional<TPluginService> Decode(const uint8_t* data, size_t size);
  bool operator==(const TPluginService&) const = default;
};

struct TPluginUplink {
  static constexpr uint32_t kSize = 528;
  std::string Name, Sysop;
  TPluginAddr Uplink, Own;
  Bytes Encode() const;
  static std::optional<TPluginUplink> Decode(const uint8_t* data, size_t size);
  bool operator==(const TPluginUplink&) const = default;
};

struct TAreaCreation {
  static constexpr uint32_t kMinSize = 513;
  std::string Name, Uplink;
  uint8_t Type = 0;
  Bytes Encode() const;
  static std::optional<TAreaCreation> Decode(const uint8_t* data, size_t size);
};

struct TNewMessage {
  static constexpr uint32_t kTextOffset = 238;
  std::string To, From, Subject, Origin;
  TPluginAddr Dest, Orig;
  uint16_t Attribute = 0;
  std::vector<std::string> Lines;
  Bytes Encode() const;
  static std::optional<TNewMessage> Decode(const uint8_t* data, size_t size);
};

struct TAreaEntry {
  std::string Name;
  uint8_t Type = 0;
  bool operator==(const TAreaEntry&) const = default;
};

Bytes EncodeAreaList(const std::vector<TAreaEntry>& areas);
std::optional<std::vector<TAreaEntry>> DecodeAreaList(const uint8_t* data, size_t size);
Bytes EncodeAreaNames(const std::vector<std::string>& names);
std::optional<std::vector<std::string>> DecodeAreaNames(const uint8_t* data, size_t size);
Bytes EncodeIndexes(const std::vector<uint32_t>& indexes);
std::vector<uint32_t> DecodeIndexes(const uint8_t* data, size_t size);
// The headers of a message list block, each 256 raw bytes.
std::optional<std::vector<Bytes>> DecodeMsgList(const uint8_t* data, size_t size);
// A zero-terminated string: the text and its zero.
Bytes EncodeString(const std::string& text);
// Up to the first zero, or the whole block when it has none.
std::string DecodeString(const uint8_t* data, size_t size);

}  // namespace velmaris::plugin
