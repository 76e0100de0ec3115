// The serial-port layer over a pseudo-terminal: opening through the port
// mapping, exclusive access, the counts and discards, input and output, the
// error objects it leaves, and the event codes of line errors (through the
// line status seam) and of a device that has gone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "ByteBuffer.h"
#include "ErrorInfo.h"
#include "PortMapFile.h"
#include "RS232TestSupport.h"
#include "SerialPort.h"
#include "testing/NodeTestSupport.h"

namespace {

// Line error counters that the test sets.
class FakeLineStatus final : public LineStatusSource {
 public:
  std::optional<LineErrorCounters> counters = LineErrorCounters{};
  std::optional<LineErrorCounters> Read(int) override { return counters; }
};

class SerialPortOnPty : public ::testing::Test {
 protected:
  static constexpr std::int16_t kPort = 7;
  void SetUp() override {
    ASSERT_TRUE(pty_.Ok());
    setenv("VORELAN_COM7", pty_.SlavePath().c_str(), 1);
  }
  void TearDown() override { unsetenv("VORELAN_COM7"); }

  // Opens `port` on COM7; the test fails with the layer's message otherwise.
  static void Open(SerialPort& port) {
    ASSERT_EQ(port.SetPortNumber(kPort), S_OK);
    ASSERT_EQ(port.SetInputMode(1), S_OK);
    const HRESULT hr = port.SetOpenState(true);
    ASSERT_EQ(hr, S_OK) << TakeError().description;
  }
  static Bytes Input(SerialPort& port) {
    VARIANT input;
    EXPECT_EQ(port.GetInput(&input), S_OK);
    EXPECT_TRUE(IsByteBuffer(input));
    Bytes bytes = BytesOf(input);
    VariantClear(&input);
    return bytes;
  }
  static std::int16_t ReceivedCount(SerialPort& port, std::int16_t atLeast) {
    std::int16_t count = 0;
    for (int i = 0; i < 500 && count < atLeast; ++i) {
      if (port.GetReceivedCount(&count) != S_OK) return -1;
      if (count < atLeast) std::this_thread::sleep_for(milliseconds(2));
    }
    return count;
  }
  static std::int16_t EventCode(SerialPort& port) {
    std::int16_t code = -1;
    EXPECT_EQ(port.GetLastEventCode(&code), S_OK);
    return code;
  }

  PseudoTerminal pty_;
};

}  // namespace

TEST_F(SerialPortOnPty, ANewInstanceIsClosedWithDefaults) {
  SerialPort port;
  bool open = true;
  std::int16_t number = 0;
  std::string settings;
  std::int32_t handle = 0;
  EXPECT_EQ(port.GetOpenState(&open), S_OK);
  EXPECT_FALSE(open);
  port.GetPortNumber(&number);
  EXPECT_EQ(number, 1);
  port.GetSettingsText(&settings);
  EXPECT_EQ(settings, "9600,n,8,1");
  port.GetPortHandle(&handle);
  EXPECT_EQ(handle, -1);
  EXPECT_EQ(EventCode(port), kEventNone);
  // The configuration writes of a closed port are accepted.
  EXPECT_EQ(port.SetBreakState(false), S_OK);
  EXPECT_EQ(port.SetReceivedCount(0), S_OK);
  EXPECT_EQ(port.SetWaitingToSendCount(0), S_OK);
  EXPECT_EQ(port.SetReadLength(0), S_OK);
  EXPECT_EQ(port.SetFlowControl(0), S_OK);
  EXPECT_TRUE(SetCommMask(handle, 0));
  // Reading a closed port fails with a message.
  std::int16_t count = 0;
  EXPECT_EQ(port.GetReceivedCount(&count), E_UNEXPECTED);
  const ErrorFields error = TakeError();
  EXPECT_EQ(error.source, "Vorelan.SerialPort.1");
  EXPECT_EQ(error.description, "COM1 is not open.");
  VARIANT input;
  EXPECT_EQ(port.GetInput(&input), E_UNEXPECTED);
  {
    VARIANT bytes = MakeByteBuffer(Bytes{1, 2});
    EXPECT_EQ(port.SetOutput(bytes), E_UNEXPECTED);
    VariantClear(&bytes);
  }
}

