// Test-program set-up of the main window's tests (gtest_main provides main()):
// - before anything can create a QSettings (it caches its folder), the settings
//   and data folders point into a temporary folder of this process, so no test
//   touches the user's settings, port map or component registry;
// - widgets use the offscreen platform unless told otherwise;
// - one TApplication, the program's own application object, lives from before
//   the first test to after the last.
#include "VorelanApp.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QTemporaryDir& privateHome() {
  static QTemporaryDir home;
  return home;
}

const bool g_homeSet = [] {
  qputenv("XDG_CONFIG_HOME", privateHome().filePath("config").toLocal8Bit());
  qputenv("XDG_DATA_HOME", privateHome().filePath("data").toLocal8Bit());
  qputenv("XDG_RUNTIME_DIR", privateHome().path().toLocal8Bit());
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  return true;
}();

class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "vorelan";
    static char* argv[] = {name, nullptr};
    app_ = new TApplication(argc, argv);
  }

  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  TApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace
