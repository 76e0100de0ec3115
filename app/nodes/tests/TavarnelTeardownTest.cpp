// The protocol wrapper's destruction while its node still reports: the node
// is closed and the handlers disconnected while the fields they write exist.
// An event that found them destroyed would call into the destroyed object and
// write freed memory, which the sanitizer builds report.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "ComRuntime.h"
#include "ScopedEnv.h"
#include "tavarnel.h"

namespace {

// A registry of this test's own, which the build tree's does not know.
class PrivateRegistry {
 public:
  // One file per process: test programs of other builds may run at the same time.
  PrivateRegistry() { std::remove(path_.c_str()); }
  ~PrivateRegistry() { std::remove(path_.c_str()); }

 private:
  const std::string path_ = ::testing::TempDir() + "/vorelan-closing-node-" + std::to_string(getpid()) + ".reg";
  const ScopedEnv variable_{"VORELAN_COMPONENT_REGISTRY", path_};
};

TEST(ProtocolWrapperTeardown, AReportWhileTheNodeClosesFindsTheWrapperWhole) {
  PrivateRegistry registry;
  std::string message;
  ASSERT_EQ(RegisterServerLibrary(CLOSING_PROTOCOL_NODE_LIBRARY, false, &message), S_OK) << message;

  auto protocol = std::make_unique<TTavarnelObject>();
  protocol->Open();
  std::uint8_t data[1] = {0};
  // The refusal's long text is what the wrapper keeps as its last error.
  try {
    protocol->ReadMemory(0x5A, data, 1);
    ADD_FAILURE() << "the stand-in answered";
  } catch (const EAppError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("The stand-in refuses", 0), 0u) << e.what();
  }
  // Its Close reports a time-out, which the handler stores.
  protocol.reset();
}

}  // namespace
