// The application object of the main window's tests: the program's own
// TApplication, which the main window installs its error handler into.
#include "QtTestApplication.h"
#include "VorelanApp.h"

namespace vorelantest {

std::unique_ptr<QCoreApplication> CreateTestApplication(int& argc, char** argv) {
  return std::make_unique<TApplication>(argc, argv);
}

}  // namespace vorelantest
