// Result lines, number translation and the list of line devices.
#include <gtest/gtest.h>
#include <unistd.h>

#include "mailer/CMD_TAPI.h"
#include "mailer/CMThreads.h"
#include "mailer/HayesModem.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

TEST(HayesModemTest, ResultLines) {
  struct Case {
    const char* line;
    ModemResult result;
    uint32_t rate;
  } cases[] = {
      {"OK", ModemResult::Ok, 0},
      {"  OK ", ModemResult::Ok, 0},
      {"CONNECT", ModemResult::Connect, 0},
      {"CONNECT 33600", ModemResult::Connect, 33600},
      {"CONNECT 33600/ARQ/V34/LAPM/V42BIS", ModemResult::Connect, 33600},
      {"CONNECT 9999999999999", ModemResult::Connect, 999999999},
      {"CONNECTED", ModemResult::None, 0},
      {"BUSY", ModemResult::Busy, 0},
      {"NO CARRIER", ModemResult::NoCarrier, 0},
      {"NO ANSWER", ModemResult::NoAnswer, 0},
      {"NO DIALTONE", ModemResult::NoDialtone, 0},
      {"NO DIAL TONE", ModemResult::NoDialtone, 0},
      {"ERROR", ModemResult::Error, 0},
      {"RING", ModemResult::Ring, 0},
      {"ATDT123", ModemResult::None, 0},
      {"O K", ModemResult::None, 0},
      {"", ModemResult::None, 0},
  };
  for (const Case& c : cases) {
    uint32_t rate = 1;
    EXPECT_EQ(ParseResultLine(c.line, &rate), c.result) << c.line;
    EXPECT_EQ(rate, c.rate) << c.line;
  }
}

TEST(HayesModemTest, CanonicalNumbersBecomeDigitsForTheLocation) {
  TDialLocation berlin;
  berlin.Country = "49";
  berlin.Area = "30";
  TDialLocation office = berlin;
  office.OutsideLine = "0W";
  struct Case {
    const TDialLocation* at;
    const char* number;
    const char* dial;
  } cases[] = {
      {&berlin, "+49 (30) 1234567", "1234567"},
      {&berlin, "+49 (30) 123-45 67", "1234567"},
      {&berlin, "+49 (89) 1234567", "0891234567"},
      {&berlin, "+7 (095) 1234567", "0070951234567"},
      {&berlin, "+7 () 095 1234567", "0070951234567"},
      {&berlin, "+49 () 1234567", "1234567"},
      {&office, "+49 (89) 1234567", "0W0891234567"},
      {&berlin, "555-1234", "5551234"},
      {&berlin, "1234;Z\r+++", "1234"},  // nothing reaches the modem as a command
      {&berlin, "*31#,1234", "*31#,1234"},
      {&berlin, "", ""},
  };
  for (const Case& c : cases) {
    const TTranslatedNumber t = TranslateAddress(c.number, *c.at);
    EXPECT_EQ(t.dialable, c.dial) << c.number;
    EXPECT_EQ(t.displayable, c.number);
  }
}

TEST(HayesModemTest, DeviceListHasConfiguredLinesThenFoundDevices) {
  TempDir dev;
  for (const char* name :
       {"ttyS0", "ttyUSB1", "ttyACM0", "tty1", "ttyS", "serial/by-id/usb-Modem-if00"}) {
    dev.Write(name, "");
  }
  ::symlink((dev / "ttyUSB1").c_str(), (dev / "serial/by-id/usb-Modem-if01").c_str());
  const auto list = ListLineDevices(
      {"Office=" + dev / "ttyUSB1", "no separator", "=/dev/null", "Home = /dev/ttyS9"}, dev.Path());
  const std::vector<TLineDeviceEntry> want = {
      {"Office", dev / "ttyUSB1"},
      {"Home", "/dev/ttyS9"},
      {dev / "serial/by-id/usb-Modem-if00", dev / "serial/by-id/usb-Modem-if00"},
      {dev / "serial/by-id/usb-Modem-if01", dev / "serial/by-id/usb-Modem-if01"},
      {dev / "ttyACM0", dev / "ttyACM0"},
      {dev / "ttyS0", dev / "ttyS0"},
  };
  EXPECT_EQ(list, want);
}

TEST(HayesModemTest, DeviceIsSelectedByNameOrPath) {
  TempDir dev;
  dev.Write("ttyUSB0", "");
  SetTapiDebugLogPath(dev / "cmdebug.txt");
  TCMTAPIDevice device;
  device.ConfiguredLines = {"Office=/dev/ttyS7"};
  device.DevRoot = dev.Path();
  device.SetDeviceName("Office");
  EXPECT_EQ(device.DeviceID(), 0);
  EXPECT_EQ(device.DevicePath(), "/dev/ttyS7");
  device.SetDeviceName(dev / "ttyUSB0");
  EXPECT_EQ(device.DeviceID(), 1);
  device.SetDeviceName("Nowhere");
  EXPECT_EQ(device.DeviceID(), -1);
  EXPECT_EQ(device.DevicePath(), "");
  EXPECT_NE(dev.Read("cmdebug.txt").find(" Setting Device Name to Office\n"), std::string::npos);
  SetTapiDebugLogPath("");
}

}  // namespace
}  // namespace velmaris::test
