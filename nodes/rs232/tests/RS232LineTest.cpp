// The serial node over a pseudo-terminal: connecting, sending and receiving,
// the states Closed, Connected and Lost, bad settings and devices, port
// recovery after the device vanishes, and delivery in order.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "RS232TestSupport.h"
#include "WaitUntil.h"
#include "testing/NodeTestSupport.h"

namespace {

constexpr const char* kPortVariable = "VORELAN_COM7";

class SerialNodeOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    pty_ = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(pty_->Ok());
    setenv(kPortVariable, pty_->SlavePath().c_str(), 1);
    // Runtime helpers that start with the first thread (ThreadSanitizer's)
    // must exist before the count is taken.
    std::thread([] {}).join();
    threadsBefore_ = ThreadCount();
    node_ = CreateNode(CLSID_RS232Node);
    ASSERT_NE(node_, nullptr);
    log_.ListenTo(node_);
    ASSERT_EQ(SetProp(node_, "CommPort", "7"), S_OK);
    ASSERT_EQ(SetProp(node_, "Settings", "9600,n,8,1"), S_OK);
  }
  void TearDown() override {
    if (node_) {
      EXPECT_EQ(CloseNode(node_), S_OK);
      node_->Release();
    }
    unsetenv(kPortVariable);
  }

  void Connect() {
    const HRESULT hr = ConnectNode(node_);
    ASSERT_EQ(hr, S_OK) << TakeError().description;
  }
  // Sends from the master side and waits until the node has delivered it.
  void ExpectDelivered(const std::string& text) {
    const std::size_t before = log_.Received().size();
    ASSERT_TRUE(pty_->Write(text));
    const Bytes received = log_.WaitForBytes(before + text.size());
    ASSERT_EQ(received.size(), before + text.size());
    EXPECT_EQ(Bytes(received.begin() + static_cast<std::ptrdiff_t>(before), received.end()), AsBytes(text));
  }
  std::int32_t PollThreads() const { return ThreadCount() - threadsBefore_; }

  std::unique_ptr<PseudoTerminal> pty_;
  int threadsBefore_ = 0;
  INode* node_ = nullptr;
  EventLog log_;
};

speed_t SlaveSpeed(int master) {
  termios line{};
  tcgetattr(master, &line);  // a pty master reports its slave's settings
  return cfgetospeed(&line);
}

}  // namespace

TEST_F(SerialNodeOnPty, AConnectedNodeMovesBytesBothWays) {
  Connect();
  std::int32_t channel = -1;
  ASSERT_EQ(node_->AllocChannel(&channel), S_OK);
  EXPECT_EQ(PollThreads(), 1);

  EXPECT_EQ(Transmit(node_, AsBytes("\x13\x00\x5A\x06")), S_OK);
  EXPECT_EQ(pty_->Read(4), AsBytes("\x13\x00\x5A\x06"));

  ExpectDelivered("\x06\x01\x02\x03\x04\x05\x06");
  for (const auto& event : log_.Events()) {
    EXPECT_EQ(event.member, DISPID_OnReception);
    EXPECT_EQ(event.channelOrCode, 0);
    EXPECT_NE(event.thread, std::this_thread::get_id());  // raised on the poll thread
  }
  EXPECT_EQ(CloseNode(node_), S_OK);
  EXPECT_EQ(PollThreads(), 0);
  EXPECT_EQ(Transmit(node_, Bytes{1}), MessageStatus(516));
}

TEST_F(SerialNodeOnPty, ConnectTwiceReopensTheSamePortWithOnePollThread) {
  Connect();
  ExpectDelivered("one");
  const std::size_t afterOne = log_.Received().size();
  ASSERT_TRUE(pty_->Write("unread"));  // may still be on its way when the port reopens
  ASSERT_EQ(SetProp(node_, "Settings", "19200,n,8,1"), S_OK);
  Connect();
  EXPECT_EQ(PollThreads(), 1);
  EXPECT_EQ(SlaveSpeed(pty_->Master()), B19200);
  ASSERT_TRUE(pty_->Write("two"));
  // "unread" was taken whole before the reopen or discarded by it; "two" follows.
  const Bytes two = AsBytes("two");
  Bytes after;
  ASSERT_TRUE(WaitUntil([&] {
    const Bytes received = log_.Received();
    after.assign(received.begin() + static_cast<std::ptrdiff_t>(afterOne), received.end());
    return after.size() >= two.size() &&
           std::equal(two.begin(), two.end(), after.end() - static_cast<std::ptrdiff_t>(two.size()));
  }));
  EXPECT_TRUE(after == two || after == AsBytes("unreadtwo")) << std::string(after.begin(), after.end());
  EXPECT_EQ(Transmit(node_, AsBytes("back")), S_OK);
  EXPECT_EQ(pty_->Read(4), AsBytes("back"));
}

