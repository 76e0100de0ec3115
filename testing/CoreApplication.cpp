// The application object of test programs without widgets: a QCoreApplication,
// as the program's main thread has one (status reports are delivered to it).
#include "QtTestApplication.h"

namespace vorelantest {

std::unique_ptr<QCoreApplication> CreateTestApplication(int& argc, char** argv) {
  return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace vorelantest
