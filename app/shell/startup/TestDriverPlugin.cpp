#include "TestDriverPlugin.h"

#include "LibraryTrust.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

std::unique_ptr<QObject> TestDriverPlugin::startFromEnvironment(const std::string& programFolder) {
  const char* socketPath = std::getenv(kEnvironmentVariable);
  if (!socketPath || !*socketPath) return nullptr;
  const auto refuse = [socketPath](const std::string& reason) {
    std::fprintf(stderr, "vorelan: the test driver does not listen on %s: %s\n", socketPath, reason.c_str());
    return nullptr;
  };
  const std::string path =
      (std::filesystem::path(programFolder) / ".." / "lib" / kLibraryName).lexically_normal().string();
  const LibraryCheck check = CheckLibrary(path);
  if (check.verdict != LibraryCheck::Trusted)
    return refuse(check.message + " (the test driver is built for the tests, never installed)");
  // Never closed: the driver's code must stay while the driver and what it
  // made live, up to the process's end.
  void* library = ::dlopen(check.resolved.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) return refuse(::dlerror());
  const auto start = reinterpret_cast<StartDriver>(::dlsym(library, kEntryPoint));
  if (!start) return refuse(path + " has no " + kEntryPoint);
  return std::unique_ptr<QObject>(start());
}
