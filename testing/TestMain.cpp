// main() of the test programs without Qt: a private home for the process
// (PrivateHome.h), then the GoogleTest run.
#include <gtest/gtest.h>

#include "PrivateHome.h"

int main(int argc, char** argv) {
  const vorelantest::PrivateHome home;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