TEST_F(SerialNodeOnPty, BytesSentBeforeConnectAreDiscarded) {
  ASSERT_TRUE(pty_->Write("early bytes"));
  std::this_thread::sleep_for(milliseconds(20));
  Connect();
  ExpectDelivered("late");
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(log_.Received(), AsBytes("late"));
}

TEST_F(SerialNodeOnPty, SettingsSetWhileConnectedWaitForTheNextConnect) {
  Connect();
  EXPECT_EQ(SlaveSpeed(pty_->Master()), B9600);
  ASSERT_EQ(SetProp(node_, "Settings", "19200,n,8,1"), S_OK);
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(SlaveSpeed(pty_->Master()), B9600);
  EXPECT_EQ(GetProp(node_, "Settings"), "19200,n,8,1");
  Connect();
  EXPECT_EQ(SlaveSpeed(pty_->Master()), B19200);
}

TEST_F(SerialNodeOnPty, BadSettingsAndPortsFailConnectClearlyAndTheNodeStaysUsable) {
  const struct {
    const char* settings;
    const char* port;
    const char* device;  // VORELAN_COM<port>, or null to leave it unset
    const char* message;
  } cases[] = {
      {"9600,x,8,1", "7", nullptr, "parity \"x\""},
      {"", "7", nullptr, "the text is empty"},
      {"abc", "7", nullptr, "\"abc\" are not valid"},
      {"12345,n,8,1", "7", nullptr, "12345 is not supported"},
      {"9600,n,8,1", "0", nullptr, "Invalid port number 0"},
      {"9600,n,8,1", "-1", nullptr, "Invalid port number -1"},
      {"9600,n,8,1", "8", "/nonexistent/ttyUSB0",
       "COM8: the device /nonexistent/ttyUSB0 (set by VORELAN_COM8) does not exist"},
      {"9600,n,8,1", "9", "/dev/null", "COM9: /dev/null (set by VORELAN_COM9) is not a serial device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.settings) + " on " + c.port);
    if (c.device) setenv((std::string("VORELAN_COM") + c.port).c_str(), c.device, 1);
    ASSERT_EQ(SetProp(node_, "Settings", c.settings), S_OK);
    ASSERT_EQ(SetProp(node_, "CommPort", c.port), S_OK);
    EXPECT_EQ(ConnectNode(node_), DISP_E_EXCEPTION);
    const ErrorFields error = TakeError();
    EXPECT_EQ(error.source, "Vorelan.SerialPort.1");
    EXPECT_NE(error.description.find(c.message), std::string::npos) << error.description;
    if (c.device) unsetenv((std::string("VORELAN_COM") + c.port).c_str());
    // Still Closed: no thread, nothing to send on.
    EXPECT_EQ(PollThreads(), 0);
    EXPECT_EQ(Transmit(node_, Bytes{1}), MessageStatus(516));
  }
  // A rejected settings text leaves the control's own, which is read back.
  // The port number the control never took stays the client's, so the next
  // Connect opens the port the client chose and no other.
  ASSERT_EQ(SetProp(node_, "Settings", "9600,x,8,1"), S_OK);
  ASSERT_EQ(SetProp(node_, "CommPort", "7"), S_OK);
  EXPECT_EQ(ConnectNode(node_), DISP_E_EXCEPTION);
  TakeError();
  EXPECT_EQ(GetProp(node_, "Settings"), "9600,n,8,1");
  EXPECT_EQ(GetProp(node_, "CommPort"), "7");

  ASSERT_EQ(SetProp(node_, "Settings", "4800,n,8,1"), S_OK);
  Connect();
  ExpectDelivered("fine");

  // A port number the control refuses stays as the client set it too.
  EXPECT_EQ(CloseNode(node_), S_OK);
  ASSERT_EQ(SetProp(node_, "CommPort", "0"), S_OK);
  EXPECT_EQ(ConnectNode(node_), DISP_E_EXCEPTION);
  TakeError();
  EXPECT_EQ(GetProp(node_, "CommPort"), "0");
}

TEST_F(SerialNodeOnPty, ThePortsDefaultDeviceIsNamedWhenItIsMissing) {
  if (std::filesystem::exists("/dev/ttyS98")) GTEST_SKIP() << "/dev/ttyS98 exists on this machine";
  unsetenv("VORELAN_COM99");
  ASSERT_EQ(SetProp(node_, "CommPort", "99"), S_OK);
  EXPECT_EQ(ConnectNode(node_), DISP_E_EXCEPTION);
  const std::string message = TakeError().description;
  EXPECT_NE(message.find("COM99: the device /dev/ttyS98 (the default device of COM99) does not exist"),
            std::string::npos)
      << message;
  EXPECT_NE(message.find("VORELAN_COM99"), std::string::npos) << message;
}

TEST_F(SerialNodeOnPty, APortInUseByAnotherProgramIsRefused) {
  const int holder = ::open(pty_->SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(ConnectNode(node_), DISP_E_EXCEPTION);
  EXPECT_NE(TakeError().description.find("is in use by another program"), std::string::npos);
  ::close(holder);
  Connect();
  // And while the node has it, nobody else gets it.
  const int intruder = ::open(pty_->SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(intruder, 0);  // root passes TIOCEXCL; the lock still keeps it out
  EXPECT_NE(flock(intruder, LOCK_EX | LOCK_NB), 0);
  ::close(intruder);
}

TEST_F(SerialNodeOnPty, AFailedSecondConnectLeavesTheNodeLostUntilConnectOrClose) {
  Connect();
  ASSERT_EQ(SetProp(node_, "Settings", "9600,q,8,1"), S_OK);
  EXPECT_EQ(ConnectNode(node_), DISP_E_EXCEPTION);
  TakeError();
  // Lost: the thread runs on, there is no control.
  EXPECT_EQ(PollThreads(), 1);
  EXPECT_EQ(Transmit(node_, Bytes{1}), MessageStatus(518));
  EXPECT_EQ(TakeError().description, "Unable to find Microsoft communication control.");
  Var kind, text = Var::Text("x");
  EXPECT_EQ(node_->DoTransmit(0, kind.v, text.v), MessageStatus(515));
  TakeError();

  ASSERT_EQ(SetProp(node_, "Settings", "9600,n,8,1"), S_OK);
  Connect();  // Lost -> Connected, with the same thread
  EXPECT_EQ(PollThreads(), 1);
  ExpectDelivered("again");

  ASSERT_EQ(SetProp(node_, "CommPort", "0"), S_OK);
  EXPECT_EQ(ConnectNode(node_), DISP_E_EXCEPTION);
  TakeError();
  EXPECT_EQ(CloseNode(node_), S_OK);  // Lost -> Closed: the thread ends too
  EXPECT_EQ(PollThreads(), 0);
  EXPECT_EQ(Transmit(node_, Bytes{1}), MessageStatus(516));
  EXPECT_EQ(CloseNode(node_), S_OK);
}

TEST_F(SerialNodeOnPty, TheNodeRecoversWhenAVanishedDeviceComesBack) {
  // A stable name for a device that comes back under another one, like /dev/serial/by-id.
  const std::filesystem::path link =
      std::filesystem::temp_directory_path() / ("rs232-device-" + std::to_string(getpid()));
  std::filesystem::remove(link);
  std::filesystem::create_symlink(pty_->SlavePath(), link);
  setenv(kPortVariable, link.c_str(), 1);
  const std::set<pid_t> threadsBefore = ThreadIds();
  Connect();
  ExpectDelivered("before");
  std::vector<pid_t> started;
  for (pid_t id : ThreadIds())
    if (!threadsBefore.count(id)) started.push_back(id);
  ASSERT_EQ(started.size(), 1u);
  const pid_t pollThread = started.front();

  pty_->CloseMaster();  // unplugged
  // The old /dev/pts number may be handed to another process's new pty at
  // once; an unplugged adapter's name disappears, so the link goes too.
  std::filesystem::remove(link);
  // The poll thread finds the device gone, closes it and keeps trying; the
  // port stays closed meanwhile, and a transmission says why, naming the device.
  std::string why;
  EXPECT_TRUE(WaitUntil([&] {
    const HRESULT hr = Transmit(node_, Bytes{1});
    why = TakeError().description;
    return hr == DISP_E_EXCEPTION;
  }));
  EXPECT_EQ(why.rfind("The device " + link.string() + " has gone away (", 0), 0u) << why;
  // A few failed attempts: the thread pauses after each.
  const long sleeps = SleepsOf(pollThread);
  ASSERT_TRUE(WaitUntil([&] { return SleepsOf(pollThread) >= sleeps + 3; }));
  EXPECT_EQ(PollThreads(), 1);

  // Another kind of terminal under the name meanwhile is not taken for the device.
  std::filesystem::create_symlink("/dev/ptmx", link);
  const long tries = SleepsOf(pollThread);
  ASSERT_TRUE(WaitUntil([&] { return SleepsOf(pollThread) >= tries + 3; }));
  EXPECT_EQ(Transmit(node_, Bytes{1}), DISP_E_EXCEPTION);
  EXPECT_EQ(TakeError().description, why);  // the first reason stays

  auto replugged = std::make_unique<PseudoTerminal>();
  ASSERT_TRUE(replugged->Ok());
  const std::filesystem::path next = link.string() + ".new";
  std::filesystem::create_symlink(replugged->SlavePath(), next);
  std::filesystem::rename(next, link);  // plugged in again
  EXPECT_TRUE(WaitUntil([&] {
    const HRESULT hr = Transmit(node_, AsBytes("hello"));
    TakeError();
    return hr == S_OK;
  }));
  pty_ = std::move(replugged);
  EXPECT_EQ(pty_->Read(5), AsBytes("hello"));
  ExpectDelivered("after");
  EXPECT_EQ(GetProp(node_, "Settings"), "9600,n,8,1");
  for (const auto& event : log_.Events()) EXPECT_EQ(event.member, DISPID_OnReception);  // nothing reported
  EXPECT_EQ(PollThreads(), 1);
  EXPECT_EQ(CloseNode(node_), S_OK);
  std::filesystem::remove(link);
}

TEST_F(SerialNodeOnPty, CloseWorksWhileTheDeviceIsGone) {
  Connect();
  pty_->CloseMaster();
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(CloseNode(node_), S_OK);
  EXPECT_EQ(PollThreads(), 0);
  EXPECT_EQ(CloseNode(node_), S_OK);
}

TEST_F(SerialNodeOnPty, BytesInAnyPiecesAtAnyRateArriveInOrderOnce) {
  Connect();
  Bytes sent(256 * 1024);
  std::mt19937 random(12345);
  for (auto& byte : sent) byte = static_cast<std::uint8_t>(random());
  std::thread writer([&] {
    std::mt19937 pace(678);
    std::size_t at = 0;
    while (at < sent.size()) {
      const std::size_t piece = std::min<std::size_t>(1 + pace() % 700, sent.size() - at);
      pty_->Write(Bytes(sent.begin() + static_cast<std::ptrdiff_t>(at),
                        sent.begin() + static_cast<std::ptrdiff_t>(at + piece)));
      at += piece;
      if (pace() % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(pace() % 3000));
    }
  });
  const Bytes received = log_.WaitForBytes(sent.size(), milliseconds(60000));
  writer.join();
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(log_.Received().size(), sent.size());
  EXPECT_TRUE(received == sent);
  EXPECT_GT(log_.Events().size(), 1u);
}

TEST_F(SerialNodeOnPty, AListenerMayTransmitFromInsideOnReception) {
  log_.onReception = [&](const Bytes& bytes) { EXPECT_EQ(Transmit(node_, bytes), S_OK); };
  Connect();
  ASSERT_TRUE(pty_->Write("ping"));
  EXPECT_EQ(pty_->Read(4), AsBytes("ping"));
}

TEST_F(SerialNodeOnPty, CloseFromInsideOnReceptionIsRefused) {
  std::atomic<HRESULT> status{S_OK};
  std::string message;
  std::atomic<bool> done{false};
  log_.onReception = [&](const Bytes&) {
    if (done) return;
    status = CloseNode(node_);
    message = TakeError().description;
    done = true;
  };
  Connect();
  ASSERT_TRUE(pty_->Write("x"));
  ASSERT_TRUE(WaitUntil([&] { return done.load(); }, milliseconds(5000)));
  EXPECT_EQ(status.load(), MessageStatus(519));
  EXPECT_EQ(message, "Close is not allowed from inside OnReception of the same node.");
  EXPECT_EQ(CloseNode(node_), S_OK);
  EXPECT_EQ(PollThreads(), 0);
}

TEST_F(SerialNodeOnPty, DroppingAConnectedNodeClosesItsPort) {
  Connect();
  node_->Release();
  node_ = nullptr;
  EXPECT_EQ(PollThreads(), 0);
  const int next = ::open(pty_->SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(next, 0);
  EXPECT_EQ(flock(next, LOCK_EX | LOCK_NB), 0);
  ::close(next);
}
