// Also gives the test program its QApplication, from before the first test to
// after the last; settings and data folders are private to the run.
#include "RegFrmTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include "HexEdit.h"

THexEdit* Field(QWidget* window, const QString& name) {
  auto* field = window->findChild<THexEdit*>(name);
  EXPECT_NE(field, nullptr) << name.toStdString();
  return field;
}

void TypeInto(THexEdit* field, const char* keys) {
  field->setFocus(Qt::TabFocusReason);
  for (const char* k = keys; *k; ++k) QTest::keyClick(field, *k);
}

bool ShowActive(QWidget* window) {
  window->show();
  window->activateWindow();
  return QTest::qWaitForWindowActive(window);
}

void SaveScreenshot(QWidget* window, const QString& name) {
  const QString dir = qEnvironmentVariable("VORELAN_SCREENSHOT_DIR");
  const QPixmap picture = window->grab();
  EXPECT_FALSE(picture.isNull());
  if (!dir.isEmpty()) picture.save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

#if defined(__SANITIZE_THREAD__)
// Debian's Qt is not built with ThreadSanitizer. Qt Gui hands large fills and
// pixmap draws to its own thread pool and syncs with it on futex-based locks
// that ThreadSanitizer cannot see, so every sizeable window it paints (a Fusion
// group box is enough) gives false reports. Accesses that uninstrumented
// libraries make through intercepted calls (memmove, new, delete) are left out;
// every access of our own, instrumented code is still checked.
extern "C" const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}
#endif

namespace {

QTemporaryDir& privateHome() {
  static QTemporaryDir home;
  return home;
}

// Run by hand as well as from CTest: never the user's settings, never a real display.
const bool g_environmentSet = [] {
  if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"))
    qputenv("XDG_CONFIG_HOME", privateHome().filePath(QStringLiteral("config")).toLocal8Bit());
  if (qEnvironmentVariableIsEmpty("XDG_DATA_HOME"))
    qputenv("XDG_DATA_HOME", privateHome().filePath(QStringLiteral("data")).toLocal8Bit());
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  return true;
}();

class QtApplicationEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "windows_regfrm_tests";
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

[[maybe_unused]] testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
