// The settings text grammar and the port lookup: what is accepted, and what
// the messages say about what is not.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "PortMap.h"
#include "PortMapFile.h"
#include "SerialSettings.h"

namespace {

std::string Rejection(std::string_view text) {
  std::string error;
  EXPECT_FALSE(ParseSerialSettings(text, &error).has_value()) << text;
  return error;
}

}  // namespace

TEST(SerialSettings, AcceptsTheProgramsValuesAndTheWholeGrammar) {
  std::string error;
  for (const char* text : {"4800,n,8,1", "9600,n,8,1", "19200,n,8,1"}) {
    const auto settings = ParseSerialSettings(text, &error);
    ASSERT_TRUE(settings.has_value()) << text << ": " << error;
    EXPECT_EQ(settings->parity, Parity::None);
    EXPECT_EQ(settings->dataBits, 8);
    EXPECT_EQ(settings->stopBits, StopBits::One);
  }
  const auto odd = ParseSerialSettings(" 115200 , O , 7 , 2 ", &error);
  ASSERT_TRUE(odd.has_value()) << error;
  EXPECT_EQ(odd->baud, 115200u);
  EXPECT_EQ(odd->parity, Parity::Odd);
  EXPECT_EQ(odd->dataBits, 7);
  EXPECT_EQ(odd->stopBits, StopBits::Two);
  const auto five = ParseSerialSettings("300,m,5,1.5", &error);
  ASSERT_TRUE(five.has_value()) << error;
  EXPECT_EQ(five->parity, Parity::Mark);
  EXPECT_EQ(five->stopBits, StopBits::OneAndHalf);
  EXPECT_EQ(ParseSerialSettings("2400,S,6,1", &error)->parity, Parity::Space);
  EXPECT_EQ(ParseSerialSettings("1200,e,8,1", &error)->parity, Parity::Even);
}

TEST(SerialSettings, RejectionsSayWhatIsWrongAndShowTheForm) {
  EXPECT_NE(Rejection("").find("empty"), std::string::npos);
  EXPECT_NE(Rejection("").find("9600,n,8,1"), std::string::npos);
  const std::string abc = Rejection("abc");
  EXPECT_NE(abc.find("\"abc\""), std::string::npos) << abc;
  EXPECT_NE(abc.find("four fields"), std::string::npos) << abc;
  EXPECT_NE(Rejection("9600,x,8,1").find("parity \"x\""), std::string::npos);
  EXPECT_NE(Rejection("9600,ne,8,1").find("parity"), std::string::npos);
  EXPECT_NE(Rejection("fast,n,8,1").find("baud rate \"fast\" is not a number"), std::string::npos);
  EXPECT_NE(Rejection("-9600,n,8,1").find("not a number"), std::string::npos);
  const std::string odd = Rejection("12345,n,8,1");
  EXPECT_NE(odd.find("12345 is not supported"), std::string::npos) << odd;
  EXPECT_NE(odd.find("19200"), std::string::npos) << odd;  // lists the rates that are
  EXPECT_NE(Rejection("9600,n,9,1").find("data bits \"9\""), std::string::npos);
  EXPECT_NE(Rejection("9600,n,4,1").find("data bits"), std::string::npos);
  EXPECT_NE(Rejection("9600,n,8,3").find("stop bits \"3\""), std::string::npos);
  EXPECT_NE(Rejection("9600,n,8,1.5").find("1.5 stop bits need 5 data bits"), std::string::npos);
  EXPECT_NE(Rejection("9600,n,5,2").find("2 stop bits need"), std::string::npos);
  EXPECT_NE(Rejection("9600,n,8,1,").find("four fields"), std::string::npos);
  EXPECT_NE(Rejection("99999999999999999999,n,8,1").find("not a number"), std::string::npos);
}

TEST(SerialSettings, TranslateToARawLine) {
  std::string error;
  termios line{};
  line.c_lflag = ECHO | ICANON | ISIG;
  line.c_iflag = ICRNL | IXON;
  ApplyLineSettings(*ParseSerialSettings("19200,e,7,2", &error), 2, &line);
  EXPECT_EQ(cfgetospeed(&line), B19200);
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
  EXPECT_TRUE(line.c_cflag & PARENB);
  EXPECT_FALSE(line.c_cflag & PARODD);
  EXPECT_TRUE(line.c_cflag & CSTOPB);
  EXPECT_TRUE(line.c_cflag & CRTSCTS);
  EXPECT_TRUE(line.c_cflag & CLOCAL);
  EXPECT_FALSE(line.c_lflag & (ECHO | ICANON | ISIG));
  EXPECT_FALSE(line.c_iflag & (ICRNL | IXON));
  EXPECT_EQ(line.c_cc[VMIN], 1);
  ApplyLineSettings(*ParseSerialSettings("9600,n,8,1", &error), 1, &line);
  EXPECT_FALSE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS));
  EXPECT_TRUE(line.c_iflag & IXON);
  EXPECT_TRUE(line.c_iflag & IXOFF);
}

TEST(PortMap, EnvironmentBeatsTheMapWhichBeatsTheDefault) {
  // The test runner gives this program a private XDG_CONFIG_HOME.
  const std::string path = portmap::FilePath();
  ASSERT_FALSE(path.empty());
  ASSERT_NE(path.find("/vorelan/ports.conf"), std::string::npos);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << "COM3=/dev/ttyUSB7\nCOM4=/dev/ttyACM2\n";
  unsetenv("VORELAN_COM3");
  unsetenv("VORELAN_COM4");
  unsetenv("VORELAN_COM6");

  setenv("VORELAN_COM3", "/dev/pts/77", 1);
  EXPECT_EQ(ResolvePortDevice(3).path, "/dev/pts/77");
  EXPECT_EQ(ResolvePortDevice(3).origin, "set by VORELAN_COM3");
  unsetenv("VORELAN_COM3");
  EXPECT_EQ(ResolvePortDevice(3).path, "/dev/ttyUSB7");
  EXPECT_NE(ResolvePortDevice(3).origin.find(path), std::string::npos);
  EXPECT_EQ(ResolvePortDevice(4).path, "/dev/ttyACM2");
  EXPECT_EQ(ResolvePortDevice(6).path, "/dev/ttyS5");
  EXPECT_EQ(ResolvePortDevice(6).origin, "the default device of COM6");
  setenv("VORELAN_COM4", "", 1);  // an empty variable does not count
  EXPECT_EQ(ResolvePortDevice(4).path, "/dev/ttyACM2");
  unsetenv("VORELAN_COM4");
  std::filesystem::remove(path);
  EXPECT_EQ(ResolvePortDevice(3).path, "/dev/ttyS2");
}
