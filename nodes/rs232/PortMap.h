// Port number to device: the environment variable VORELAN_COM<n>, else the
// per-user port map (PortMapFile.h), else /dev/ttyS<n-1>.
#pragma once

#include <string>

struct PortDevice {
  std::string path;
  // Where the path came from, for messages: "set by VORELAN_COM5",
  // "from the port map /home/me/.config/vorelan/ports.conf", "the default device of COM1".
  std::string origin;
};

// Reads the environment and the port map file on every call, so that a
// changed mapping takes effect at the next open.
PortDevice ResolvePortDevice(int portNumber);
