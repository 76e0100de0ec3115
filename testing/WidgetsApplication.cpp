// The application object of widget test programs: a QApplication.
#include <QApplication>

#include "QtTestApplication.h"

namespace vorelantest {

std::unique_ptr<QCoreApplication> CreateTestApplication(int& argc, char** argv) {
  return std::make_unique<QApplication>(argc, argv);
}

}  // namespace vorelantest
