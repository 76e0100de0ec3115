// vorelan-regsvr: registers a node library in the component registry through
// its own entry points, or removes it with -u.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "ComRuntime.h"
#include "Registry.h"

int main(int argc, char** argv) {
  bool unregister = false;
  bool quiet = false;
  int first = 1;
  for (; first < argc && argv[first][0] == '-'; ++first) {
    if (std::strcmp(argv[first], "-u") == 0)
      unregister = true;
    else if (std::strcmp(argv[first], "-q") == 0)
      quiet = true;
    else {
      std::fprintf(stderr,
                   "usage: vorelan-regsvr [-u] [-q] LIBRARY...\n"
                   "  Registers each node library in the component registry (%s),\n"
                   "  or removes it with -u. VORELAN_COMPONENT_REGISTRY names another registry file.\n",
                   ComponentRegistry::Path().c_str());
      return 2;
    }
  }
  if (first == argc) {
    std::fprintf(stderr, "vorelan-regsvr: no library named (try --help)\n");
    return 2;
  }
  int failures = 0;
  for (int i = first; i < argc; ++i) {
    // A library named from the current folder is registered by its full path.
    std::error_code ignored;
    const std::string library = std::filesystem::absolute(argv[i], ignored).lexically_normal().string();
    std::string message;
    const HRESULT hr = RegisterServerLibrary(library, unregister, &message);
    if (FAILED(hr)) {
      std::fprintf(stderr, "vorelan-regsvr: %s %s failed (0x%08X): %s\n", unregister ? "unregistering" : "registering",
                   argv[i], static_cast<unsigned>(hr), message.c_str());
      ++failures;
    } else if (!quiet) {
      std::printf("%s %s in %s\n", unregister ? "Unregistered" : "Registered", argv[i],
                  ComponentRegistry::Path().c_str());
    }
  }
  return failures ? 1 : 0;
}
