// What the trace keeps of a line besides its five cells: when the line was
// listed, and whether its frame was a remote frame. Neither is part of the
// trace file; lines loaded from one are listed when they are loaded and
// count as data frames, since the file does not say.
#pragma once

#include <chrono>

struct TTraceListing {
  std::chrono::system_clock::time_point listed{};
  bool remote = false;

  friend bool operator==(const TTraceListing&, const TTraceListing&) = default;
};
