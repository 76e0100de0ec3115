// The tests run with a QCoreApplication, as the program's main thread has one:
// the register access thread's status reports are delivered to it.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
