#pragma once

#include <QString>

#include "ToolWindows.h"

class QWidget;

// The main window's file dialogs: the register file's two, and those the
// File menu entries of the tool windows ask for (TFileDialogSpec). Filters are
// written as pairs of description and pattern separated by bars, and
// converted to Qt's form. The open dialogs accept only an existing file; the
// save dialogs add the default extension to a name without one and overwrite
// without asking.
//
// Threads: GUI thread only.
namespace FileDialogs {

QString registerFilter();  // "Register File (*.rgr)|*.rgr|All (*.*)|*.*"
TFileDialogSpec openRegisters();
TFileDialogSpec saveRegisters();  // default extension "rgr"

// "Register File (*.rgr)|*.rgr|All (*.*)|*.*" -> "Register File (*.rgr);;All files (*)".
// Qt takes each pattern from the parentheses of the description; "*.*" is
// every file, which on Linux is "*" (many files have no extension).
QString toQtFilter(const QString& barFilter);

// The pattern of a filter's first pair: "*.rgr" for the register filter. The
// files named on the command line go to the entry whose open dialog's first
// pattern they match.
QString firstPattern(const QString& barFilter);

// Runs the dialog modally; the chosen path, or empty when cancelled.
QString run(const TFileDialogSpec& dialog, QWidget* parent);

}  // namespace FileDialogs
