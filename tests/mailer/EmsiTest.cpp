// The EMSI handshake: our data packet byte for byte, the checks and the
// field-by-field reading of the remote's packet, and whole conversations
// between the calling and the answering side on a clock of their own.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "mailer/Emsi.h"

namespace velmaris::test {
namespace {

// CRCs and lengths below were computed with Python's binascii.crc_hqx.
TEST(EmsiPacket, OurDataPacketIsByteForByteTheKnownOne) {
  TEmsiIdentity id;
  id.Akas = {"2:5020/1042.7", "21:1/100.3"};
  id.Password = "SECRET";
  id.CompatCodes = CallerCompatCodes(true, true);
  id.SystemName = "Jon's Point";
  id.Location = "Moscow`";  // goes out as "'"
  id.Sysop = "Jon Doe";
  id.Phone = "-Unpublished-";
  id.Flags = "MO,V32,V32B,V42,V42B";
  uint16_t crc = 0;
  EXPECT_EQ(EmsiDatPacket(BuildEmsiData(id), &crc),
            "**EMSI_DAT00C0{EMSI}{2:5020/1042.7 21:1/100.3}{SECRET}{8N1,PUA}"
            "{HYD,ZAP,ZMO,XMA,ARC}{FE}{KQ/CM Mailer}{Rel 1.78E}{NoSerial}{IDENT}"
            "{[Jon's Point][Moscow'][Jon Doe][-Unpublished-][9600][MO,V32,V32B,V42,V42B]}"
            "BAA5\r");
  EXPECT_EQ(crc, 0xBAA5);
}

TEST(EmsiPacket, ShortPacketsCarryTheirCrc) {
  EXPECT_EQ(EmsiShortPacket("REQ"), "**EMSI_REQA77E\r");
  EXPECT_EQ(EmsiShortPacket("INQ"), "**EMSI_INQC816\r");
  EXPECT_EQ(EmsiShortPacket("ACK"), "**EMSI_ACKA490\r");
  EXPECT_EQ(EmsiShortPacket("NAK"), "**EMSI_NAKEEC3\r");
}

TEST(EmsiPacket, OfferedProtocolsAndCleanedText) {
  EXPECT_EQ(CallerCompatCodes(false, false), "ZMO,XMA,ARC");
  EXPECT_EQ(CallerCompatCodes(true, false), "HYD,ZMO,XMA,ARC");
  EXPECT_EQ(CallerCompatCodes(false, true), "ZAP,ZMO,XMA,ARC");
  EXPECT_EQ(SanitizeEmsiText("M\xf6nchen \xb4x` ok"), "M_nchen 'x' ok");
  TEmsiIdentity id;
  id.Location = "\xcc\xee\xf1\xea\xe2\xe0";  // Москва, stored in CP1251
  id.MailerSerial = "\xcc";                  // outside IDENT: still cleaned
  const std::string data = BuildEmsiData(id);
  // In the OEM page, escaped: the name arrives whole.
  EXPECT_NE(data.find("[\\8c\\ae\\e1\\aa\\a2\\a0]"), std::string::npos) << data;
  EXPECT_NE(data.find("{_}{IDENT}"), std::string::npos) << data;
  EXPECT_EQ(EmsiDatPacket(data).substr(10, 4), "0060");  // the escaped length
}

// Our own system name, location and sysop (stored in CP1251) go out in the
// OEM page as "\hh" escapes, and the receiving side reads them back to the
// OEM bytes; bytes that would end a field travel escaped too.
TEST(EmsiPacket, IdentTextsTravelEscapedInTheOemPageAndReadBack) {
  struct Case {
    const char* what;
    std::string ansi, sent, oem;
  } cases[] = {
      {"Latin", "Jon Doe", "Jon Doe", "Jon Doe"},
      {"Cyrillic", "\xc8\xe2\xe0\xed \xcf\xe5\xf2\xf0\xee\xe2",  // Иван Петров
       "\\88\\a2\\a0\\ad \\8f\\a5\\e2\\e0\\ae\\a2", "\x88\xa2\xa0\xad \x8f\xa5\xe2\xe0\xae\xa2"},
      {"brackets, braces and a backslash", "A]b}c[d{e\\f", "A\\5db\\7dc\\5bd\\7be\\5cf",
       "A]b}c[d{e\\f"},
      {"a character CP866 lacks (the euro sign): its nearest", "5\x88", "5E", "5E"},
      {"a quote and a back quote", "Jon's `Point`", "Jon's 'Point'", "Jon's 'Point'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TEmsiIdentity id;
    id.SystemName = c.ansi;
    id.Location = c.ansi;
    id.Sysop = c.ansi;
    const std::string data = BuildEmsiData(id);
    EXPECT_NE(data.find("{[" + c.sent + "][" + c.sent + "][" + c.sent + "]["), std::string::npos)
        << data;
    for (char ch : data) EXPECT_LT(static_cast<unsigned char>(ch), 0x80) << data;
    TEmsiRemote remote;
    std::string reason;
    ASSERT_TRUE(ParseEmsiDat(data, remote, reason)) << reason;
    EXPECT_EQ(remote.SystemName, c.oem);
    EXPECT_EQ(remote.Location, c.oem);
    EXPECT_EQ(remote.Sysop, c.oem);
  }
}

// Written by hand from the public EMSI description.
const char* kFrontDoorDat =
    "00BB{EMSI}{2:280/1@fidonet 2:280/2 2:280/1}{}{8N1}{ZAP,ZMO,ARC,XMA}{1F}{FrontDoor}"
    "{2.02}{00000001}{IDENT}{[Some BBS][Eindhoven, NL][Joaquim H.][31-40-000000][9600]"
    "[XA,V32B]}{TRX#}{[5F5E0E1C]}4A73\r";

TEST(EmsiCheck, DamagedPacketsAreTold) {
  const std::string good = kFrontDoorDat;
  struct Case {
    std::string buffer;
    TEmsiCheck result;
  } cases[] = {
      {"00B", TEmsiCheck::NeedMore},
      {good.substr(0, good.size() - 1), TEmsiCheck::NeedMore},
      {"0G12" + good.substr(4), TEmsiCheck::SizeDamaged},
      {good.substr(0, good.size() - 1) + "\n", TEmsiCheck::BadTerminator},
      {good.substr(0, good.size() - 5) + "4A7Z\r", TEmsiCheck::CrcDamaged},
      {good.substr(0, good.size() - 5) + "4A74\r", TEmsiCheck::CrcMismatch},
      {"00BC" + good.substr(4), TEmsiCheck::NeedMore},  // one more byte awaited
      {good + "**EMSI_ACK", TEmsiCheck::Ok},
  };
  for (const Case& c : cases) {
    const TEmsiDatCheck check = CheckEmsiDat(c.buffer);
    EXPECT_EQ(check.Result, c.result) << c.buffer;
  }
  const TEmsiDatCheck ok = CheckEmsiDat(good + "rest");
  EXPECT_EQ(ok.Consumed, good.size());
  EXPECT_EQ(ok.Data.size(), 0xBBu);
}

TEST(EmsiParse, FieldsOfAHandWrittenPacket) {
  const TEmsiDatCheck check = CheckEmsiDat(kFrontDoorDat);
  ASSERT_EQ(check.Result, TEmsiCheck::Ok);
  TEmsiRemote r;
  std::string reason;
  ASSERT_TRUE(ParseEmsiDat(check.Data, r, reason)) << reason;
  EXPECT_TRUE(r.IsEmsi);
  EXPECT_EQ(r.Password, "");
  EXPECT_EQ(r.LinkCodes, "8N1");
  EXPECT_EQ(r.CompatCodes, "ZAP,ZMO,ARC,XMA");
  EXPECT_EQ(r.MailerName + " " + r.MailerVersion + "/" + r.MailerSerial, "FrontDoor 2.02/00000001");
  EXPECT_EQ(r.SystemName, "Some BBS");
  EXPECT_EQ(r.Location, "Eindhoven, NL");
  EXPECT_EQ(r.Sysop, "Joaquim H.");
  EXPECT_EQ(r.Phone, "31-40-000000");
  EXPECT_EQ(r.Baud, "9600");
  EXPECT_EQ(r.Flags, "XA,V32B");
  ASSERT_EQ(r.AkaList.size(), 2u);  // the domain is dropped, the repeat too
  EXPECT_EQ(FidoAddressToStr(r.AkaList[1]), "2:280/2");
  EXPECT_EQ(r.Warnings, std::vector<std::string>{"EMSI Warning: Duplicate AKA: 2:280/1 !"});
}

TEST(EmsiParse, EscapesAndOddFields) {
  struct Case {
    const char* ident;
    const char* sysop;
  } cases[] = {
      {"[a][b][Max \\7D\\5D Power][p][9600][f]", "Max }] Power"},
      {"[a][b][Max ]] \\\\ Power][p][9600][f]", "Max ] \\ Power"},
      {"[a][b][Tab\\09here][p][9600][f]", "Tab_here"},   // no control characters
      {"[a][b][\x8c\xa0\xaa\xe1]", "\x8c\xa0\xaa\xe1"},  // CP866 stays; missing fields stay "?"
  };
  for (const Case& c : cases) {
    const std::string data =
        std::string("{EMSI}{1:2/3}{}{}{ZMO}{00}{M}{1}{2}{IDENT}{") + c.ident + "}{TZUTC}{0100}";
    TEmsiRemote r;
    std::string reason;
    ASSERT_TRUE(ParseEmsiDat(data, r, reason)) << c.ident << " " << reason;
    EXPECT_EQ(r.Sysop, c.sysop);
  }
}

TEST(EmsiParse, MalformedPacketsAreRefusedWithAReason) {
  const std::string head = "{EMSI}{1:2/3}{}{8N1}{ZMO}{00}{M}{1}";
  struct Case {
    std::string data;
    const char* reason;
  } cases[] = {
      {head, "field missing (mailer serial)"},
      {head + "{2", "field without its end (mailer serial)"},
      {head + "{2}x{IDENT}{}", "text between fields (tag)"},
      {head + "{2}{IDENT}", "field missing (IDENT)"},
      {head + "{2}{IDENT}{[a][b}", "field without its end (IDENT)"},
      {head + "{2}{IDENT}{[a]x}", "text between fields (IDENT)"},
      {head + "{2}{IDENT}{[" + std::string(256, 'x') + "]}", "field too long (IDENT)"},
      {"{EMSI}{1:2/3}{" + std::string(5000, 'p') + "}", "field too long (password)"},
  };
  for (const Case& c : cases) {
    TEmsiRemote r;
    std::string reason;
    EXPECT_FALSE(ParseEmsiDat(c.data, r, reason)) << c.data;
    EXPECT_EQ(reason, c.reason) << c.data;
  }
  TEmsiRemote r;
  std::string reason;
  EXPECT_TRUE(ParseEmsiDat("{XMSI}{1:2/3}", r, reason));  // no EMSI: all fields "?"
  EXPECT_FALSE(r.IsEmsi);
  EXPECT_EQ(r.CompatCodes, "?");
}

TEST(EmsiParse, AkasAreBoundedAndBadOnesLeftOut) {
  std::string akas = "x:1/2";
  for (int i = 1; i <= 70; ++i) akas += " 2:5020/" + std::to_string(i);
  TEmsiRemote r;
  std::string reason;
  ASSERT_TRUE(ParseEmsiDat("{EMSI}{" + akas + "}{}{}{}{}{}{}{}", r, reason)) << reason;
  EXPECT_EQ(r.AkaList.size(), kMaxEmsiAkas);
  ASSERT_EQ(r.Warnings.size(), 2u);
  EXPECT_EQ(r.Warnings[0], "EMSI Warning: Bad AKA: x:1/2 !");
}

TEST(EmsiParse, ProtocolChoiceAndPasswordRefusal) {
  using namespace std::string_literals;
  struct Case {
    const char* compat;
    bool zedZap, hydra;
    TEmsiProtocol chosen;
    std::string password = "";  // the field as it stands in the packet
    bool refused = false;
    std::string sent = "secret";  // the password we sent
  } cases[] = {
      {"HYD,ZAP,ZMO", true, true, TEmsiProtocol::Hydra},
      {"HYD,ZAP,ZMO", true, false, TEmsiProtocol::ZedZap},
      {"ZAP,ZMO", false, true, TEmsiProtocol::ZModem},
      {"ZAP", true, true, TEmsiProtocol::ZedZap},
      {"hyd,ZMO", true, true, TEmsiProtocol::ZModem},  // codes are upper case
      {"?", true, true, TEmsiProtocol::None},
      {"NCP", true, true, TEmsiProtocol::None, "", true},
      {"NCP", true, true, TEmsiProtocol::None, "bad_password", true, "bad_password"},
      // A password field refuses only when it reads as a refusal word as a
      // whole, whatever blanks, controls, "_" or "-" stand around it.
      {"HYD", true, true, TEmsiProtocol::Hydra, "BADEN"},
      {"HYD", true, true, TEmsiProtocol::Hydra, "ABADDON"},
      {"HYD", true, true, TEmsiProtocol::Hydra, "BAD_PASSWORDS"},
      {"HYD", true, true, TEmsiProtocol::Hydra, "NOT BAD_PASSWORD"},
      {"HYD", true, true, TEmsiProtocol::Hydra, "\\00"},
      {"HYD", true, true, TEmsiProtocol::Hydra, "bad_password", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "Bad-Password", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "BADPASSWORD", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "password_error", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "Wrong_Password", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "PWD_REFUSED", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "BAD_PASSWORD ", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, " BAD_PASSWORD", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "BAD_PASSWORD\0"s, true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "BAD_PASSWORD\0\0\0"s, true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "BAD_PASSWORD\\00", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "\tBad_Password\\00\\00", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "BAD PASSWORD", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "bad\tpassword\r", true},
      {"HYD", true, true, TEmsiProtocol::Hydra, "Wrong Password ", true},
      // The remote echoing the password we sent refuses nothing: the field
      // exactly as we sent it, with blanks or NULs around it.
      {"HYD", true, true, TEmsiProtocol::Hydra, "bad_password", false, "bad_password"},
      {"HYD", true, true, TEmsiProtocol::Hydra, "Bad_Password\\00 ", false, "Bad_Password"},
      {"HYD", true, true, TEmsiProtocol::Hydra, "\tBAD PASSWORD\0"s, false, " BAD PASSWORD\0"s},
      {"HYD", true, true, TEmsiProtocol::Hydra, "PWD_REFUSED", true, "bad_password"},
      // Anything else that reads as a refusal is one, also when our own
      // password reads as the same words.
      {"HYD", true, true, TEmsiProtocol::Hydra, "BAD_PASSWORD", true, "BAD PASSWORD"},
      {"HYD", true, true, TEmsiProtocol::Hydra, "BAD_PASSWORD", true, "bad_password"},
      {"HYD", true, true, TEmsiProtocol::Hydra, "BADPASSWORD", true, "BAD-PASSWORD"},
      {"HYD", true, true, TEmsiProtocol::Hydra, "BAD  PASSWORD", true, "BAD PASSWORD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.compat) + " [" + c.password + "] " + c.sent);
    EXPECT_EQ(ChooseEmsiProtocol(c.compat, c.zedZap, c.hydra), c.chosen);
    TEmsiRemote remote;
    std::string reason;
    ASSERT_TRUE(
        ParseEmsiDat("{EMSI}{2:5020/1}{" + c.password + "}{8N1}{" + c.compat + "}{00}{Peer}{1}{0}",
                     remote, reason))
        << reason;
    EXPECT_EQ(RemoteRefusedPassword(remote, c.sent), c.refused);
  }
}

// --- Conversations ---------------------------------------------------------------

// Two sides on one clock. Each side's output goes into the other's queue;
// `mangle` may change a piece in transit (line noise).
struct Line {
  uint32_t now = 0;
  std::vector<std::string> callerLog, answererLog;
  std::string toAnswerer, toCaller;
  std::function<void(std::string&)> mangle;

  std::unique_ptr<TEmsiCaller> Caller(bool zedZap, bool hydra, const std::string& password) {
    TEmsiIdentity id;
    id.Akas = {"2:5020/1042.7"};
    id.Password = password;
    id.CompatCodes = CallerCompatCodes(hydra, zedZap);
    uint16_t crc = 0;
    const std::string packet = EmsiDatPacket(BuildEmsiData(id), &crc);
    return std::make_unique<TEmsiCaller>(
        packet, crc, zedZap, hydra, [this](std::string_view b) { Out(toAnswerer, b); },
        [this](const std::string& l) { callerLog.push_back(l); }, [this] { return now; });
  }
  // ownPassword: the password field of the answerer's packet.
  std::unique_ptr<TEmsiAnswerer> Answerer(const std::string& password,
                                          std::vector<TEmsiProtocol> offered,
                                          const std::string& ownPassword = "") {
    TEmsiIdentity id;
    id.Akas = {"2:5020/1042", "2:5020/0"};
    id.Password = ownPassword;
    id.MailerName = "Test Peer";
    return std::make_unique<TEmsiAnswerer>(
        id, password, offered, [this](std::string_view b) { Out(toCaller, b); },
        [this](const std::string& l) { answererLog.push_back(l); }, [this] { return now; });
  }
  void Out(std::string& queue, std::string_view bytes) {
    std::string piece(bytes);
    if (mangle) mangle(piece);
    queue += piece;
  }
  // Delivers and ticks until both sides are done or the clock has run far.
  void Run(TEmsiSession* caller, TEmsiSession* answerer) {
    for (int round = 0; round < 100000; ++round) {
      if (caller->GetStatus() != TEmsiSession::Status::Running &&
          (!answerer || answerer->GetStatus() != TEmsiSession::Status::Running))
        return;
      std::string a, c;
      a.swap(toAnswerer);
      c.swap(toCaller);
      if (answerer) answerer->Receive(a);
      caller->Receive(c);
      now += 100;
      caller->Tick();
      if (answerer) answerer->Tick();
    }
  }
};

std::vector<TEmsiProtocol> AllProtocols() {
  return {TEmsiProtocol::Hydra, TEmsiProtocol::ZedZap, TEmsiProtocol::ZModem};
}

TEST(EmsiConversation, BothSidesAgreeOnTheBestCommonProtocol) {
  struct Case {
    bool zedZap, hydra;
    std::vector<TEmsiProtocol> peer;
    TEmsiProtocol chosen;
  } cases[] = {
      {true, true, AllProtocols(), TEmsiProtocol::Hydra},
      {true, false, AllProtocols(), TEmsiProtocol::ZedZap},
      {false, false, AllProtocols(), TEmsiProtocol::ZModem},
      {true, true, {TEmsiProtocol::ZModem}, TEmsiProtocol::ZModem},
  };
  for (const Case& c : cases) {
    Line line;
    auto caller = line.Caller(c.zedZap, c.hydra, "pw");
    auto answerer = line.Answerer("pw", c.peer);
    caller->Connected();
    answerer->Start();
    line.Run(caller.get(), answerer.get());
    ASSERT_EQ(caller->GetStatus(), TEmsiSession::Status::Done) << caller->Failure();
    ASSERT_EQ(answerer->GetStatus(), TEmsiSession::Status::Done) << answerer->Failure();
    EXPECT_EQ(caller->Protocol(), c.chosen);
    EXPECT_EQ(answerer->Protocol(), c.chosen);
    EXPECT_EQ(caller->Remote().MailerName, "Test Peer");
    EXPECT_EQ(answerer->Remote().Password, "pw");
    EXPECT_EQ(caller->Remote().AkaList.size(), 2u);
  }
}

TEST(EmsiConversation, WrongPasswordEndsBothSides) {
  // The answerer says so with NCP, or with its password field marked bad
  // while it still lists protocols; a caller that sent a password takes
  // either as a refusal and starts no protocol.
  // The refusal word may come with blanks, NULs or another spelling.
  struct Case {
    const char* refusalCodes;
    bool passwordSent;
    const char* failure;
    const char* answer;  // the start of the answerer's data part
    const char* refusalPassword = "BAD_PASSWORD";
  } cases[] = {
      {"", false, "!NCP No common protocol", "{EMSI}{2:5020/1042 2:5020/0}{}{8N1,PUA}{NCP}"},
      {"", true, kPasswordRefusedLine, "{EMSI}{2:5020/1042 2:5020/0}{}{8N1,PUA}{NCP}"},
      {"HYD,XMA", true, kPasswordRefusedLine,
       "{EMSI}{2:5020/1042 2:5020/0}{BAD_PASSWORD}{8N1,HAT}{HYD,XMA}{"},
      {"HYD,XMA", true, kPasswordRefusedLine,
       "{EMSI}{2:5020/1042 2:5020/0}{BAD_PASSWORD }{8N1,HAT}{HYD,XMA}{", "BAD_PASSWORD "},
      {"HYD,XMA", true, kPasswordRefusedLine,
       "{EMSI}{2:5020/1042 2:5020/0}{ bad password\\00}{8N1,HAT}{HYD,XMA}{", " bad password\\00"},
      {"ZMO", true, kPasswordRefusedLine,
       "{EMSI}{2:5020/1042 2:5020/0}{\tBad-Password\r}{8N1,HAT}{ZMO}{", "\tBad-Password\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.refusalCodes) + " " + c.refusalPassword);
    Line line;
    std::string answer;
    line.mangle = [&](std::string& piece) {
      if (piece.starts_with("**EMSI_DAT") && piece.find("Test Peer") != std::string::npos)
        answer = piece.substr(14);
    };
    auto caller = line.Caller(true, true, "wrong");
    caller->PasswordSent = c.passwordSent;
    auto answerer = line.Answerer("right", AllProtocols());
    answerer->RefusalCodes = c.refusalCodes;
    answerer->RefusalPassword = c.refusalPassword;
    caller->Connected();
    answerer->Start();
    line.Run(caller.get(), answerer.get());
    EXPECT_EQ(caller->GetStatus(), TEmsiSession::Status::Failed);
    EXPECT_EQ(caller->Failure(), c.failure);
    EXPECT_EQ(caller->Protocol(), TEmsiProtocol::None);
    EXPECT_EQ(answerer->Failure(), "EMSI Bad password");
    EXPECT_TRUE(answer.starts_with(c.answer)) << answer;
  }
}

TEST(EmsiConversation, OurPasswordEchoedIsNoRefusal) {
  // A remote that echoes our password exactly as we sent it (blanks and NULs
  // around it aside) has accepted the call; a refusal word that differs from
  // it in any other way is the remote's refusal, also when our password
  // reads as the same words.
  struct Case {
    const char* own;
    const char* field;  // the remote's password field
    bool refused;
  } cases[] = {
      {"bad_password", "bad_password", false},  {"bad_password", "bad_password\\00\\00 ", false},
      {"bad_password", " bad_password", false}, {"BAD PASSWORD", "BAD PASSWORD\\00", false},
      {"BAD PASSWORD", "BAD_PASSWORD", true},   {"bad_password", "BAD_PASSWORD", true},
      {"Bad-Password", "BAD_PASSWORD", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.own) + " / " + c.field);
    Line line;
    auto caller = line.Caller(true, true, c.own);
    caller->PasswordSent = true;
    auto answerer = line.Answerer(c.own, AllProtocols(), c.field);
    caller->Connected();
    answerer->Start();
    line.Run(caller.get(), answerer.get());
    if (c.refused) {
      EXPECT_EQ(caller->Failure(), kPasswordRefusedLine);
      EXPECT_EQ(caller->Protocol(), TEmsiProtocol::None);
      continue;
    }
    ASSERT_EQ(caller->GetStatus(), TEmsiSession::Status::Done) << caller->Failure();
    EXPECT_EQ(caller->Protocol(), TEmsiProtocol::Hydra);
    EXPECT_EQ(answerer->GetStatus(), TEmsiSession::Status::Done) << answerer->Failure();
  }
}

TEST(EmsiConversation, DamagedPacketsAreAskedForAgain) {
  Line line;
  int damaged = 0;
  line.mangle = [&](std::string& piece) {  // the first two data packets each way
    if (piece.starts_with("**EMSI_DAT") && damaged < 4 && piece.size() > 30) {
      piece[20] ^= 0x20;
      ++damaged;
    }
  };
  auto caller = line.Caller(true, true, "");
  auto answerer = line.Answerer("", AllProtocols());
  caller->Connected();
  answerer->Start();
  line.Run(caller.get(), answerer.get());
  EXPECT_EQ(caller->GetStatus(), TEmsiSession::Status::Done) << caller->Failure();
  EXPECT_EQ(answerer->GetStatus(), TEmsiSession::Status::Done) << answerer->Failure();
  EXPECT_EQ(damaged, 4);
}

TEST(EmsiConversation, EndlessNoiseEndsTheHandshake) {
  Line line;
  line.mangle = [](std::string& piece) {
    if (piece.starts_with("**EMSI_DAT")) piece[20] ^= 0x20;
  };
  auto caller = line.Caller(true, true, "");
  auto answerer = line.Answerer("", AllProtocols());
  caller->Connected();
  answerer->Start();
  line.Run(caller.get(), answerer.get());
  EXPECT_EQ(caller->GetStatus(), TEmsiSession::Status::Failed);
  EXPECT_EQ(answerer->GetStatus(), TEmsiSession::Status::Failed);
}

// The caller against a scripted remote.
struct Scripted {
  Line line;
  std::unique_ptr<TEmsiCaller> caller = line.Caller(true, true, "");
  std::string PeerDat(const std::string& compat = "ZAP,ZMO") {
    return EmsiDatPacket("{EMSI}{2:5020/1}{}{8N1}{" + compat + "}{00}{P}{1}{2}");
  }
  void Send(const std::string& bytes) { caller->Receive(bytes); }
  size_t Count(const std::string& text) const {
    size_t n = 0;
    for (size_t p = 0; (p = line.toAnswerer.find(text, p)) != std::string::npos; p += text.size())
      ++n;
    return n;
  }
};

TEST(EmsiCaller, AckBeforeTheRemoteDataAndBytesAfterConnectInOneRead) {
  Scripted s;
  s.caller->Connected();
  // REQ arrives with the CONNECT line's read; the ACK precedes the peer's DAT.
  s.Send("\r\nwelcome\r\n**EMSI_REQA77E\r\n");
  EXPECT_EQ(s.Count("**EMSI_INQC816\r**EMSI_DAT"), 1u);
  s.Send("**EMSI_ACKA490\r**EMSI_ACKA490\r");
  EXPECT_EQ(s.caller->GetStatus(), TEmsiSession::Status::Running);
  const std::string dat = s.PeerDat();
  s.Send(dat.substr(0, 15));
  s.Send(dat.substr(15) + "\n*ZRQINIT");
  ASSERT_EQ(s.caller->GetStatus(), TEmsiSession::Status::Done) << s.caller->Failure();
  EXPECT_EQ(s.caller->Protocol(), TEmsiProtocol::ZedZap);
  EXPECT_EQ(s.Count("**EMSI_ACKA490\r"), 2u);
  EXPECT_EQ(s.caller->TakeLeftover(), "*ZRQINIT");
}

TEST(EmsiCaller, RemoteEchoAndBadCrcAreAnsweredWithNak) {
  Scripted s;
  s.caller->Connected();
  s.Send("**EMSI_REQA77E\r");
  const size_t own = s.line.toAnswerer.find("**EMSI_DAT");
  s.Send(s.line.toAnswerer.substr(own));  // our own packet comes back
  std::string bad = s.PeerDat();
  bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
  s.Send(bad);
  EXPECT_EQ(s.Count("**EMSI_NAKEEC3\r"), 2u);
  const std::vector<std::string> expected = {"EMSI EMSI_DAT is a remote echo",
                                             "EMSI Requesting handshake again"};
  EXPECT_NE(std::search(s.line.callerLog.begin(), s.line.callerLog.end(), expected.begin(),
                        expected.end()),
            s.line.callerLog.end());
  s.Send(s.PeerDat() + "**EMSI_ACKA490\r");
  EXPECT_EQ(s.caller->GetStatus(), TEmsiSession::Status::Done) << s.caller->Failure();
}

TEST(EmsiCaller, TimeLimits) {
  struct Case {
    std::string remote;  // what the remote sends once
    const char* failure;
  } cases[] = {
      {"", "NOEM Remote does not support EMSI"},
      {"login: ", "RECV Timeout for handshake"},
      {"**EMSI_REQA77E\r", "EMSI Timeout for handshake acknowledge"},
  };
  for (const Case& c : cases) {
    Scripted s;
    s.caller->Connected();
    s.Send(c.remote);
    for (int i = 0; i < 10000 && s.caller->GetStatus() == TEmsiSession::Status::Running; ++i) {
      s.line.now += 100;
      s.caller->Tick();
    }
    EXPECT_EQ(s.caller->Failure(), c.failure);
  }
  Scripted silent;
  silent.caller->Connected();
  for (int i = 0; i < 10000 && silent.caller->GetStatus() == TEmsiSession::Status::Running; ++i) {
    silent.line.now += 100;
    silent.caller->Tick();
  }
  EXPECT_EQ(silent.Count("\r"), 60u);  // one CR every half second
}

TEST(EmsiCaller, MalformedDataWithAGoodCrcFailsAtOnce) {
  Scripted s;
  s.caller->Connected();
  s.Send("**EMSI_REQA77E\r" + EmsiDatPacket("{EMSI}{2:5020/1}{}{8N1}{ZMO}{00}{P"));
  EXPECT_EQ(s.caller->Failure(), "EMSI Damaged EMSI_DAT: field without its end (mailer name)");
}

}  // namespace
}  // namespace velmaris::test
