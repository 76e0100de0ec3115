// main() of the Qt test programs:
// - a private home for the process (PrivateHome.h), set before anything can
//   create a QSettings, which keeps the folder it first found;
// - widgets on the offscreen platform unless told otherwise, so that a test
//   run by hand never opens a window;
// - one application object (QtTestApplication.h) from before the first test
//   to after the last, destroyed before the private home is removed.
#include <gtest/gtest.h>

#include "PrivateHome.h"
#include "QtTestApplication.h"

#if defined(__SANITIZE_THREAD__)
// Debian's Qt is not built with ThreadSanitizer: its own locking (futex-based
// QMutex, the painting thread pool) is invisible to it. Accesses that the
// uninstrumented Qt libraries make are left out of the reports, also when a
// test program is run by hand; every access of our own code is still checked.
extern "C" const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}
#endif

int main(int argc, char** argv) {
  const vorelantest::PrivateHome home;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (CTest's discovery at build time) needs no application.
  std::unique_ptr<QCoreApplication> app;
  if (!::testing::GTEST_FLAG(list_tests)) app = vorelantest::CreateTestApplication(argc, argv);
  const int result = RUN_ALL_TESTS();
  app.reset();
  return result;
}
