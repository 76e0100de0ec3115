// What only shows without root privileges: reopening a port (TIOCEXCL
// outlives close() on a pty unless cleared), a port held exclusively by
// another program, and a device the user may not open. Root ignores
// TIOCEXCL and permissions, so each scenario runs in a child process that
// has become the user "nobody" (uid 65534).
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "RS232TestSupport.h"
#include "testing/NodeTestSupport.h"

namespace {

constexpr uid_t kNobody = 65534;
constexpr int kCannotDropPrivileges = 77;

// Runs `scenario` in a child process without root privileges; its result is
// "" when all went well, else what went wrong. Returns that text, or
// "skip: ..." when the child could not drop privileges.
std::string RunUnprivileged(const std::function<std::string()>& scenario) {
  int report[2];
  if (pipe(report) != 0) return std::string("pipe: ") + std::strerror(errno);
  const pid_t child = fork();
  if (child < 0) return std::string("fork: ") + std::strerror(errno);
  if (child == 0) {
    close(report[0]);
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
      _exit(kCannotDropPrivileges);
    const std::string result = scenario();
    if (!result.empty() && write(report[1], result.data(), result.size()) < 0) _exit(2);
    close(report[1]);
    _exit(result.empty() ? 0 : 1);
  }
  close(report[1]);
  std::string result;
  char chunk[512];
  ssize_t n;
  while ((n = read(report[0], chunk, sizeof chunk)) > 0) result.append(chunk, static_cast<std::size_t>(n));
  close(report[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotDropPrivileges) return "skip: cannot become uid 65534";
  if (!WIFEXITED(status)) return "the child process died (signal " + std::to_string(WTERMSIG(status)) + ")";
  if (WEXITSTATUS(status) != 0 && result.empty()) return "the child failed without a report";
  return result;
}

// Gives the slave device to the unprivileged user (or, not being root, keeps it ours).
void HandOver(const PseudoTerminal& pty, mode_t mode) {
  if (geteuid() == 0) {
    ASSERT_EQ(chown(pty.SlavePath().c_str(), kNobody, kNobody), 0) << std::strerror(errno);
  }
  ASSERT_EQ(chmod(pty.SlavePath().c_str(), mode), 0) << std::strerror(errno);
}

// A small check list for the child, which cannot use the test framework.
struct Checks {
  std::string failures;
  void Expect(bool ok, const std::string& what) {
    if (!ok) failures += what + "\n";
  }
};

class UnprivilegedSerialNode : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.Ok());
    setenv("VORELAN_COM7", pty_.SlavePath().c_str(), 1);
  }
  void TearDown() override { unsetenv("VORELAN_COM7"); }
  static void Report(const std::string& result) {
    if (result.rfind("skip:", 0) == 0) GTEST_SKIP() << result;
    EXPECT_EQ(result, "");
  }
  PseudoTerminal pty_;
};

// Creates a node on COM7 in the child; null on failure (with a note).
INode* ChildNode(Checks& checks) {
  INode* node = nullptr;
  const HRESULT hr =
      CoCreateInstance(CLSID_RS232Node, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node));
  checks.Expect(hr == S_OK, "creating the node by class identity failed");
  if (node) {
    SetProp(node, "CommPort", "7");
    SetProp(node, "Settings", "9600,n,8,1");
  }
  return node;
}

}  // namespace

TEST_F(UnprivilegedSerialNode, ReconnectsAndReopensThePort) {
  HandOver(pty_, 0600);
  Report(RunUnprivileged([&] {
    Checks checks;
    INode* node = ChildNode(checks);
    if (!node) return checks.failures;
    HRESULT hr = ConnectNode(node);
    checks.Expect(hr == S_OK, "first Connect: " + TakeError().description);
    hr = ConnectNode(node);  // closes and reopens
    checks.Expect(hr == S_OK, "second Connect: " + TakeError().description);
    checks.Expect(CloseNode(node) == S_OK, "Close");
    hr = ConnectNode(node);
    checks.Expect(hr == S_OK, "Connect after Close: " + TakeError().description);
    // Sent last: a Connect discards bytes still waiting to be sent, and on a
    // pty that includes bytes the far end has not read yet.
    checks.Expect(Transmit(node, AsBytes("ab")) == S_OK, "DoTransmit after reopening");
    checks.Expect(CloseNode(node) == S_OK, "second Close");
    node->Release();
    return checks.failures;
  }));
  EXPECT_EQ(pty_.Read(2), AsBytes("ab"));
}

TEST_F(UnprivilegedSerialNode, APortHeldExclusivelyByAnotherProgramIsRefused) {
  HandOver(pty_, 0600);
  Report(RunUnprivileged([&] {
    Checks checks;
    const int other = open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    checks.Expect(other >= 0 && ioctl(other, TIOCEXCL) == 0, "the other program could not take the port");
    INode* node = ChildNode(checks);
    if (!node) return checks.failures;
    checks.Expect(ConnectNode(node) == DISP_E_EXCEPTION, "Connect to a port in use did not fail");
    const std::string message = TakeError().description;
    checks.Expect(message.find("is in use by another program") != std::string::npos, "message: " + message);
    ioctl(other, TIOCNXCL);
    close(other);
    checks.Expect(ConnectNode(node) == S_OK, "Connect once the port is free: " + TakeError().description);
    CloseNode(node);
    node->Release();
    return checks.failures;
  }));
}

TEST_F(UnprivilegedSerialNode, ADeviceWithoutPermissionNamesTheDialoutGroup) {
  if (geteuid() == 0) {
    ASSERT_EQ(chown(pty_.SlavePath().c_str(), 0, 0), 0);
  }
  ASSERT_EQ(chmod(pty_.SlavePath().c_str(), geteuid() == 0 ? 0600 : 0000), 0);
  Report(RunUnprivileged([&] {
    Checks checks;
    INode* node = ChildNode(checks);
    if (!node) return checks.failures;
    checks.Expect(ConnectNode(node) == DISP_E_EXCEPTION, "Connect without permission did not fail");
    const std::string message = TakeError().description;
    checks.Expect(
        message == "COM7: permission denied opening " + pty_.SlavePath() +
                       ". Add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again.",
        "message: " + message);
    checks.Expect(Transmit(node, Bytes{1}) == MessageStatus(516), "the node is not Closed");
    node->Release();
    return checks.failures;
  }));
}
