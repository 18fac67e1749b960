// The message numbers and result codes of the plug-in interface, shared by
// the program's server and the client library that plug-ins link.
//
// A plug-in connects with PluginMsg::Connect to the main window (thread 0)
// naming its command thread and its reply thread; the answer carries the id
// of the connection thread that serves it. Requests go to that thread; the
// result comes back as Reply (second parameter) to the reply thread. Data
// larger than a number travels in shared blocks (PluginRecords.h).
#pragma once

#include <cstdint>

namespace velmaris::plugin {

namespace PluginMsg {
inline constexpr uint32_t Connect = 0x401;
inline constexpr uint32_t Ack = 0x402;
inline constexpr uint32_t Reply = 0x403;
inline constexpr uint32_t End = 0x405;
inline constexpr uint32_t Info = 0x406;
inline constexpr uint32_t AreaList = 0x408;
inline constexpr uint32_t OpenArea = 0x409;
inline constexpr uint32_t CloseArea = 0x40A;
inline constexpr uint32_t MsgList = 0x40B;
inline constexpr uint32_t Message = 0x40C;
inline constexpr uint32_t RegisterService = 0x40D;
inline constexpr uint32_t UnregisterService = 0x40E;
inline constexpr uint32_t StoreNew = 0x40F;
inline constexpr uint32_t Stop = 0x410;
inline constexpr uint32_t GetFlags = 0x411;
inline constexpr uint32_t SetFlags = 0x412;
inline constexpr uint32_t CreateArea = 0x413;
inline constexpr uint32_t CurrentArea = 0x414;
inline constexpr uint32_t AreaUplink = 0x415;
inline constexpr uint32_t Uplinks = 0x416;
inline constexpr uint32_t AreaType = 0x417;
inline constexpr uint32_t ReadDialTrans = 0x419;
inline constexpr uint32_t WriteDialTrans = 0x41A;
inline constexpr uint32_t First = 0x401;
inline constexpr uint32_t Last = 0x41A;
}  // namespace PluginMsg

namespace PluginResult {
inline constexpr uint32_t Ok = 0;
inline constexpr uint32_t NoBlock = 0xFFFFFFFF;  // -1
inline constexpr uint32_t Unknown = 0x404;
inline constexpr uint32_t BadParamBlock = 0x80001001;
inline constexpr uint32_t NoOpenArea = 0x80001002;
inline constexpr uint32_t ParamTooSmall = 0x80001003;
inline constexpr uint32_t IndexOutOfRange = 0x80002001;
inline constexpr uint32_t CannotOpenArea = 0x80003001;
inline constexpr uint32_t NoSuchArea = 0x80003002;
inline constexpr uint32_t CannotLockArea = 0x80003003;
inline constexpr uint32_t AreaExists = 0x80003004;
inline constexpr uint32_t UnknownService = 0x80004001;
inline constexpr uint32_t NotEchomail = 0x80005001;
inline constexpr uint32_t NoSuchUplink = 0x80005002;
}  // namespace PluginResult

// Service categories.
namespace PluginCategory {
inline constexpr uint32_t General = 0;
inline constexpr uint32_t Area = 1;
inline constexpr uint32_t Msg = 2;
}  // namespace PluginCategory

}  // namespace velmaris::plugin
