#pragma once

#include <QObject>

#include <memory>
#include <string>

// The end-to-end tests' driver is a plugin, app/testdriver, built beside the
// program for the tests and never installed: the program a user runs carries
// no remote control and links neither Qt Test nor Qt Network. The program
// loads it only when the environment variable names the driver's socket.
//
// The plugin is libvorelan-testdriver.so in the node libraries' folder
// (<program folder>/../lib), loaded only when LibraryTrust.h trusts it, as a
// node library is. It exports kEntryPoint, a StartDriver with C linkage.
//
// Threads: main thread, once the application object exists.
namespace TestDriverPlugin {

inline constexpr char kEnvironmentVariable[] = "VORELAN_TEST_DRIVER";
inline constexpr char kLibraryName[] = "libvorelan-testdriver.so";
inline constexpr char kEntryPoint[] = "VorelanStartTestDriver";

// Starts the driver on the socket the environment variable names: a driver
// listening there, owned by the caller; or null when it may not listen, the
// reason written to the standard error output.
using StartDriver = QObject* (*)();

// Null unless the variable is set. When it is: the driver started from the
// plugin beside the program in `programFolder`, or null with the reason on the
// standard error output (the plugin missing or refused, or the driver
// refusing the socket); the program then runs without it. The plugin stays
// loaded for the rest of the process.
std::unique_ptr<QObject> startFromEnvironment(const std::string& programFolder);

}  // namespace TestDriverPlugin
