// Gives every test program of the controls one QApplication for the whole
// run, created before the first test and destroyed after the last one.
// Listed among a test's sources, so that its registration is always linked.
#include <gtest/gtest.h>
#include <QApplication>

namespace {

class QtAppEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    // Run by hand as well as from CTest: never open a real window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vorelan-controls-test";
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

[[maybe_unused]] testing::Environment* const environment = testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace
