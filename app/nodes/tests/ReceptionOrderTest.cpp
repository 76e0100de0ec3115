// The arrival order of the receive buffers, from the ISR values a receiver sees.
#include <gtest/gtest.h>

#include <vector>

#include "ReceptionOrder.h"

TEST(ReceptionOrder, FollowsTheFlagsAsTheyAppear) {
  struct Step {
    std::uint8_t isr;      // seen
    int taken;             // then taken (0: none)
    std::deque<int> left;  // pending afterwards, oldest first
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"all three at once: by buffer number", {{0xE0, 1, {2, 3}}, {0xC0, 2, {3}}, {0x80, 3, {}}}},
      // Buffer 1 freed and filled again while 2 and 3 wait: it is newest.
      {"refilled buffer goes last", {{0xE0, 1, {2, 3}}, {0xE0, 2, {3, 1}}, {0xA0, 3, {1}}}},
      {"flag cleared by someone else", {{0x60, 0, {1, 2}}, {0x40, 0, {2}}}},
      {"other flags are no frames", {{0x1F, 0, {}}}},
  };
  for (const Case& c : cases) {
    TReceptionOrder order;
    for (const Step& step : c.steps) {
      order.Observe(step.isr);
      if (step.taken) order.Taken(step.taken);
      EXPECT_EQ(order.Pending(), step.left) << c.what << ", ISR " << int(step.isr);
    }
  }
}
