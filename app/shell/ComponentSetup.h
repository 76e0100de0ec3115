#pragma once

#include <string>
#include <vector>

// Makes the node libraries creatable on a first run. When the environment does
// not name a component registry (VORELAN_COMPONENT_REGISTRY), the program uses
// the per-user one; a node class that is not registered there, or whose
// library file is gone, is registered from the library found beside the
// program (<program folder>/../lib/librs232.so, libtavarnel.so). So an
// uninstalled build tree and an installed program both work the first time.
//
// Threads: main thread, before the nodes are created.
namespace ComponentSetup {

struct NodeLibrary {
  std::string name;      // "librs232.so"
  std::string classKey;  // "CLSID\{...}\InprocServer32"
};

const std::vector<NodeLibrary>& nodeLibraries();

// The library a class is registered with in the registry now in use, or empty.
std::string registeredLibrary(const std::string& classKey);

// Registers each node library that needs it from libraryFolder. Returns the
// messages of the registrations that failed (empty when all is well).
std::vector<std::string> registerMissing(const std::string& libraryFolder);

// Only when VORELAN_COMPONENT_REGISTRY is unset: registerMissing() for the
// folder <program folder>/../lib.
std::vector<std::string> ensureRegistered(const std::string& programFolder);

}  // namespace ComponentSetup
