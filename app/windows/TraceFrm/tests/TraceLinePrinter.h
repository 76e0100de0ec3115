// Shows a trace line in test failures as its five cells.
#pragma once

#include <ostream>

#include "TraceLine.h"

inline void PrintTo(const TTraceLine& line, std::ostream* os) {
  *os << "{" << line.id.toStdString() << " | " << line.dlc.toStdString() << " | \"" << line.data.toStdString()
      << "\" | " << line.filter.toStdString() << " | " << line.buffer.toStdString() << "}";
}
