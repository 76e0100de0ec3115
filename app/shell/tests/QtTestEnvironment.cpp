// Test-program set-up shared by the shell's Qt tests (gtest_main provides main()):
// - before anything can create a QSettings (it caches its folder), the settings
//   and data folders point into a temporary folder of this process, so no test
//   ever touches the user's settings and no two test processes share theirs;
// - widgets use the offscreen platform unless told otherwise;
// - one QApplication lives from before the first test to after the last.
#include <QApplication>
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
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  return true;
}();

class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "vorelan_shell_tests";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }

  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
