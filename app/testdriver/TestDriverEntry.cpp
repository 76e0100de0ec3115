// The plugin's entry point, which the program looks up when it loads the
// plugin (TestDriverPlugin.h).
#include "TestDriver.h"
#include "TestDriverPlugin.h"

#include <type_traits>

extern "C" __attribute__((visibility("default"))) QObject* VorelanStartTestDriver() {
  static_assert(std::is_same_v<decltype(&VorelanStartTestDriver), TestDriverPlugin::StartDriver>);
  return TTestDriver::fromEnvironment().release();
}
