// Port number to device: the environment variable VORELAN_COM<n>, else the
// per-user port map (PortMapFile.h), else /dev/ttyS<n-1>.
#pragma once

#include <string>

struct PortDevice {
  std::string path;
  // Where the path came from, for messages: "set by VORELAN_COM5",
  // "from the port map /home/me/.config/vorelan/ports.conf", "the default device of COM1".
  std::string origin;
  // Set instead of a path when the port map cannot be used (no regular file,
  // too large, unreadable): why.
  std::string error;
};

// Reads the environment and the port map file on every call, so that a
// changed mapping takes effect at the next open. The map is read only as a
// regular file of at most portmap::kMaxFileSize bytes (RegularFile.h): a FIFO
// or a device in its place cannot block or flood the opening.
PortDevice ResolvePortDevice(int portNumber);
