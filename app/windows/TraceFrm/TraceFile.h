// The trace file (".trc"): a profile file with the number of lines under
// "General" and one section per line:
//
//   [General]
//   NbLines=1
//   [Line1]
//   ID=123
//   DLC=2
//   Data="12 AB "
//   Filter=0
//   Buffer=1
//   Time=1765270801.123456
//
// Every value is text. (The profile file quotes a value with blanks at its
// ends so that it reads back as written.) "Time", when the frame was read off
// the cell in seconds and microseconds since 1970, is written by the program
// for each line that has one; files without it load all the same. A remote
// frame's Data is "R".
#pragma once

#include <QString>

#include <chrono>
#include <optional>
#include <vector>

#include "TraceLine.h"
#include "TraceListing.h"

class TProfileFile;

namespace TraceFile {

// Writes NbLines and then, line by line, ID, DLC, Data, Filter, Buffer and
// (for a line with a time, listings[k] belonging to lines[k]) Time into the
// file's memory; the caller saves the file. Sections and keys that are not
// written (lines beyond the count from an earlier, longer trace) stay as they
// were. Throws EProfileFile for a cell the file cannot hold (a line break).
void Write(const std::vector<TTraceLine>& lines, const std::vector<TTraceListing>& listings, TProfileFile& file);

struct Contents {
  std::vector<TTraceLine> lines;
  std::vector<TTraceListing> listings;  // one per line: its time, if the file has one, and its kind
};

// The lines of a trace file. "NbLines" missing, unreadable or not positive
// gives no line; a missing key of a line gives "?" (ID, Filter, Buffer), "0"
// (DLC) or an empty Data. Texts are taken as they are, unchecked. A line
// without a readable Time is listed `loaded`, untimed.
// A damaged count cannot exhaust memory: a count up to kAlwaysHonoured is
// taken as it stands, a larger one only up to the number of text lines the
// file has (a line written by Write takes six).
Contents Read(const TProfileFile& file, std::chrono::system_clock::time_point loaded);

// "Time" as written, and read back; nothing for a text that is no such time.
QString TimeText(std::chrono::system_clock::time_point time);
std::optional<std::chrono::system_clock::time_point> TimeOf(const QString& text);

constexpr int kAlwaysHonoured = 65536;

// The filter of the trace file dialogs: "Trace File (*.trc)|*.trc|All (*.*)|*.*".
QString DialogFilter();

QString LineSection(int k);  // "Line" + k

}  // namespace TraceFile
