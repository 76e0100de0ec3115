// Whether a component library may be loaded into the process: whoever could
// replace the file would run code as the user. A library is loaded only from
// an absolute path whose file and folder belong to the user or to root and
// may be written by nobody else; each folder above them belongs to the user
// or root and is closed to writing by others, or has the sticky bit (as /tmp,
// where nobody may replace what another owns).
#pragma once

#include <string>

#include "ComTypes.h"

struct LibraryCheck {
  enum Verdict { Trusted, Missing, Refused } verdict;
  std::string message;   // why it is missing or refused
  std::string resolved;  // Trusted: the path with every link resolved, the one to load
};

COMRT_API LibraryCheck CheckLibrary(const std::string& path);