TEST_F(SerialPortOnPty, BadValuesAreRefusedAndTheOldValuesKept) {
  SerialPort port;
  for (std::int16_t bad : {0, -1}) {
    EXPECT_EQ(port.SetPortNumber(bad), E_INVALIDARG);
    EXPECT_EQ(TakeError().description,
              "Invalid port number " + std::to_string(bad) + ": port numbers start at 1 (COM1).");
  }
  EXPECT_EQ(port.SetSettingsText("9600,x,8,1"), E_INVALIDARG);
  EXPECT_NE(TakeError().description.find("parity \"x\""), std::string::npos);
  std::string settings;
  port.GetSettingsText(&settings);
  EXPECT_EQ(settings, "9600,n,8,1");
  std::int16_t number = 0;
  port.GetPortNumber(&number);
  EXPECT_EQ(number, 1);
  EXPECT_EQ(port.SetFlowControl(4), E_INVALIDARG);
  EXPECT_EQ(port.SetInputMode(2), E_INVALIDARG);
  EXPECT_EQ(port.SetReadLength(-1), E_INVALIDARG);
  EXPECT_EQ(port.SetReceivedCount(3), E_INVALIDARG);
  EXPECT_EQ(port.SetWaitingToSendCount(3), E_INVALIDARG);
  EXPECT_NE(TakeError().description.find("only be set to 0"), std::string::npos);
}

TEST_F(SerialPortOnPty, OpensThroughTheMappingAndMovesBytesBothWays) {
  SerialPort port;
  ASSERT_EQ(port.SetSettingsText("19200,n,8,1"), S_OK);
  Open(port);
  std::int32_t handle = -1;
  port.GetPortHandle(&handle);
  EXPECT_GE(handle, 0);
  termios line{};
  ASSERT_EQ(tcgetattr(pty_.Master(), &line), 0);  // a pty master reports its slave's settings
  EXPECT_EQ(cfgetospeed(&line), B19200);
  EXPECT_FALSE(line.c_lflag & ECHO);

  ASSERT_TRUE(pty_.Write(Bytes{0x00, 0x0D, 0x0A, 0x11, 0x13, 0xFF}));  // nothing translated or eaten
  EXPECT_EQ(ReceivedCount(port, 6), 6);
  EXPECT_EQ(Input(port), (Bytes{0x00, 0x0D, 0x0A, 0x11, 0x13, 0xFF}));
  EXPECT_EQ(ReceivedCount(port, 0), 0);
  EXPECT_EQ(Input(port), Bytes{});

  VARIANT out = MakeByteBuffer(Bytes{0x13, 0x00, 0x5A, 0x06});
  EXPECT_EQ(port.SetOutput(out), S_OK);
  VariantClear(&out);
  EXPECT_EQ(pty_.Read(4), (Bytes{0x13, 0x00, 0x5A, 0x06}));

  // The settings change on the open line at once.
  ASSERT_EQ(port.SetSettingsText("4800,n,8,1"), S_OK);
  ASSERT_EQ(tcgetattr(pty_.Master(), &line), 0);
  EXPECT_EQ(cfgetospeed(&line), B4800);
  // The port number does not change while open.
  EXPECT_EQ(port.SetPortNumber(2), E_UNEXPECTED);
  EXPECT_NE(TakeError().description.find("Close the port first"), std::string::npos);
  EXPECT_EQ(port.SetOpenState(true), E_UNEXPECTED);
  EXPECT_EQ(TakeError().description, "COM7 is already open.");
  EXPECT_EQ(port.SetOpenState(false), S_OK);
  EXPECT_EQ(port.SetOpenState(false), S_OK);
  port.GetPortHandle(&handle);
  EXPECT_EQ(handle, -1);
}

TEST_F(SerialPortOnPty, ReadLengthTextModeAndDiscards) {
  SerialPort port;
  Open(port);
  ASSERT_TRUE(pty_.Write("abcdef"));
  ASSERT_EQ(ReceivedCount(port, 6), 6);
  ASSERT_EQ(port.SetReadLength(4), S_OK);
  EXPECT_EQ(Input(port), AsBytes("abcd"));
  ASSERT_EQ(port.SetInputMode(0), S_OK);
  VARIANT text;
  ASSERT_EQ(port.GetInput(&text), S_OK);
  ASSERT_EQ(text.vt, VT_BSTR);
  EXPECT_EQ(Utf8FromBstr(text.bstrVal), "ef");
  VariantClear(&text);

  ASSERT_TRUE(pty_.Write("stale"));
  ASSERT_EQ(ReceivedCount(port, 5), 5);
  ASSERT_EQ(port.SetReceivedCount(0), S_OK);
  EXPECT_EQ(ReceivedCount(port, 0), 0);
  std::int16_t unsent = -1;
  EXPECT_EQ(port.GetWaitingToSendCount(&unsent), S_OK);
  EXPECT_EQ(port.SetWaitingToSendCount(0), S_OK);
}

