// The serial node built into the test program, so that the worker thread's
// start can be made to fail as it does on a system out of threads: Connect
// then fails with a status and leaves the node closed, and the next Connect
// works.
#include "RS232Node.h"
#include "RS232TestSupport.h"
#include "WorkerThread.h"
#include "testing/NodeTestSupport.h"

namespace {

TEST(SerialNodeThreadStart, NoThreadToBeHadFailsTheConnectAndLeavesThePortClosed) {
  PseudoTerminal line;
  ASSERT_TRUE(line.Ok());
  setenv("VORELAN_COM4", line.SlavePath().c_str(), 1);
  auto* node = new RS232Node;  // one reference, released below
  EventLog log;
  const std::uint32_t cookie = log.ListenTo(node);
  ASSERT_EQ(SetProp(node, "CommPort", "4"), S_OK);
  ASSERT_EQ(SetProp(node, "Settings", "9600,n,8,1"), S_OK);

  WorkerThread::FailNextStarts(1);
  HRESULT status = S_OK;
  EXPECT_NO_THROW(status = ConnectNode(node));
  EXPECT_EQ(status, E_FAIL);
  const ErrorFields error = TakeError();
  EXPECT_EQ(error.source, "RS232.Node.1");
  EXPECT_EQ(error.description.rfind("Cannot start the poll thread: ", 0), 0u) << error.description;
  // Closed: no control holds the port, nothing can be sent.
  EXPECT_EQ(node->Control(), nullptr);
  EXPECT_EQ(Transmit(node, Bytes{1}), MessageStatus(516));
  TakeError();

  ASSERT_EQ(ConnectNode(node), S_OK) << TakeError().description;
  ASSERT_TRUE(line.Write(AsBytes("up")));
  EXPECT_EQ(log.WaitForBytes(2), AsBytes("up"));
  EXPECT_EQ(CloseNode(node), S_OK);
  EventLog::StopListening(node, cookie);
  node->Release();
  unsetenv("VORELAN_COM4");
}

}  // namespace
