#pragma once

#include <string>
#include <vector>

#include "ComTypes.h"

// Makes the node libraries creatable. When the environment does not name a
// component registry on purpose (VORELAN_COMPONENT_REGISTRY: the tests, the
// build tree's tools), the program creates its nodes from the libraries
// installed beside it (<program folder>/../lib/librs232.so, libtavarnel.so),
// whatever a per-user registry says, and writes no registry: an installed
// program never loads a build tree's libraries, nor one that another user put
// where a registry points. The uninstalled build tree has the same layout
// (bin beside lib), so it works the same way.
//
// Threads: main thread, before the nodes are created.
namespace ComponentSetup {

struct NodeLibrary {
  std::string name;  // "librs232.so"
  CLSID clsid;       // the class it serves
};

const std::vector<NodeLibrary>& nodeLibraries();

// Only when VORELAN_COMPONENT_REGISTRY is unset: pins each node class to its
// library in <program folder>/../lib (PinClassLibrary). Returns why a library
// there cannot be used (missing, or refused as LibraryTrust.h says); creating
// its node then fails with the same message.
std::vector<std::string> ensureRegistered(const std::string& programFolder);

// The folder of the running program (/proc/self/exe), else of `argv0`.
std::string programFolder(const char* argv0);

}  // namespace ComponentSetup
