#include "PortMap.h"

#include <cstdlib>

#include "PortMapFile.h"
#include "RegularFile.h"

PortDevice ResolvePortDevice(int portNumber) {
  const std::string variable = portmap::kEnvironmentPrefix + std::to_string(portNumber);
  if (const char* path = std::getenv(variable.c_str()); path && *path) return {path, "set by " + variable, {}};

  if (const std::string file = portmap::FilePath(); !file.empty()) {
    std::string error;
    const std::optional<std::string> text = ReadRegularFile(file, portmap::kMaxFileSize, &error);
    if (!error.empty()) return {{}, {}, error};
    if (text)
      if (std::string path = portmap::FindEntry(*text, portNumber); !path.empty())
        return {path, "from the port map " + file, {}};
  }
  return {portmap::DefaultDevice(portNumber), "the default device of COM" + std::to_string(portNumber), {}};
}
