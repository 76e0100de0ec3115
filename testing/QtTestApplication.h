// The application object of a Qt test program. The shared Qt test main
// (QtTestMain.cpp) calls CreateTestApplication once, after the private home
// is set and before the first test; the object lives until after the last
// test. Each Qt test program links exactly one definition: CoreApplication.cpp
// (QCoreApplication), WidgetsApplication.cpp (QApplication), or one of its own
// for a program that needs its own application class.
#pragma once

#include <QCoreApplication>

#include <memory>

namespace vorelantest {

std::unique_ptr<QCoreApplication> CreateTestApplication(int& argc, char** argv);

}  // namespace vorelantest