TEST_F(SerialPortOnPty, OpeningDiscardsWhatCameBefore) {
  ASSERT_TRUE(pty_.Write("before"));
  SerialPort port;
  Open(port);
  std::this_thread::sleep_for(milliseconds(20));
  std::int16_t count = -1;
  ASSERT_EQ(port.GetReceivedCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  ASSERT_TRUE(pty_.Write("after"));
  ASSERT_EQ(ReceivedCount(port, 5), 5);
  EXPECT_EQ(Input(port), AsBytes("after"));
}

TEST_F(SerialPortOnPty, OpenFailuresSayWhatHappenedAndWhatToDo) {
  SerialPort port;
  ASSERT_EQ(port.SetPortNumber(kPort), S_OK);

  setenv("VORELAN_COM7", "/nonexistent/ttyUSB9", 1);
  EXPECT_EQ(port.SetOpenState(true), E_FAIL);
  ErrorFields error = TakeError();
  EXPECT_EQ(error.source, "Vorelan.SerialPort.1");
  EXPECT_NE(error.description.find("COM7: the device /nonexistent/ttyUSB9 (set by VORELAN_COM7) does not exist"),
            std::string::npos)
      << error.description;
  EXPECT_NE(error.description.find("Plug the device in"), std::string::npos);
  // A device that may come back counts as gone, so that recovery keeps trying.
  EXPECT_EQ(EventCode(port), kEventDeviceGone);

  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("rs232-plain-" + std::to_string(getpid()));
  std::ofstream(file) << "not a tty";
  setenv("VORELAN_COM7", file.c_str(), 1);
  SerialPort second;
  ASSERT_EQ(second.SetPortNumber(kPort), S_OK);
  EXPECT_EQ(second.SetOpenState(true), E_FAIL);
  EXPECT_NE(TakeError().description.find("is not a serial device"), std::string::npos);
  EXPECT_EQ(EventCode(second), kEventNone);  // retrying would not help
  std::filesystem::remove(file);

  // Another program holding the device (root ignores TIOCEXCL, not the lock).
  setenv("VORELAN_COM7", pty_.SlavePath().c_str(), 1);
  const int holder = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  SerialPort third;
  ASSERT_EQ(third.SetPortNumber(kPort), S_OK);
  EXPECT_EQ(third.SetOpenState(true), E_FAIL);
  EXPECT_EQ(TakeError().description,
            "COM7: " + pty_.SlavePath() + " is in use by another program. Close that program, or choose another port.");
  ::close(holder);
  EXPECT_EQ(third.SetOpenState(true), S_OK) << TakeError().description;

  // Two instances never share a port.
  SerialPort fourth;
  ASSERT_EQ(fourth.SetPortNumber(kPort), S_OK);
  EXPECT_EQ(fourth.SetOpenState(true), E_FAIL);
  EXPECT_NE(TakeError().description.find("in use by another program"), std::string::npos);
}

TEST_F(SerialPortOnPty, LineErrorsGiveTheirEventCodesUntilReopened) {
  auto counters = std::make_shared<FakeLineStatus>();
  SerialPort port(counters);
  Open(port);
  EXPECT_EQ(EventCode(port), kEventNone);

  const struct {
    std::uint32_t LineErrorCounters::*counter;
    std::int16_t code;
  } cases[] = {{&LineErrorCounters::breaks, 1001},
               {&LineErrorCounters::framing, 1004},
               {&LineErrorCounters::overruns, 1006},
               {&LineErrorCounters::receiveOverflows, 1008},
               {&LineErrorCounters::parity, 1009}};
  for (const auto& c : cases) {
    ++((*counters->counters).*c.counter);
    EXPECT_EQ(EventCode(port), c.code);
    EXPECT_EQ(EventCode(port), c.code);  // the code stays until the port is opened again
    ASSERT_EQ(port.SetOpenState(false), S_OK);
    Open(port);
    EXPECT_EQ(EventCode(port), kEventNone);
  }
  // Counters that only were there before the open are no error.
  ASSERT_EQ(port.SetOpenState(false), S_OK);
  SerialPort fresh(counters);
  Open(fresh);
  EXPECT_EQ(EventCode(fresh), kEventNone);
}

TEST_F(SerialPortOnPty, DriversWithoutCountersReportNoLineErrors) {
  auto counters = std::make_shared<FakeLineStatus>();
  counters->counters.reset();
  SerialPort port(counters);
  Open(port);
  EXPECT_EQ(EventCode(port), kEventNone);
  SerialPort kernel;  // a pty answers TIOCGICOUNT with ENOTTY: not supported, not an error
  port.SetOpenState(false);
  Open(kernel);
  EXPECT_EQ(EventCode(kernel), kEventNone);
  EXPECT_EQ(kernel.SetBreakState(true), S_OK);  // ptys ignore breaks
  EXPECT_EQ(kernel.SetBreakState(false), S_OK);
}

TEST_F(SerialPortOnPty, AHungUpDeviceIsGoneAndNeverReadsInALoop) {
  SerialPort port;
  Open(port);
  pty_.CloseMaster();
  EXPECT_EQ(EventCode(port), kEventDeviceGone);
  std::int16_t count = 0;
  port.GetReceivedCount(&count);
  SetErrorInfo(0, nullptr);
  VARIANT input;
  EXPECT_EQ(port.GetInput(&input), E_FAIL);  // returns, rather than reading a hung-up device in a loop
  EXPECT_NE(TakeError().description.find("has"), std::string::npos);
  VARIANT out = MakeByteBuffer(Bytes{1});
  EXPECT_EQ(port.SetOutput(out), E_FAIL);
  VariantClear(&out);
  // Closing a gone device works, and so do the line resets around it.
  EXPECT_EQ(port.SetBreakState(false), S_OK);
  EXPECT_EQ(port.SetOpenState(false), S_OK);
  // The device does not come back: reopening fails, and the code stays "gone".
  // (Its /dev/pts number may be reused at once by another process's new pty,
  // so the port is pointed at a path that stays absent.)
  setenv("VORELAN_COM7", "/nonexistent/ttyUSB9", 1);
  EXPECT_NE(port.SetOpenState(true), S_OK);
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(EventCode(port), kEventDeviceGone);
}

// A terminal of the user's named as a port is given back as it was: its
// line discipline and speed are not left in raw mode.
TEST_F(SerialPortOnPty, ClosingGivesTheLineBackItsFormerSettings) {
  termios cooked{};
  ASSERT_EQ(tcgetattr(pty_.Master(), &cooked), 0);
  cooked.c_lflag |= ICANON | ECHO;
  cfsetospeed(&cooked, B2400);
  ASSERT_EQ(tcsetattr(pty_.Master(), TCSANOW, &cooked), 0);
  SerialPort port;
  Open(port);
  termios line{};
  ASSERT_EQ(tcgetattr(pty_.Master(), &line), 0);
  EXPECT_FALSE(line.c_lflag & ICANON);
  ASSERT_EQ(port.SetOpenState(false), S_OK);
  ASSERT_EQ(tcgetattr(pty_.Master(), &line), 0);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
  EXPECT_EQ(cfgetospeed(&line), speed_t(B2400));
}

// The port map is read only as a small regular file: a FIFO in its place
// would block the opening (and the program's start), a link to /dev/zero
// would be read until memory runs out.
TEST_F(SerialPortOnPty, APortMapThatIsNoSmallTextFileIsRefused) {
  unsetenv("VORELAN_COM7");
  const std::string map = portmap::FilePath();
  std::filesystem::create_directories(std::filesystem::path(map).parent_path());
  const std::function<void()> makers[] = {
      [&] { ASSERT_EQ(mkfifo(map.c_str(), 0600), 0); },
      [&] { std::filesystem::create_symlink("/dev/zero", map); },
      [&] { std::ofstream(map) << "COM7=" << std::string(portmap::kMaxFileSize, 'x') << "\n"; },
  };
  for (const auto& make : makers) {
    std::filesystem::remove(map);
    make();
    SerialPort port;
    ASSERT_EQ(port.SetPortNumber(kPort), S_OK);
    EXPECT_EQ(port.SetOpenState(true), E_FAIL);
    const std::string message = TakeError().description;
    EXPECT_EQ(message.rfind("COM7: the port map is not used: " + map, 0), 0u) << message;
  }
}

TEST_F(SerialPortOnPty, OutputWaitsForRoomAndKeepsOrder) {
  SerialPort port;
  Open(port);
  Bytes sent(1 << 20);
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  Bytes received;
  std::thread reader([&] { received = pty_.Read(sent.size(), milliseconds(30000)); });
  VARIANT out = MakeByteBuffer(sent);
  EXPECT_EQ(port.SetOutput(out), S_OK) << TakeError().description;
  VariantClear(&out);
  reader.join();
  EXPECT_EQ(received.size(), sent.size());
  EXPECT_TRUE(received == sent);
}

TEST_F(SerialPortOnPty, OutputThatNobodyTakesFailsInsteadOfHanging) {
  SerialPort port;
  Open(port);
  port.SetOutputStallLimit(milliseconds(200));
  VARIANT out = MakeByteBuffer(Bytes(1 << 20, 0x55));
  EXPECT_EQ(port.SetOutput(out), E_FAIL);
  VariantClear(&out);
  const std::string message = TakeError().description;
  EXPECT_NE(message.find("stalled: the device took no data for 200 ms"), std::string::npos) << message;
}
