// The load run's hang detector: a GUI thread that stops processing events
// ends the process with a line that names the hang.
#include "GuiWatchdog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

namespace {

TEST(GuiWatchdogDeathTest, AGuiThreadBlockedPastTheBoundEndsTheProcessWithItsCause) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        GuiWatchdog watchdog(std::chrono::seconds(1), "a blocked handler");
        // A handler that waits for something that never comes; the bound
        // only keeps the child from hanging should the watchdog not fire.
        std::promise<void> never;
        never.get_future().wait_for(std::chrono::seconds(60));
      },
      "HANG: a blocked handler: the GUI thread processed no event for [0-9]+ ms");
}

}  // namespace
