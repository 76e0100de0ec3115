// "Export Trace as candump log...": the trace written as a candump log file
// (CandumpLine.h), one line per frame in the order of the list.
#pragma once

#include <QString>

#include <cstddef>
#include <vector>

#include "TraceLine.h"
#include "TraceListing.h"

namespace CandumpExport {

struct Result {
  std::size_t written = 0;       // frames written
  std::size_t leftOut = 0;       // trace lines that are not frames (CandumpLine.h)
  std::size_t firstLeftOut = 0;  // number of the first of them, from 1; 0 when none
};

// Writes the lines (listings[k] belongs to lines[k]) into the file at `path`,
// replacing it, whole or not at all (WholeFileWriter.h): a failure, a full
// disk included, leaves the previous file (or none) and no partial one. Lines that
// are not frames are left out and counted. Throws EAppError("Unable to write
// to " + path) when the file cannot be written.
Result Write(const QString& path, const std::vector<TTraceLine>& lines, const std::vector<TTraceListing>& listings);

// The export's file dialog: candump logs (*.log), or any file.
QString DialogFilter();

// What the error display says about lines left out of the file; empty when
// every line was written.
QString LeftOutMessage(const Result& result, const QString& path);

}  // namespace CandumpExport
