#include "PortMap.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "PortMapFile.h"

PortDevice ResolvePortDevice(int portNumber) {
  const std::string variable = portmap::kEnvironmentPrefix + std::to_string(portNumber);
  if (const char* path = std::getenv(variable.c_str()); path && *path) return {path, "set by " + variable};

  if (const std::string file = portmap::FilePath(); !file.empty()) {
    std::ifstream in(file, std::ios::binary);
    if (in) {
      std::ostringstream text;
      text << in.rdbuf();
      if (std::string path = portmap::FindEntry(text.str(), portNumber); !path.empty())
        return {path, "from the port map " + file};
    }
  }
  return {portmap::DefaultDevice(portNumber), "the default device of COM" + std::to_string(portNumber)};
}
