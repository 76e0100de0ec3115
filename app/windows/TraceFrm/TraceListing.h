// What the trace keeps of a line besides its five cells: when its frame was
// read off the cell, and whether it was a remote frame. A trace file written
// by the program holds the time (its "Time" key); lines of older files have
// none (`timed` false) and count as listed when they were loaded.
#pragma once

#include <chrono>

struct TTraceListing {
  std::chrono::system_clock::time_point listed{};
  bool remote = false;
  bool timed = false;

  friend bool operator==(const TTraceListing&, const TTraceListing&) = default;
};
