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
//
// Every value is text. (The profile file quotes a value with blanks at its
// ends so that it reads back as written.)
#pragma once

#include <QString>

#include <vector>

#include "TraceLine.h"

class ProfileFile;

namespace TraceFile {

// Writes NbLines and then, line by line, ID, DLC, Data, Filter and Buffer into
// the file's memory; the caller saves the file. Sections and keys that are not
// written (lines beyond the count from an earlier, longer trace) stay as they
// were. Throws ProfileFileError for a cell the file cannot hold (a line break).
void Write(const std::vector<TTraceLine>& lines, ProfileFile& file);

// The lines of a trace file. "NbLines" missing, unreadable or not positive
// gives no line; a missing key of a line gives "?" (ID, Filter, Buffer), "0"
// (DLC) or an empty Data. Texts are taken as they are, unchecked.
// A damaged count cannot exhaust memory: a count up to kAlwaysHonoured is
// taken as it stands, a larger one only up to the number of text lines the
// file has (a line written by Write takes six).
std::vector<TTraceLine> Read(const ProfileFile& file);

constexpr int kAlwaysHonoured = 65536;

// The filter of the trace file dialogs: "Trace File (*.trc)|*.trc|All (*.*)|*.*".
QString DialogFilter();

QString LineSection(int k);  // "Line" + k

}  // namespace TraceFile
