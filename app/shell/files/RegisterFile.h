// Register files (.rgr): a snapshot of every CAN register the program keeps
// an image of, and the writes that put such a snapshot back into the cell.
//
//   [Main]      HighByte=5,  Byte0..Byte5:  ISR, ICR, CSR, BRPR, BTR, PSR
//   [Diag]      HighByte=15, Byte0..Byte15: page 0 (0x60 + i)
//   [Buffer1]   ...          page 1
//   [Buffer2]   ...          page 2
//   [Buffer3]   ...          page 3
//   [Filters]   ...          page 4
//
// In each section "HighByte" is the index of its last "Byte" key. Values are
// decimal integers; a reader also takes "0x"/"0X" hexadecimal, and a missing
// or unreadable value reads as 0.
//
// Threads: GUI thread only (Load and Save run from the main window's File
// menu and hand their job to the register access thread; its outcome comes
// back to the GUI thread).
#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "CanRegisterMap.h"
#include "RegisterJob.h"

class IToolWindowHost;
class TProfileFile;

// The register images a register file holds.
using RegisterSnapshot = TRegisterImages;

namespace RegisterFile {

// The text status panel 1 shows while a load holds the registers.
inline constexpr char kLoadingText[] = "Loading... Please Wait";

// ---- the main window's File menu entries

// "Load Register values" on the chosen file: reads the file whole, then
// shows kLoadingText and hands loadPlan(file) to the register access thread
// as one job, so that no polling pass comes between the writes. When the job
// ends the text is cleared, a failed write's error (the registers written so
// far keep their values) goes to the error display, and `ended` runs.
// Nothing is written when the file is missing or cannot be read, nor while
// the program has no register access thread: that throws EAppError, and
// `ended` does not run.
void Load(IToolWindowHost& host, const QString& path, std::function<void()> ended);

// "Save Register values" into the chosen file: a full read of every page by
// the register access thread, then the snapshot written into the file in
// place (writeSnapshot) and saved atomically, so that a failed save ("Unable
// to write to <file>") leaves the earlier file whole; then `ended` runs.
// While not connected the file receives the last images the program read at
// once; while connected, a full read that fails writes nothing. Errors that
// come before the read is handed in are thrown (EAppError, EProfileFile),
// later ones go to the error display.
void Save(IToolWindowHost& host, const QString& path, std::function<void()> ended);

// ---- the file's content

// Writes the snapshot's six sections into the file (in memory; the caller
// saves it): "HighByte" first, then "Byte0" onwards, each section in the
// order above. A new file gets them in that order; an existing one has these
// keys rewritten in place and keeps every other line.
void writeSnapshot(TProfileFile& file, const RegisterSnapshot& snapshot);

// The register writes that load the file, in order:
//  1. stop and reset the cell: CSR 0, ISR 0, ICR 0, CSR 1, CSR 0;
//  2. "Main": for i from 0 to the low 8 bits of its "HighByte", register
//     0x5A + i from "Byte" i, except i = 2 (CSR, written last);
//  3. "Diag", "Buffer1", "Buffer2", "Buffer3", "Filters" (pages 0 to 4): for
//     i from 0 to the low 8 bits of the section's "HighByte", register 0x60 + i
//     of that page from "Byte" i;
//  4. CSR from "Byte2" of "Main", so that the cell starts again only when
//     everything else is in place.
// Values are the low 8 bits of what the file holds. A missing section or key
// reads as 0, so any file, even one that is not a register file, gives a plan.
// An index whose address would pass 0x6F writes nothing: a "HighByte" of 255
// never wraps round to the main registers.
std::vector<TRegisterWrite> loadPlan(const TProfileFile& file);

// One-byte writes the plan puts on the line: two for a paged register (PSR,
// then the register), one for a main register. A complete load costs 171.
int lineWrites(const std::vector<TRegisterWrite>& plan);

}  // namespace RegisterFile
